// A table's trigger file (.TRG).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tabledef/trigger_definition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)tavrin::triggerScript(text);
  (void)tavrin::storedTriggers(text);
  (void)tavrin::triggerNameOf(text);
  return 0;
}
