// The JSON of a table's definition as MySQL 8 keeps it in its SDI records:
// the JSON reader, the definition read from the tree and its clustered layout.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "innodb/layout.h"
#include "tabledef/sdi_definition.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto table = definitionFromSdi(ByteView(data, size).chars(), fuzz::catalogue());
  if (table && table->definition.clusteredIndex) {
    (void)layoutFromStoredIndex(table->definition, *table->definition.clusteredIndex, fuzz::catalogue());
  }
  return 0;
}
