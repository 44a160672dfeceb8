#include "tabledef/field_layout.h"

#include <algorithm>

namespace tavrin {

namespace {
constexpr uint32_t kBlobPointerBytes = 8;
constexpr uint32_t kTimeWidth = 10, kDateTimeWidth = 19;
}  // namespace

int32_t declaredScale(const ColumnDefinition& c) {
  return (c.packFlags >> PackFlag::DecimalsShift) & PackFlag::DecimalsMask;
}

uint32_t decimalBinarySize(int32_t precision, int32_t scale) {
  if (precision < scale || scale < 0) return 0;
  const uint32_t intg = uint32_t(precision - scale), frac = uint32_t(scale);
  constexpr uint32_t n = kDecimalDigitsPerGroup;
  return (intg / n) * 4 + kDecimalGroupBytes[intg % n] + (frac / n) * 4 + kDecimalGroupBytes[frac % n];
}

uint32_t fractionalDigits(const ColumnDefinition& c) {
  uint32_t width = 0;
  switch (c.fieldType) {
    case FieldType::Time:
    case FieldType::Time2: width = kTimeWidth; break;
    case FieldType::DateTime:
    case FieldType::DateTime2:
    case FieldType::Timestamp:
    case FieldType::Timestamp2: width = kDateTimeWidth; break;
    default: return 0;
  }
  const uint32_t digits = c.fieldLength > width + 1 ? c.fieldLength - width - 1 : 0;
  return digits < kMaxFractionalDigits ? digits : kMaxFractionalDigits;
}

bool isHighResolutionTemporal(const ColumnDefinition& c) {
  return (c.fieldType == FieldType::Time || c.fieldType == FieldType::DateTime ||
          c.fieldType == FieldType::Timestamp) &&
         fractionalDigits(c) > 0;
}

bool keptLikeBlob(FieldType type) {
  switch (type) {
    case FieldType::TinyBlob:
    case FieldType::Blob:
    case FieldType::MediumBlob:
    case FieldType::LongBlob:
    case FieldType::Geometry:
    case FieldType::Json: return true;
    default: return false;
  }
}

uint32_t blobLengthBytes(const ColumnDefinition& c) {
  switch (c.fieldType) {
    case FieldType::TinyBlob: return 1;
    case FieldType::Blob: return 2;
    case FieldType::MediumBlob: return 3;
    default: return 4;  // LONGBLOB, GEOMETRY, JSON
  }
}

uint32_t varcharLengthBytes(const ColumnDefinition& c) { return c.fieldLength < 256 ? 1 : 2; }

uint32_t enumPackLength(size_t names) { return names < 256 ? 1 : 2; }

uint32_t setPackLength(size_t names) {
  uint32_t bytes = uint32_t((names + 7) / 8);
  return bytes > 4 ? 8 : bytes;
}

bool uuidAlwaysReversed(uint32_t v) {
  // The versions from which each series writes the newer layout.
  const bool newer = v == 0 || (v >= 100908 && v < 100999) || (v >= 101006 && v < 101099) ||
                     (v >= 101105 && v < 101199) || (v >= 110003 && v < 110099) || (v >= 110102 && v < 110199) ||
                     v >= 110201;
  return !newer;
}

bool uuidGroupsReversed(ByteView b, bool alwaysReversed) {
  // As the server tests it: reversed, byte 6 holds the variant and byte 8
  // the version.
  return alwaysReversed || ((b[6] & 0x80) && b[8] >= 0x01 && b[8] <= 0x80);
}

uint32_t packLength(const ColumnDefinition& c) {
  switch (c.pluginType()) {
    case PluginType::Inet4: return 4;
    case PluginType::Inet6:
    case PluginType::Uuid: return 16;
    case PluginType::None: break;
  }
  const uint32_t fraction = (fractionalDigits(c) + 1) / 2;
  switch (c.fieldType) {
    case FieldType::Tiny: return 1;
    case FieldType::Short: return 2;
    case FieldType::Int24: return 3;
    case FieldType::Long: return 4;
    case FieldType::LongLong: return 8;
    case FieldType::Float: return 4;
    case FieldType::Double: return 8;
    case FieldType::NewDecimal: return decimalBinarySize(c.precision, c.decimals);
    case FieldType::Decimal: return c.fieldLength;
    case FieldType::Year: return 1;
    case FieldType::NewDate: return 3;
    case FieldType::Date: return 4;
    // The MariaDB 5.3 layouts: a count of time units, wider with more digits.
    case FieldType::Time: return isHighResolutionTemporal(c) ? 3 + (fractionalDigits(c) + 1) / 2 : 3;
    case FieldType::DateTime: return isHighResolutionTemporal(c) ? 5 + (fractionalDigits(c) + 1) / 2 : 8;
    case FieldType::Timestamp: return 4 + fraction;
    case FieldType::Time2: return 3 + fraction;
    case FieldType::DateTime2: return 5 + fraction;
    case FieldType::Timestamp2: return 4 + fraction;
    case FieldType::Bit:
      return (c.packFlags & PackFlag::BitAsChar) ? (c.fieldLength + 7) / 8 : c.fieldLength / 8;
    case FieldType::Enum: return enumPackLength(c.intervalValues.size());
    case FieldType::Set: return setPackLength(c.intervalValues.size());
    case FieldType::String:
    case FieldType::VarString: return c.fieldLength;
    case FieldType::Varchar: return c.fieldLength + varcharLengthBytes(c);
    default: return keptLikeBlob(c.fieldType) ? blobLengthBytes(c) + kBlobPointerBytes : 0;
  }
}

Status checkAutoIncrement(const TableDefinition& table, uint64_t next) {
  for (const ColumnDefinition& c : table.columns) {
    const bool integer = c.fieldType == FieldType::Tiny || c.fieldType == FieldType::Short ||
                         c.fieldType == FieldType::Int24 || c.fieldType == FieldType::Long ||
                         c.fieldType == FieldType::LongLong;
    if (!c.isAutoIncrement() || !integer) continue;
    const uint32_t bits = packLength(c) * 8 - (c.isUnsigned ? 0 : 1);
    // One past the largest value, which the server shows once the column is full.
    const uint64_t limit = bits >= 64 ? UINT64_MAX : (uint64_t(1) << bits);
    if (next <= limit) return Ok{};
    return damaged("the AUTO_INCREMENT counter " + std::to_string(next) + " is past what column " + c.name +
                   " can hold; it is left out");
  }
  return Ok{};
}

bool isPrefixPart(const ColumnDefinition& c, uint32_t length) {
  switch (c.fieldType) {
    case FieldType::Varchar:
    case FieldType::VarString:
    case FieldType::String: return length < c.fieldLength;
    default: return keptLikeBlob(c.fieldType) || length < packLength(c);
  }
}

void placeNullBits(TableDefinition& def, uint32_t firstBit) {
  uint32_t nullBits = firstBit;
  for (ColumnDefinition& c : def.columns) {
    if (c.nullable) {
      c.nullByte = nullBits / 8;
      c.nullMask = uint8_t(1u << (nullBits % 8));
      ++nullBits;
    }
    if (c.fieldType == FieldType::Bit && !(c.packFlags & PackFlag::BitAsChar)) {
      c.bitsByte = nullBits / 8;
      c.bitsShift = uint8_t(nullBits % 8);
      nullBits += c.fieldLength % 8;
    }
  }
  def.nullBytes = (nullBits + 7) / 8;
}

RecordColumn recordColumn(const ColumnDefinition& c) {
  RecordColumn p;
  p.offset = c.recordOffset();
  p.nullByte = c.nullByte;
  p.nullMask = c.nullable ? c.nullMask : 0;
  if (c.isVirtual) {
    p.take = RecordColumn::Take::Skip;
  } else if (c.fieldType == FieldType::Varchar) {
    p.take = RecordColumn::Take::Varchar;
    p.width = varcharLengthBytes(c);
    p.limit = c.fieldLength;
  } else if (keptLikeBlob(c.fieldType)) {
    p.take = RecordColumn::Take::Blob;
  } else if (c.fieldType == FieldType::Bit && !(c.packFlags & PackFlag::BitAsChar) && c.fieldLength % 8) {
    // The odd bits stand among the NULL bits; the whole bytes follow at
    // the column's position, big-endian. A BIT holds 64 bits at most: more
    // is damage, and no more are taken.
    constexpr uint32_t kMaxBitBytes = kMaxBitWidth / 8;
    p.take = RecordColumn::Take::Bits;
    p.width = std::min(c.fieldLength / 8, kMaxBitBytes - 1);
    p.oddBits = c.fieldLength % 8;
    p.bitsByte = c.bitsByte;
    p.bitsShift = c.bitsShift % 8;
  } else {
    p.take = RecordColumn::Take::Fixed;
    p.width = packLength(c);
  }
  return p;
}

FieldValue recordValue(const RecordColumn& p, ByteView image, uint8_t* bits) {
  FieldValue v;
  if (p.take == RecordColumn::Take::Skip || (image[p.nullByte] & p.nullMask)) return v;
  v.isNull = false;
  switch (p.take) {
    case RecordColumn::Take::Fixed: v.bytes = image.sub(p.offset, p.width); break;
    case RecordColumn::Take::Varchar: {
      const uint32_t length = p.width == 1 ? image[p.offset] : le16(image, p.offset);
      v.bytes = image.sub(p.offset + p.width, std::min(length, p.limit));
      break;
    }
    case RecordColumn::Take::Bits: {
      const uint32_t word = image[p.bitsByte] | uint32_t(image[p.bitsByte + 1]) << 8;
      bits[0] = uint8_t((word >> p.bitsShift) & ((1u << p.oddBits) - 1));
      for (uint32_t k = 0; k < p.width; ++k) bits[1 + k] = image[p.offset + k];
      v.bytes = ByteView(bits, p.width + 1);
      break;
    }
    case RecordColumn::Take::Blob:
    case RecordColumn::Take::Skip: break;
  }
  return v;
}

}  // namespace tavrin
