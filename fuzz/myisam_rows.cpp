// The rows of a MyISAM table, fixed-length and dynamic (the block walk), each
// rendered. The input: a byte that picks one of the definitions below, two
// bytes (little-endian) with the length of the index file's image, that
// image (.MYI), then the data file's (.MYD).
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "fuzz_support.h"
#include "myisam/myisam_table.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr const char* kTables[] = {"every_type", "every_type_fixed", "reuse"};
  static fuzz::MemoryFile dataFile("fuzz.MYD");
  const ByteView in(data, size);
  if (size < 3) return 0;
  const TableDefinition& table = fuzz::definition(kTables[in[0] % std::size(kTables)]);
  const size_t indexLength = le16(in, 1);
  auto state = parseMyiState(in.sub(3, indexLength));
  if (!state) return 0;
  auto rows = MyisamTable::open(table, std::move(*state), dataFile.hold(in.sub(3 + indexLength)));
  if (!rows) return 0;
  fuzz::renderAllRows(**rows, table, {});
  return 0;
}
