#include "render/value_renderer.h"

#include <cstring>

#include <arpa/inet.h>

#include "render/mysql_json.h"
#include "render/number_text.h"
#include "render/temporal_text.h"
#include "tabledef/charset.h"
#include "tabledef/field_layout.h"

namespace tavrin {

namespace {

enum class Kind {
  Unknown, SignedInteger, UnsignedInteger, Float, Double, Decimal, OldDecimal, Year, Date, OldDate,
  TimeNumber, TimeCount, Time2, DateTimeNumber, DateTimeCount, DateTime2, TimestampSeconds,
  TimestampCount, Timestamp2, Bit, Enum, Set, Char, Varchar, Blob, Geometry, Json, Inet4, Inet6, Uuid,
};

constexpr size_t kBinaryDisplayLimit = 100;

Kind kindOf(const ColumnDefinition& c) {
  if (c.dataTypeName == "inet4") return Kind::Inet4;
  if (c.dataTypeName == "inet6") return Kind::Inet6;
  if (c.dataTypeName == "uuid") return Kind::Uuid;
  const bool counted = isHighResolutionTemporal(c);
  switch (c.fieldType) {
    case FieldType::Tiny:
    case FieldType::Short:
    case FieldType::Int24:
    case FieldType::Long:
    case FieldType::LongLong: return c.isUnsigned ? Kind::UnsignedInteger : Kind::SignedInteger;
    case FieldType::Float: return Kind::Float;
    case FieldType::Double: return Kind::Double;
    case FieldType::NewDecimal: return Kind::Decimal;
    case FieldType::Decimal: return Kind::OldDecimal;
    case FieldType::Year: return Kind::Year;
    case FieldType::NewDate: return Kind::Date;
    case FieldType::Date: return Kind::OldDate;
    case FieldType::Time: return counted ? Kind::TimeCount : Kind::TimeNumber;
    case FieldType::Time2: return Kind::Time2;
    case FieldType::DateTime: return counted ? Kind::DateTimeCount : Kind::DateTimeNumber;
    case FieldType::DateTime2: return Kind::DateTime2;
    case FieldType::Timestamp: return counted ? Kind::TimestampCount : Kind::TimestampSeconds;
    case FieldType::Timestamp2: return Kind::Timestamp2;
    case FieldType::Bit: return Kind::Bit;
    case FieldType::Enum: return Kind::Enum;
    case FieldType::Set: return Kind::Set;
    case FieldType::String:
    case FieldType::VarString: return Kind::Char;
    case FieldType::Varchar: return Kind::Varchar;
    case FieldType::TinyBlob:
    case FieldType::Blob:
    case FieldType::MediumBlob:
    case FieldType::LongBlob: return Kind::Blob;
    case FieldType::Geometry: return Kind::Geometry;
    case FieldType::Json: return Kind::Json;
    default: return Kind::Unknown;
  }
}

uint64_t littleEndian(ByteView b, size_t width) {
  uint64_t v = 0;
  for (size_t i = std::min(width, b.size()); i > 0; --i) v = v << 8 | b[i - 1];
  return v;
}

uint64_t bigEndian(ByteView b, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width && i < b.size(); ++i) v = v << 8 | b[i];
  return v;
}

void appendHex(std::string& out, ByteView bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (bytes.empty()) return;
  out += "0x";
  for (size_t i = 0; i < bytes.size(); ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
  }
}

}  // namespace

struct ValueRenderer::Column {
  const ColumnDefinition* definition = nullptr;
  Kind kind = Kind::Unknown;
  uint32_t width = 0;   // bytes of fixed-size values
  uint32_t digits = 0;  // fractional seconds
  int32_t scale = 0;    // FLOAT and DOUBLE
  bool zerofill = false;
  bool binary = false;
  bool uuidAlwaysReversed = false;
  TextDecoder decoder{""};
};

std::vector<size_t> shownColumns(const TableDefinition& table) {
  std::vector<size_t> shown;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (!table.columns[i].isVirtual && !table.columns[i].isSystemHidden()) shown.push_back(i);
  }
  return shown;
}

