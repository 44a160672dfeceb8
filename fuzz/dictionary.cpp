// The InnoDB dictionary in a system tablespace (ibdata1), and the layouts of
// a fixed definition that each of its tables gives.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "innodb/layout.h"
#include "innodb/system_tablespace.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::MemoryFile file("ibdata1");
  auto system = SystemTablespace::open(file.hold(ByteView(data, size)), fuzz::catalogue());
  if (!system) return 0;
  const DictionaryCache& dictionary = (*system)->dictionary();
  const TableDefinition& table = fuzz::definition("in_system");
  for (const SysTablesRecord& t : dictionary.sysTables) {
    (void)layoutFromDictionary(table, dictionary, t.tableId);
    (void)dictionary.clusteredRoot(t.tableId);
  }
  auto rows = InnodbTable::open(table, "sized/in_system", std::nullopt, (*system)->system(), fuzz::catalogue());
  if (rows) fuzz::renderAllRows(**rows, table, ReadOptions{true, false});
  return 0;
}
