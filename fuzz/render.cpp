// Values decoded and rendered through a damaged definition: the columns of a
// real definition with every type, their types, lengths, scales, character
// sets and flags changed by the input, then rows of the input's bytes in
// the display form, the export form and as SQL literals.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"

using namespace tavrin;

namespace {

void damageColumn(FuzzedDataProvider& in, ColumnDefinition& c) {
  static constexpr const char* kPluginTypes[] = {"", "inet4", "inet6", "uuid"};
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0: c.fieldType = FieldType(in.ConsumeIntegral<uint8_t>()); break;
    case 1: c.fieldLength = in.ConsumeIntegral<uint32_t>(); break;
    case 2: c.decimals = in.ConsumeIntegral<int32_t>(); break;
    case 3: c.precision = in.ConsumeIntegral<int32_t>(); break;
    case 4: c.charsetId = in.ConsumeIntegral<uint16_t>(); break;
    case 5: c.packFlags = in.ConsumeIntegral<uint16_t>(); break;
    case 6: c.isUnsigned = !c.isUnsigned; break;
    default: c.dataTypeName = kPluginTypes[in.ConsumeIntegralInRange(0, 3)]; break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  TableDefinition table = fuzz::definition("every_type");
  for (int n = in.ConsumeIntegralInRange(0, 8); n > 0; --n) {
    damageColumn(in, table.columns[in.ConsumeIntegralInRange<size_t>(0, table.columns.size() - 1)]);
  }
  ValueRenderer display(table, fuzz::catalogue(), TextForm{false, 1000, TimeZone::utc()});
  ValueRenderer exported(table, fuzz::catalogue(), TextForm{true, 0, TimeZone::utc()});
  std::vector<std::vector<uint8_t>> bytes(table.columns.size());
  RowValues row(table.columns.size());
  while (in.remaining_bytes() > 0) {
    for (size_t i = 0; i < row.size(); ++i) {
      row[i] = FieldValue{};
      row[i].isNull = in.ConsumeBool();
      bytes[i] = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 64));
      row[i].bytes = ByteView(bytes[i]);
    }
    fuzz::renderRow(display, exported, row);
  }
  return 0;
}
