// The CREATE TABLE statements of a user's SQL script: the fuzzer's bytes are
// the script. Every table read from it must have a row image its columns
// fit in, and keys that name its own columns.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "tabledef/definitions_script.h"
#include "tabledef/field_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto script = tavrin::readDefinitionsScript(text, tavrin::fuzz::catalogue());
  if (!script) return 0;
  for (const tavrin::ScriptTable& table : script->tables) {
    const tavrin::TableDefinition& def = table.definition;
    for (const tavrin::ColumnDefinition& c : def.columns) {
      if (!c.isVirtual && c.recordOffset() + tavrin::packLength(c) > def.recordLength) __builtin_trap();
    }
    for (const tavrin::KeyDefinition& key : def.keys) {
      for (const tavrin::KeyPartDefinition& part : key.parts) {
        if (part.fieldNumber == 0 || part.fieldNumber > def.columns.size()) __builtin_trap();
      }
    }
  }
  return 0;
}
