// An InnoDB table's own tablespace (.ibd) read through a fixed definition:
// the walk down the index tree, the leaf pages and their records, the values
// kept apart on BLOB pages, each row rendered; then the deleted rows.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "innodb/innodb_table.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::MemoryFile file("fuzz.ibd");
  const TableDefinition& table = fuzz::definition("own");
  auto rows = InnodbTable::open(table, "sized/own", file.hold(ByteView(data, size)), {}, fuzz::catalogue());
  if (!rows) return 0;
  fuzz::renderAllRows(**rows, table, ReadOptions{true, false});
  fuzz::renderAllRows(**rows, table, ReadOptions{false, true});
  return 0;
}
