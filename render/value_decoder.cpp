#include "render/value_decoder.h"

#include <algorithm>
#include <cstring>

#include <arpa/inet.h>

#include "render/mysql_json.h"
#include "render/number_text.h"
#include "render/temporal_text.h"
#include "tabledef/charset.h"
#include "tabledef/field_layout.h"

namespace tavrin {

namespace {

// How a column's bytes are decoded: the numbers first, then the dates and
// times, then the rest (the decoder goes by these groups).
enum class Layout {
  Unknown, SignedInteger, UnsignedInteger, Float, Double, Decimal, OldDecimal, Year, Date, OldDate,
  TimeNumber, TimeCount, Time2, DateTimeNumber, DateTimeCount, DateTime2, TimestampSeconds,
  TimestampCount, Timestamp2, Bit, Enum, Set, Char, Varchar, Blob, Geometry, Json, Inet4, Inet6, Uuid,
};

Layout layoutOf(const ColumnDefinition& c) {
  switch (c.pluginType()) {
    case PluginType::Inet4: return Layout::Inet4;
    case PluginType::Inet6: return Layout::Inet6;
    case PluginType::Uuid: return Layout::Uuid;
    case PluginType::None: break;
  }
  const bool counted = isHighResolutionTemporal(c);
  switch (c.fieldType) {
    case FieldType::Tiny:
    case FieldType::Short:
    case FieldType::Int24:
    case FieldType::Long:
    case FieldType::LongLong: return c.isUnsigned ? Layout::UnsignedInteger : Layout::SignedInteger;
    case FieldType::Float: return Layout::Float;
    case FieldType::Double: return Layout::Double;
    case FieldType::NewDecimal: return Layout::Decimal;
    case FieldType::Decimal: return Layout::OldDecimal;
    case FieldType::Year: return Layout::Year;
    case FieldType::NewDate: return Layout::Date;
    case FieldType::Date: return Layout::OldDate;
    case FieldType::Time: return counted ? Layout::TimeCount : Layout::TimeNumber;
    case FieldType::Time2: return Layout::Time2;
    case FieldType::DateTime: return counted ? Layout::DateTimeCount : Layout::DateTimeNumber;
    case FieldType::DateTime2: return Layout::DateTime2;
    case FieldType::Timestamp: return counted ? Layout::TimestampCount : Layout::TimestampSeconds;
    case FieldType::Timestamp2: return Layout::Timestamp2;
    case FieldType::Bit: return Layout::Bit;
    case FieldType::Enum: return Layout::Enum;
    case FieldType::Set: return Layout::Set;
    case FieldType::String:
    case FieldType::VarString: return Layout::Char;
    case FieldType::Varchar: return Layout::Varchar;
    case FieldType::TinyBlob:
    case FieldType::Blob:
    case FieldType::MediumBlob:
    case FieldType::LongBlob: return Layout::Blob;
    case FieldType::Geometry: return Layout::Geometry;
    case FieldType::Json: return Layout::Json;
    default: return Layout::Unknown;
  }
}

ColumnShape shapeOf(Layout layout) {
  switch (layout) {
    case Layout::Char:
    case Layout::Varchar: return ColumnShape::String;
    case Layout::Blob:
    case Layout::Json: return ColumnShape::Blob;
    case Layout::Geometry: return ColumnShape::Geometry;
    default: return ColumnShape::Plain;
  }
}

// No number is shown wider than this (the server's widest display width); a
// damaged definition may claim a ZEROFILL width of gigabytes.
constexpr uint32_t kMaxDisplayWidth = 255;

void setTime(Value& v, ValueKind kind, const CalendarTime& t) {
  v.kind = kind;
  v.time = t;
}

}  // namespace

struct ValueDecoder::Column {
  const ColumnDefinition* definition = nullptr;
  Layout layout = Layout::Unknown;
  ColumnFormat format;
  uint32_t width = 0;  // bytes of fixed-size values
  bool binary = false;
  bool uuidAlwaysReversed = false;
  // A space is the byte 0x20, and that byte is never part of another
  // character (all sets but UCS-2, UTF-16 and UTF-32).
  bool spaceIsOneByte = true;
  TextDecoder decoder{""};
};

void ValueDecoder::appendUnpadded(const Column& c, ByteView b, std::string& arena) {
  if (c.spaceIsOneByte) {
    size_t n = b.size();
    while (n > 0 && b[n - 1] == ' ') --n;
    c.decoder.decodeAppend(b.sub(0, n), arena);
    return;
  }
  const size_t start = arena.size();
  c.decoder.decodeAppend(b, arena);
  const size_t last = arena.find_last_not_of(' ');
  arena.resize(last == std::string::npos || last < start ? start : last + 1);
}

ValueDecoder::ValueDecoder(const TableDefinition& table, const CollationCatalogue& catalogue) {
  for (const ColumnDefinition& c : table.columns) {
    Column column;
    column.definition = &c;
    column.layout = layoutOf(c);
    column.width = packLength(c);
    column.binary = c.charsetId == kBinaryCollation;
    column.uuidAlwaysReversed = uuidAlwaysReversed(table.serverVersion);
    const std::string charset = catalogue.charsetName(c.charsetId);
    column.decoder = TextDecoder(charset);
    column.spaceIsOneByte = !isWideCharset(charset);
    ColumnFormat& f = column.format;
    f.shape = shapeOf(column.layout);
    const bool number = column.layout == Layout::SignedInteger || column.layout == Layout::UnsignedInteger ||
                        column.layout == Layout::Float || column.layout == Layout::Double ||
                        column.layout == Layout::Decimal;
    f.zerofillWidth = number && (c.packFlags & PackFlag::Zerofill) ? std::min(c.fieldLength, kMaxDisplayWidth) : 0;
    f.scale = declaredScale(c);
    f.digits = fractionalDigits(c);
    f.bits = c.fieldType == FieldType::Bit ? std::min(c.fieldLength, kMaxBitWidth) : 0;
    f.twoDigitYear = c.fieldType == FieldType::Year && c.fieldLength == 2;
    f.textIsStoredBytes = (f.shape == ColumnShape::String || column.layout == Layout::Blob) && !column.binary;
    f.charset = charset;
    f.encoding = isUtf8Charset(charset)   ? ColumnFormat::Encoding::Utf8
                 : isWideCharset(charset) ? ColumnFormat::Encoding::Wide
                                          : ColumnFormat::Encoding::Other;
    columns_.push_back(std::move(column));
  }
}

ValueDecoder::~ValueDecoder() = default;
ValueDecoder::ValueDecoder(ValueDecoder&&) noexcept = default;

const ColumnFormat& ValueDecoder::format(size_t column) const { return columns_[column].format; }
size_t ValueDecoder::columnCount() const { return columns_.size(); }

// Flattened: the per-value steps are small and run for every value of every row.
[[gnu::flatten]] void ValueDecoder::decodeOne(size_t column, const FieldValue& stored, Value& v, std::string& arena) const {
  arena.clear();
  v.kind = ValueKind::Null;
  v.stored = {};
  if (stored.isNull) return;
  decodeValue(columns_[column], stored, v, arena);
  v.text = arena;
}

void ValueDecoder::decode(const RowValues& stored, DecodedRow& row) const {
  row.values.resize(columns_.size());
  row.arena.clear();
  row.textSpans.clear();
  for (size_t i = 0; i < columns_.size(); ++i) {
    Value& v = row.values[i];
    // Each kind sets the fields it uses; only the kind and bytes are reset.
    v.kind = ValueKind::Null;
    v.stored = {};
    if (i >= stored.size() || stored[i].isNull) continue;
    const size_t start = row.arena.size();
    decodeValue(columns_[i], stored[i], v, row.arena);
    if (v.kind == ValueKind::Text || v.kind == ValueKind::Number) row.textSpans.push_back({i, start});
  }
  // The arena has its final place now: text values point into it, each up
  // to where the next one starts.
  const std::string_view arena = row.arena;
  for (size_t k = 0; k < row.textSpans.size(); ++k) {
    const auto [column, start] = row.textSpans[k];
    const size_t end = k + 1 < row.textSpans.size() ? row.textSpans[k + 1].second : arena.size();
    row.values[column].text = arena.substr(start, end - start);
  }
}

namespace {

bool decodeNumber(Layout layout, ByteView b, uint32_t width, const ColumnDefinition& d, Value& v, std::string& arena) {
  switch (layout) {
    case Layout::SignedInteger: {
      const unsigned shift = 64 - 8 * width;
      v.kind = ValueKind::Signed;
      v.integer = int64_t(leN(b, 0, width) << shift) >> shift;
      return true;
    }
    case Layout::UnsignedInteger:
      v.kind = ValueKind::Unsigned;
      v.unsignedInteger = leN(b, 0, width);
      return true;
    case Layout::Float: {
      float f;
      const uint32_t raw = uint32_t(leN(b, 0, 4));
      std::memcpy(&f, &raw, 4);
      v.kind = ValueKind::Float;
      v.real = f;
      return true;
    }
    case Layout::Double: {
      const uint64_t raw = leN(b, 0, 8);
      std::memcpy(&v.real, &raw, 8);
      v.kind = ValueKind::Double;
      return true;
    }
    case Layout::Decimal:
      v.kind = ValueKind::Number;
      appendDecimal(arena, b, d.precision, d.decimals);
      return true;
    case Layout::OldDecimal: {
      // Digits as text, padded with spaces in front.
      const std::string_view text = b.chars();
      const size_t first = text.find_first_not_of(' ');
      v.kind = ValueKind::Number;
      if (first != std::string_view::npos) arena += text.substr(first);
      return true;
    }
    default: return false;
  }
}

bool decodeTemporal(Layout layout, ByteView b, uint32_t width, uint32_t digits, Value& v) {
  switch (layout) {
    case Layout::Year:
      v.kind = ValueKind::Year;
      v.unsignedInteger = yearFromStored(b[0]);
      return true;
    case Layout::Date: setTime(v, ValueKind::Date, dateFromNewDate(uint32_t(leN(b, 0, 3)))); return true;
    case Layout::OldDate: setTime(v, ValueKind::Date, dateFromNumber(uint32_t(leN(b, 0, 4)))); return true;
    case Layout::TimeNumber: {
      const uint32_t raw = uint32_t(leN(b, 0, 3));
      setTime(v, ValueKind::Time, timeFromNumber(int32_t(raw << 8) >> 8));
      return true;
    }
    case Layout::TimeCount: setTime(v, ValueKind::Time, timeFromCount(b.sub(0, width), digits)); return true;
    case Layout::Time2: setTime(v, ValueKind::Time, timeFromBinary(b, digits)); return true;
    case Layout::DateTimeNumber: setTime(v, ValueKind::DateTime, dateTimeFromNumber(leN(b, 0, 8))); return true;
    case Layout::DateTimeCount: setTime(v, ValueKind::DateTime, dateTimeFromCount(b.sub(0, width), digits)); return true;
    case Layout::DateTime2: setTime(v, ValueKind::DateTime, dateTimeFromBinary(b, digits)); return true;
    case Layout::TimestampSeconds:
      v.kind = ValueKind::Timestamp;
      v.integer = int64_t(leN(b, 0, 4));
      v.time.microsecond = 0;
      return true;
    case Layout::TimestampCount: {
      static constexpr uint32_t kScale[kMaxFractionalDigits + 1] = {1000000, 100000, 10000, 1000, 100, 10, 1};
      v.kind = ValueKind::Timestamp;
      v.integer = int64_t(be32(b, 0));
      v.time.microsecond = uint32_t(beN(b, 4, width - 4) * kScale[digits]);
      return true;
    }
    case Layout::Timestamp2:
      v.kind = ValueKind::Timestamp;
      v.integer = int64_t(be32(b, 0));
      v.time.microsecond = timestampMicroseconds(b.sub(4), digits);
      return true;
    default: return false;
  }
}

// ENUM: the number of its name, from 1; SET: a bit per name.
void decodeNames(Layout layout, ByteView b, uint32_t width, const ColumnDefinition& d, std::string& arena) {
  const uint64_t stored = leN(b, 0, width);
  if (layout == Layout::Enum) {
    if (stored >= 1 && stored <= d.intervalValues.size()) arena += d.intervalValues[stored - 1];
    return;
  }
  const size_t start = arena.size();
  for (size_t i = 0; i < d.intervalValues.size() && i < 64; ++i) {
    if (!(stored >> i & 1)) continue;
    if (arena.size() > start) arena.push_back(',');
    arena += d.intervalValues[i];
  }
}

void appendUuid(ByteView b, bool alwaysReversed, std::string& arena) {
  // Stored with the five groups in reverse order where the server reverses
  // them, so that time-based values sort by time.
  static constexpr char kDigits[] = "0123456789abcdef";
  static constexpr uint8_t kSwapped[16] = {12, 13, 14, 15, 10, 11, 8, 9, 6, 7, 0, 1, 2, 3, 4, 5};
  if (b.size() < 16) return;
  const bool swapped = uuidGroupsReversed(b, alwaysReversed);
  for (size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) arena.push_back('-');
    const uint8_t byte = b[swapped ? kSwapped[i] : i];
    arena.push_back(kDigits[byte >> 4]);
    arena.push_back(kDigits[byte & 15]);
  }
}

void appendAddress(ByteView b, int family, std::string& arena) {
  char text[INET6_ADDRSTRLEN];
  const size_t bytes = family == AF_INET ? 4 : 16;
  if (b.size() >= bytes && inet_ntop(family, b.data(), text, sizeof text)) arena += text;
}

}  // namespace

