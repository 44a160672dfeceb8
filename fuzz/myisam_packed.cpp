// The rows of a compressed (myisampack'ed) MyISAM table, each rendered. The
// input: a byte that picks one of the definitions below, then the data
// file's image (.MYD), read as compressed whatever its first bytes; the
// columns are laid out as the definition says.
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "fuzz_support.h"
#include "myisam/definition_state.h"
#include "myisam/myisam_table.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr const char* kTables[] = {"packed_every_type", "packed_fixed_source", "packed_dynamic_source",
                                            "packed_spaces"};
  static fuzz::MemoryFile dataFile("fuzz.MYD");
  const ByteView in(data, size);
  if (size < 1) return 0;
  const TableDefinition& table = fuzz::definition(kTables[in[0] % std::size(kTables)]);
  auto state = stateFromDefinition(table);
  if (!state) return 0;
  state->recordFormat = MyisamRowFormat::Compressed;
  auto rows = MyisamTable::open(table, std::move(*state), dataFile.hold(in.sub(1)));
  if (!rows) return 0;
  fuzz::renderAllRows(**rows, table, {});
  return 0;
}
