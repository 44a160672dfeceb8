// The header and state of a MyISAM index file (.MYI), from its bytes and
// from a file (which reads more when the header runs past its first read).
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "myisam/myi_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tavrin::fuzz::MemoryFile file("fuzz.MYI");
  (void)tavrin::parseMyiState(tavrin::ByteView(data, size));
  (void)tavrin::readMyiState(file.hold(tavrin::ByteView(data, size)));
  return 0;
}
