// A view's definition file (.frm holding TYPE=VIEW).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tabledef/view_definition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)tavrin::hasViewSignature(text);
  (void)tavrin::storedView(text);
  (void)tavrin::viewStatement("v", text);
  return 0;
}
