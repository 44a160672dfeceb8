#include "render/mysql_json.h"

#include <cstring>

#include "render/number_text.h"
#include "render/temporal_text.h"
#include "tabledef/field_layout.h"
#include "tabledef/table_definition.h"

namespace tavrin {

namespace {

enum JsonType : uint8_t {
  SmallObject = 0x0, LargeObject = 0x1, SmallArray = 0x2, LargeArray = 0x3, Literal = 0x4,
  Int16 = 0x5, Uint16 = 0x6, Int32 = 0x7, Uint32 = 0x8, Int64 = 0x9, Uint64 = 0xA,
  Double = 0xB, String = 0xC, Opaque = 0xF,
};
enum LiteralValue : uint8_t { NullLiteral = 0, TrueLiteral = 1, FalseLiteral = 2 };

constexpr size_t kMaxDepth = 150;
constexpr size_t kMaxLengthBytes = 5;

Status bad(const char* what) { return damaged(std::string("the JSON value is damaged: ") + what); }

// A length of 7 bits a byte, lowest first; `used` gets its bytes.
bool readVariableLength(ByteView v, uint64_t& length, size_t& used) {
  length = 0;
  for (size_t i = 0; i < kMaxLengthBytes && i < v.size(); ++i) {
    length |= uint64_t(v[i] & 0x7F) << (7 * i);
    if (!(v[i] & 0x80)) {
      used = i + 1;
      return length <= UINT32_MAX;
    }
  }
  return false;
}

void appendEscaped(std::string& out, ByteView text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = char(text[i]);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\t': out += "\\t"; break;
      default: out.push_back(c);
    }
  }
}

void appendBase64(std::string& out, ByteView bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const uint32_t n = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
    const size_t left = bytes.size() - i;
    out.push_back(kDigits[n >> 18 & 63]);
    out.push_back(kDigits[n >> 12 & 63]);
    out.push_back(left > 1 ? kDigits[n >> 6 & 63] : '=');
    out.push_back(left > 2 ? kDigits[n & 63] : '=');
  }
}

// The packed temporal values of MySQL (a signed 64-bit number): whole
// seconds above the low 24 bits, microseconds in them.
CalendarTime unpackTemporal(int64_t packed, bool timeOnly) {
  CalendarTime t;
  t.negative = packed < 0;
  const uint64_t v = t.negative ? uint64_t(-packed) : uint64_t(packed);
  t.microsecond = uint32_t(v % (1u << 24));
  const uint64_t whole = v >> 24;
  if (timeOnly) {
    t.hour = uint32_t((whole >> 12) % (1u << 10));
  } else {
    const uint64_t ymd = whole >> 17, ym = ymd >> 5;
    t.day = uint32_t(ymd % (1u << 5));
    t.month = uint32_t(ym % 13);
    t.year = uint32_t(ym / 13);
    t.hour = uint32_t((whole % (1u << 17)) >> 12);
  }
  t.minute = uint32_t((whole >> 6) % (1u << 6));
  t.second = uint32_t(whole % (1u << 6));
  return t;
}

Status appendOpaque(std::string& out, ByteView data) {
  const FieldType type = FieldType(data[0]);
  uint64_t length = 0;
  size_t used = 0;
  if (data.empty() || !readVariableLength(data.sub(1), length, used) || !data.has(1 + used, length)) {
    return bad("an opaque value runs past its end");
  }
  const ByteView value = data.sub(1 + used, length);
  constexpr uint32_t kDigits = 6;
  switch (type) {
    case FieldType::Time:
    case FieldType::Date:
    case FieldType::DateTime:
    case FieldType::Timestamp: {
      if (value.size() < 8) return bad("a date or time is cut short");
      const CalendarTime t = unpackTemporal(int64_t(le64(value, 0)), type == FieldType::Time);
      out.push_back('"');
      if (type == FieldType::Time) appendTime(out, t, kDigits);
      else if (type == FieldType::Date) appendDate(out, t);
      else appendDateTime(out, t, kDigits);
      out.push_back('"');
      return Ok{};
    }
    case FieldType::NewDecimal: {
      if (value.size() < 2) return bad("a decimal has no precision");
      const int32_t precision = value[0], scale = value[1];
      if (scale > precision || precision > kMaxDecimalPrecision ||
          decimalBinarySize(precision, scale) != value.size() - 2) {
        return bad("a decimal does not fit its precision");
      }
      appendDecimal(out, value.sub(2), precision, scale);
      return Ok{};
    }
    default:
      out += "\"base64:type" + std::to_string(int(type)) + ":";
      appendBase64(out, value);
      out.push_back('"');
      return Ok{};
  }
}

Status appendValue(std::string& out, uint8_t type, ByteView data, size_t depth);

