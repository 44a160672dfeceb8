// A table definition file (.frm).
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "tabledef/frm_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)tavrin::parseFrm(tavrin::ByteView(data, size), tavrin::fuzz::catalogue());
  return 0;
}
