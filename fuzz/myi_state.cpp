// The header and state of a MyISAM index file (.MYI).
#include <cstddef>
#include <cstdint>

#include "myisam/myi_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)tavrin::parseMyiState(tavrin::ByteView(data, size));
  return 0;
}
