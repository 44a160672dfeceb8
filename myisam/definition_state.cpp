#include "myisam/definition_state.h"

#include <algorithm>

#include "tabledef/field_layout.h"

namespace tavrin {

namespace {

// The longest row a table of BLOBs of four length bytes may hold.
constexpr uint64_t kUnboundedRow = 0x7FFFFFFF;

// A stored column and the bytes it takes in the row image.
struct StoredColumn {
  const ColumnDefinition* column;
  uint32_t offset;
  uint32_t length;
};

// The stored columns in row-image order; a BIT of fewer than 8 bits keeps
// all of them among the NULL bits and takes no bytes.
std::vector<StoredColumn> storedColumns(const TableDefinition& table) {
  std::vector<StoredColumn> stored;
  for (const ColumnDefinition& c : table.columns) {
    const uint32_t length = packLength(c);
    if (!c.isVirtual && length > 0) stored.push_back({&c, c.recordOffset(), length});
  }
  std::stable_sort(stored.begin(), stored.end(), [](const StoredColumn& a, const StoredColumn& b) {
    return a.offset < b.offset || (a.offset == b.offset && a.length < b.length);
  });
  return stored;
}

// Values the server packs by leaving out their zero bytes: all but text,
// VARCHAR, ENUM, DECIMAL and TIMESTAMP (a SET is packed).
bool zeroPacked(const ColumnDefinition& c) {
  if (c.pluginType() != PluginType::None) return false;
  switch (c.fieldType) {
    case FieldType::String:
    case FieldType::VarString:
    case FieldType::Varchar:
    case FieldType::Enum:
    case FieldType::Decimal:
    case FieldType::NewDecimal:
    case FieldType::Timestamp2: return false;
    default: return !keptLikeBlob(c.fieldType);
  }
}

int16_t columnType(const ColumnDefinition& c, uint32_t length, bool packed) {
  using namespace MyisamColumnType;
  if (keptLikeBlob(c.fieldType)) return Blob;
  if (c.fieldType == FieldType::Timestamp) return Normal;
  if (c.fieldType == FieldType::Varchar) return Varchar;
  if (!packed) return Normal;
  if (zeroPacked(c)) return SkipZero;
  if (length <= 3 || (c.packFlags & PackFlag::Zerofill)) return Normal;
  const bool text = c.fieldType == FieldType::String || c.fieldType == FieldType::VarString ||
                    c.fieldType == FieldType::Enum || c.fieldType == FieldType::Set;
  return text ? SkipEndSpace : SkipPreSpace;
}

std::vector<MyisamColumnDef> columnDefs(const TableDefinition& table, bool packed) {
  std::vector<MyisamColumnDef> defs;
  uint32_t at = 0;
  for (const StoredColumn& s : storedColumns(table)) {
    if (s.offset < at) continue;  // shares its bytes with a column before it
    // The bytes before the first column (the NULL bits) are one column.
    if (s.offset > at) defs.push_back({MyisamColumnType::Normal, uint16_t(s.offset - at), 0, 0});
    const ColumnDefinition& c = *s.column;
    MyisamColumnDef def{columnType(c, s.length, packed), uint16_t(s.length), 0, 0};
    if (c.nullable) {
      def.nullBit = c.nullMask;
      def.nullPos = uint16_t(c.nullByte);
    }
    defs.push_back(def);
    at = s.offset + s.length;
  }
  return defs;
}

// The lengths the server works out from the column descriptions: the row
// image, the shortest and longest packed rows and the flag bytes.
void addLengths(MyisamState& state) {
  using namespace MyisamColumnType;
  uint32_t flagged = 0, varcharBytes = 0;
  uint64_t longest = 0;
  state.recordLength = state.minPackLength = 0;
  for (const MyisamColumnDef& c : state.columnDefs) {
    state.recordLength += c.length;
    if (c.type == Normal || c.type == Check) {
      state.minPackLength += c.length;
    } else if (c.type == Blob) {
      ++flagged;
      longest = c.length == 4 + kBlobPointerBytes ? kUnboundedRow : longest + (1ull << ((c.length - kBlobPointerBytes) * 8));
    } else if (c.type == SkipEndSpace || c.type == SkipPreSpace) {
      ++flagged;
      if (longest != kUnboundedRow) longest += c.length > 255 ? 2 : 1;
      ++state.minPackLength;
    } else if (c.type == Varchar) {
      varcharBytes += c.length - 1;
      if (longest != kUnboundedRow) longest += c.length >= 257 ? 2 : 1;
      ++state.minPackLength;
    } else {
      ++flagged;  // zeroes left out
    }
  }
  const bool dynamic = state.recordFormat == MyisamRowFormat::Dynamic;
  // A VARCHAR of two length bytes adds one to the packed lengths, as the
  // server counts them.
  const uint32_t longVarchar = std::any_of(state.columnDefs.begin(), state.columnDefs.end(),
                                           [](const MyisamColumnDef& c) { return c.type == Varchar && c.length >= 257; });
  if (!dynamic) state.minPackLength += varcharBytes;
  state.packBits = uint16_t((flagged + 7) / 8);
  const bool checksum = dynamic && (state.options & MyisamOption::Checksum);
  // The server counts a byte for each flagged column here, not for each 8.
  if (longest != kUnboundedRow) longest += state.recordLength + flagged + longVarchar + (checksum ? 1 : 0);
  state.maxPackLength = uint32_t(std::min<uint64_t>(longest, kUnboundedRow));
  state.minPackLength += state.packBits;
  state.packedRecordLength = state.recordLength + (checksum ? 1 : 0) + (dynamic ? longVarchar : 0);
}

// Bytes of the pointer to a row (fixed-length rows: its number), by the most
// there may be; the server's default where the table sets no MAX_ROWS.
uint32_t rowPointerBytes(uint64_t maxRows) {
  constexpr uint32_t kDefaultPointerBytes = 6;
  if (maxRows == 0) return kDefaultPointerBytes;
  uint32_t bytes = 2;
  while (bytes < 8 && (maxRows >> (8 * bytes)) != 0) ++bytes;
  return bytes;
}

// A single zero-packed byte among the flagged columns would take a flag
// byte of its own; the server stores it whole instead.
void avoidLoneFlag(std::vector<MyisamColumnDef>& defs) {
  using namespace MyisamColumnType;
  size_t flagged = 0;
  for (const MyisamColumnDef& c : defs) flagged += c.type != Normal && c.type != Check && c.type != Varchar;
  if (flagged % 8 != 1) return;
  for (auto c = defs.rbegin(); c != defs.rend(); ++c) {
    if (c->type == SkipZero && c->length == 1) {
      c->type = Normal;
      return;
    }
  }
}

}  // namespace

Result<MyisamState> stateFromDefinition(const TableDefinition& table) {
  MyisamState state;
  const bool packed = table.createOptions & MyisamOption::PackRecord;
  state.options = table.createOptions & (MyisamOption::PackRecord | MyisamOption::Checksum);
  state.columnDefs = columnDefs(table, packed);
  avoidLoneFlag(state.columnDefs);
  bool anyPacked = false;
  for (const MyisamColumnDef& c : state.columnDefs) {
    anyPacked |= c.type != MyisamColumnType::Normal && c.type != MyisamColumnType::Check &&
                 c.type != MyisamColumnType::Varchar;
  }
  state.recordFormat = packed || anyPacked ? MyisamRowFormat::Dynamic : MyisamRowFormat::Fixed;
  if (state.recordFormat == MyisamRowFormat::Dynamic) state.options |= MyisamOption::PackRecord;
  addLengths(state);
  // A deleted fixed-length row keeps a mark byte and the pointer to the next.
  if (state.recordFormat == MyisamRowFormat::Fixed) {
    state.packedRecordLength = std::max(state.packedRecordLength, 1 + rowPointerBytes(table.options.maxRows));
  }
  if (state.recordLength == 0 || state.recordLength > table.recordLength) {
    return damaged("the definition's columns do not fit its rows of " + std::to_string(table.recordLength) + " bytes");
  }
  return state;
}

}  // namespace tavrin