ValueRenderer::ValueRenderer(const TableDefinition& table, const CollationCatalogue& catalogue,
                             RenderOptions options)
    : shown_(shownColumns(table)), options_(options) {
  for (const ColumnDefinition& c : table.columns) {
    Column column;
    column.definition = &c;
    column.kind = kindOf(c);
    column.width = packLength(c);
    column.digits = fractionalDigits(c);
    column.scale = declaredScale(c);
    column.zerofill = c.packFlags & PackFlag::Zerofill;
    column.binary = c.charsetId == kBinaryCollation;
    column.uuidAlwaysReversed = uuidAlwaysReversed(table.serverVersion);
    column.decoder = TextDecoder(catalogue.charsetName(c.charsetId));
    columns_.push_back(std::move(column));
  }
}

ValueRenderer::~ValueRenderer() = default;
ValueRenderer::ValueRenderer(ValueRenderer&&) noexcept = default;

void ValueRenderer::render(const RowValues& row, std::vector<std::string>& cells) const {
  cells.resize(shown_.size());
  for (size_t i = 0; i < shown_.size(); ++i) {
    cells[i].clear();
    const size_t column = shown_[i];
    appendText(column, column < row.size() ? row[column] : FieldValue{}, cells[i]);
  }
}

void ValueRenderer::appendText(size_t index, const FieldValue& value, std::string& out) const {
  if (value.isNull) {
    out += kNullText;
    return;
  }
  const Column& c = columns_[index];
  const ColumnDefinition& d = *c.definition;
  const ByteView b = value.bytes;
  const size_t start = out.size();
  const bool display = !options_.exportForm;
  if (value.external) {
    // Kept apart from its row and not read: only its marker can be shown.
    out += kExternalBlobMarker;
    return;
  }
  switch (c.kind) {
    case Kind::SignedInteger: {
      const uint64_t raw = littleEndian(b, c.width);
      const unsigned shift = 64 - 8 * c.width;
      appendInteger(out, int64_t(raw << shift) >> shift);
      break;
    }
    case Kind::UnsignedInteger: appendUnsigned(out, littleEndian(b, c.width)); break;
    case Kind::Float: {
      float f;
      uint32_t raw = uint32_t(littleEndian(b, 4));
      std::memcpy(&f, &raw, 4);
      appendReal(out, f, true, c.scale);
      break;
    }
    case Kind::Double: {
      double f;
      uint64_t raw = littleEndian(b, 8);
      std::memcpy(&f, &raw, 8);
      appendReal(out, f, false, c.scale);
      break;
    }
    case Kind::Decimal: appendDecimal(out, b, d.precision, d.decimals); break;
    case Kind::OldDecimal: {
      std::string_view text = b.chars();
      size_t first = text.find_first_not_of(' ');
      if (first != std::string_view::npos) out += text.substr(first);
      break;
    }
    case Kind::Year: appendYear(out, b[0], d.fieldLength == 2); break;
    case Kind::Date: appendDate(out, dateFromNewDate(uint32_t(littleEndian(b, 3)))); break;
    case Kind::OldDate: appendDate(out, dateFromNumber(uint32_t(littleEndian(b, 4)))); break;
    case Kind::TimeNumber: {
      const uint32_t raw = uint32_t(littleEndian(b, 3));
      appendTime(out, timeFromNumber(int32_t(raw << 8) >> 8), 0);
      break;
    }
    case Kind::TimeCount: appendTime(out, timeFromCount(b.sub(0, c.width), c.digits), c.digits); break;
    case Kind::Time2: appendTime(out, timeFromBinary(b, c.digits), c.digits); break;
    case Kind::DateTimeNumber: appendDateTime(out, dateTimeFromNumber(littleEndian(b, 8)), 0); break;
    case Kind::DateTimeCount: appendDateTime(out, dateTimeFromCount(b.sub(0, c.width), c.digits), c.digits); break;
    case Kind::DateTime2: appendDateTime(out, dateTimeFromBinary(b, c.digits), c.digits); break;
    case Kind::TimestampSeconds: appendTimestamp(out, int64_t(littleEndian(b, 4)), 0, 0); break;
    case Kind::TimestampCount: {
      static constexpr uint32_t kScale[7] = {1000000, 100000, 10000, 1000, 100, 10, 1};
      const uint64_t fraction = bigEndian(b.sub(4), c.width - 4);
      appendTimestamp(out, int64_t(be32(b, 0)), uint32_t(fraction * kScale[c.digits]), c.digits);
      break;
    }
    case Kind::Timestamp2:
      appendTimestamp(out, int64_t(be32(b, 0)), timestampMicroseconds(b.sub(4), c.digits), c.digits);
      break;
    case Kind::Bit: {
      const uint64_t bits = bigEndian(b, (d.fieldLength + 7) / 8);
      for (uint32_t i = d.fieldLength; i > 0; --i) out.push_back((bits >> (i - 1)) & 1 ? '1' : '0');
      break;
    }
    case Kind::Enum: {
      const uint64_t number = littleEndian(b, c.width);
      if (number >= 1 && number <= d.intervalValues.size()) out += d.intervalValues[number - 1];
      break;
    }
    case Kind::Set: {
      const uint64_t bits = littleEndian(b, c.width);
      for (size_t i = 0; i < d.intervalValues.size() && i < 64; ++i) {
        if (!(bits >> i & 1)) continue;
        if (out.size() > start) out.push_back(',');
        out += d.intervalValues[i];
      }
      break;
    }
    case Kind::Char:
    case Kind::Varchar:
      if (c.binary) {
        if (display && b.size() >= kBinaryDisplayLimit) out += kBinaryMarker;
        else appendHex(out, b);
      } else {
        c.decoder.decodeAppend(b, out);
        // CHAR comes back without the spaces that pad it.
        if (c.kind == Kind::Char) {
          while (out.size() > start && out.back() == ' ') out.pop_back();
        }
      }
      break;
    case Kind::Blob:
      if (display && options_.largeValueLimit && b.size() >= options_.largeValueLimit) out += kLargeBlobMarker;
      else if (c.binary) appendHex(out, b);
      else c.decoder.decodeAppend(b, out);
      break;
    case Kind::Geometry:
      if (display) out += kSpatialMarker;
      else appendHex(out, b);
      break;
    case Kind::Json:
      // Damaged JSON is given as its bytes, so that nothing is lost.
      if (!appendMysqlJson(out, b)) appendHex(out, b);
      break;
    case Kind::Inet4: {
      char text[INET_ADDRSTRLEN];
      if (b.size() >= 4 && inet_ntop(AF_INET, b.data(), text, sizeof text)) out += text;
      break;
    }
    case Kind::Inet6: {
      char text[INET6_ADDRSTRLEN];
      if (b.size() >= 16 && inet_ntop(AF_INET6, b.data(), text, sizeof text)) out += text;
      break;
    }
    case Kind::Uuid: {
      // Stored with the five groups in reverse order where the server
      // reverses them, so that time-based values sort by time.
      static constexpr char kDigits[] = "0123456789abcdef";
      static constexpr uint8_t kSwapped[16] = {12, 13, 14, 15, 10, 11, 8, 9, 6, 7, 0, 1, 2, 3, 4, 5};
      if (b.size() < 16) break;
      const bool swapped = uuidGroupsReversed(b, c.uuidAlwaysReversed);
      for (size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        const uint8_t byte = b[swapped ? kSwapped[i] : i];
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 15]);
      }
      break;
    }
    case Kind::Unknown: break;
  }
  if (c.zerofill && (c.kind == Kind::UnsignedInteger || c.kind == Kind::SignedInteger || c.kind == Kind::Float ||
                     c.kind == Kind::Double || c.kind == Kind::Decimal)) {
    zeroFill(out, start, d.fieldLength);
  }
}

}  // namespace tavrin