Status appendScalar(std::string& out, uint8_t type, ByteView data) {
  static constexpr size_t kWidth[] = {0, 0, 0, 0, 0, 2, 2, 4, 4, 8, 8, 8};
  if (type >= Int16 && type <= Double && data.size() < kWidth[type]) return bad("a number is cut short");
  switch (type) {
    case Literal:
      if (data.empty()) return bad("a literal is cut short");
      if (data[0] == NullLiteral) out += "null";
      else if (data[0] == TrueLiteral) out += "true";
      else if (data[0] == FalseLiteral) out += "false";
      else return bad("an unknown literal");
      return Ok{};
    case Int16: appendInteger(out, int16_t(le16(data, 0))); return Ok{};
    case Int32: appendInteger(out, int32_t(le32(data, 0))); return Ok{};
    case Int64: appendInteger(out, int64_t(le64(data, 0))); return Ok{};
    case Uint16: appendUnsigned(out, le16(data, 0)); return Ok{};
    case Uint32: appendUnsigned(out, le32(data, 0)); return Ok{};
    case Uint64: appendUnsigned(out, le64(data, 0)); return Ok{};
    case Double: {
      const uint64_t bits = le64(data, 0);
      double d;
      std::memcpy(&d, &bits, sizeof d);
      appendReal(out, d, false, kNotFixedDecimals);
      return Ok{};
    }
    case String: {
      uint64_t length = 0;
      size_t used = 0;
      if (!readVariableLength(data, length, used) || !data.has(used, length)) return bad("a string runs past its end");
      out.push_back('"');
      appendEscaped(out, data.sub(used, length));
      out.push_back('"');
      return Ok{};
    }
    case Opaque: return appendOpaque(out, data);
    default: return bad("an unknown type");
  }
}

bool storedInline(uint8_t type, bool large) {
  return type == Int16 || type == Uint16 || type == Literal || (large && (type == Int32 || type == Uint32));
}

Status appendContainer(std::string& out, ByteView data, bool isObject, bool large, size_t depth) {
  if (++depth > kMaxDepth) return bad("it nests too deep");
  const size_t offsetSize = large ? 4 : 2;
  if (data.size() < 2 * offsetSize) return bad("an object or array is cut short");
  auto offsetAt = [&](size_t at) -> uint64_t { return large ? le32(data, at) : le16(data, at); };
  const uint64_t count = offsetAt(0), bytes = offsetAt(offsetSize);
  if (bytes > data.size()) return bad("an object or array is longer than its value");
  const ByteView whole = data.sub(0, size_t(bytes));
  const size_t keyEntry = offsetSize + 2, valueEntry = 1 + offsetSize;
  const uint64_t entries = 2 * offsetSize + count * ((isObject ? keyEntry : 0) + valueEntry);
  if (entries > whole.size()) return bad("the entries of an object or array run past its end");
  out.push_back(isObject ? '{' : '[');
  for (uint64_t i = 0; i < count; ++i) {
    if (isObject) {
      const size_t key = size_t(2 * offsetSize + i * keyEntry);
      const uint64_t keyStart = offsetAt(key), keyLength = le16(whole, key + offsetSize);
      if (!whole.has(size_t(keyStart), size_t(keyLength))) return bad("a key runs past its object");
      out.push_back('"');
      appendEscaped(out, whole.sub(size_t(keyStart), size_t(keyLength)));
      out += "\": ";
    }
    const size_t entry = size_t(2 * offsetSize + (isObject ? count * keyEntry : 0) + i * valueEntry);
    const uint8_t type = whole[entry];
    Status value = storedInline(type, large) ? appendScalar(out, type, whole.sub(entry + 1))
                   : offsetAt(entry + 1) < whole.size()
                       ? appendValue(out, type, whole.sub(size_t(offsetAt(entry + 1))), depth)
                       : bad("a value lies outside its object or array");
    if (!value) return value;
    if (i + 1 < count) out += ", ";
  }
  out.push_back(isObject ? '}' : ']');
  return Ok{};
}

Status appendValue(std::string& out, uint8_t type, ByteView data, size_t depth) {
  switch (type) {
    case SmallObject: return appendContainer(out, data, true, false, depth);
    case LargeObject: return appendContainer(out, data, true, true, depth);
    case SmallArray: return appendContainer(out, data, false, false, depth);
    case LargeArray: return appendContainer(out, data, false, true, depth);
    default: return appendScalar(out, type, data);
  }
}

}  // namespace

Status appendMysqlJson(std::string& out, ByteView document) {
  if (document.empty()) return Ok{};
  const size_t start = out.size();
  Status text = appendValue(out, document[0], document.sub(1), 0);
  if (!text) out.resize(start);
  return text;
}

}  // namespace tavrin
