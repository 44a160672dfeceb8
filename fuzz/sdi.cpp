// A MySQL 8 tablespace's first pages: the SDI root named by page 0, the walk
// of the SDI index, the records' zlib streams, the JSON in them and the
// table's definition and clustered layout read from it.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "innodb/layout.h"
#include "innodb/sdi.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::MemoryFile file("fuzz.ibd");
  auto table = readTablespaceDefinition(file.hold(ByteView(data, size)), fuzz::catalogue());
  if (table && table->definition.clusteredIndex) {
    (void)layoutFromStoredIndex(table->definition, *table->definition.clusteredIndex, fuzz::catalogue());
  }
  return 0;
}