void ValueDecoder::decodeValue(const Column& c, const FieldValue& stored, Value& v, std::string& arena) const {
  const ColumnDefinition& d = *c.definition;
  const ByteView b = stored.bytes;
  v.stored = b;
  if (stored.external) {
    v.kind = ValueKind::External;
    return;
  }
  if (c.layout <= Layout::OldDecimal && decodeNumber(c.layout, b, c.width, d, v, arena)) return;
  if (c.layout <= Layout::Timestamp2 && decodeTemporal(c.layout, b, c.width, c.format.digits, v)) return;
  v.kind = ValueKind::Text;
  switch (c.layout) {
    case Layout::Bit:
      v.kind = ValueKind::Bits;
      v.unsignedInteger = beN(b, 0, (c.format.bits + 7) / 8);
      break;
    case Layout::Enum:
    case Layout::Set: decodeNames(c.layout, b, c.width, d, arena); break;
    case Layout::Char:
    case Layout::Varchar:
    case Layout::Blob:
      if (c.binary) {
        v.kind = ValueKind::Binary;
      } else {
        // CHAR comes back without the spaces that pad it.
        if (c.layout == Layout::Char) appendUnpadded(c, b, arena);
        else c.decoder.decodeAppend(b, arena);
      }
      break;
    case Layout::Geometry: v.kind = ValueKind::Geometry; break;
    case Layout::Json:
      // Damaged JSON is kept as its bytes, so that nothing is lost.
      if (!appendMysqlJson(arena, b)) v.kind = ValueKind::Binary;
      break;
    case Layout::Inet4: appendAddress(b, AF_INET, arena); break;
    case Layout::Inet6: appendAddress(b, AF_INET6, arena); break;
    case Layout::Uuid: appendUuid(b, c.uuidAlwaysReversed, arena); break;
    default: break;
  }
}

bool isPlausible(const Value& v) {
  const CalendarTime& t = v.time;
  const bool clock = t.minute <= 59 && t.second <= 59 && t.microsecond <= 999999;
  const bool calendar = t.year <= 9999 && t.month <= 12 && t.day <= 31;
  switch (v.kind) {
    case ValueKind::Date: return calendar;
    case ValueKind::DateTime: return calendar && clock && t.hour <= 23;
    case ValueKind::Time: return clock && t.hour <= 838;
    case ValueKind::Timestamp: return v.integer >= 0 && v.integer <= int64_t(UINT32_MAX) && t.microsecond <= 999999;
    default: return true;
  }
}

}  // namespace tavrin
