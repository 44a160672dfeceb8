#include "myisam/dynamic_row.h"

namespace tavrin {

uint32_t decodeBlockHeader(ByteView h, BlockInfo& info) {
  info = BlockInfo{};
  info.type = h[0];
  using namespace BlockFlag;
  switch (info.type) {
    case 0:
      info.blockLength = be24(h, 1);
      info.nextPosition = be64(h, 4);
      return Deleted;
    case 1:
      info.recordLength = info.dataLength = info.blockLength = be16(h, 1);
      info.headerLength = 3;
      return First | Last;
    case 2:
      info.recordLength = info.dataLength = info.blockLength = be24(h, 1);
      info.headerLength = 4;
      return First | Last;
    case 3:
      info.recordLength = info.dataLength = be16(h, 1);
      info.blockLength = info.dataLength + h[3];
      info.headerLength = 4;
      return First | Last;
    case 4:
      info.recordLength = info.dataLength = be24(h, 1);
      info.blockLength = info.dataLength + h[4];
      info.headerLength = 5;
      return First | Last;
    case 5:
      info.recordLength = be16(h, 1);
      info.dataLength = info.blockLength = be16(h, 3);
      info.nextPosition = be64(h, 5);
      info.hasNext = true;
      info.headerLength = 13;
      return First;
    case 6:
      info.recordLength = be24(h, 1);
      info.dataLength = info.blockLength = be24(h, 4);
      info.nextPosition = be64(h, 7);
      info.hasNext = true;
      info.headerLength = 15;
      return First;
    case 7:
      info.dataLength = info.blockLength = be16(h, 1);
      info.headerLength = 3;
      return Last;
    case 8:
      info.dataLength = info.blockLength = be24(h, 1);
      info.headerLength = 4;
      return Last;
    case 9:
      info.dataLength = be16(h, 1);
      info.blockLength = info.dataLength + h[3];
      info.headerLength = 4;
      return Last;
    case 10:
      info.dataLength = be24(h, 1);
      info.blockLength = info.dataLength + h[4];
      info.headerLength = 5;
      return Last;
    case 11:
      info.dataLength = info.blockLength = be16(h, 1);
      info.nextPosition = be64(h, 3);
      info.hasNext = true;
      info.headerLength = 11;
      return 0;
    case 12:
      info.dataLength = info.blockLength = be24(h, 1);
      info.nextPosition = be64(h, 4);
      info.hasNext = true;
      info.headerLength = 12;
      return 0;
    case 13:
      info.recordLength = be32(h, 1);
      info.dataLength = info.blockLength = be24(h, 5);
      info.nextPosition = be64(h, 8);
      info.hasNext = true;
      info.headerLength = 16;
      return First;
    default:
      return Invalid;
  }
}

Status unpackDynamicRow(ByteView from, const MyisamState& state, RowImage& image) {
  using namespace MyisamColumnType;
  image.bytes.assign(state.recordLength, 0);
  image.blobs.clear();
  if (from.size() < state.minPackLength) return damaged("a row is shorter than the table's shortest row");
  if (from.size() < state.packBits) return damaged("a row is shorter than its column flags");
  size_t flagByte = 0;
  uint32_t bit = 1;
  auto flagSet = [&] { return (from[flagByte] & bit) != 0; };
  auto nextFlag = [&] {
    if ((bit <<= 1) >= 256) {
      ++flagByte;
      bit = 1;
    }
  };
  size_t p = state.packBits;
  size_t to = 0;
  // The bytes that the columns still to come need at the least.
  int64_t minimum = int64_t(state.minPackLength) - state.packBits;
  const auto left = [&] { return int64_t(from.size()) - int64_t(p); };
  const auto tooShort = [] { return damaged("a row's columns run past its end"); };

  for (const MyisamColumnDef& column : state.columnDefs) {
    const uint32_t length = column.length;
    if (to + length > image.bytes.size()) return damaged("a row's columns run past the row image");
    uint8_t* out = image.bytes.data() + to;
    to += length;
    if (column.type == Normal || column.type == Check) {
      if (left() < minimum || left() < int64_t(length)) return tooShort();
      minimum -= length;
      std::copy(from.data() + p, from.data() + p + length, out);
      p += length;
      continue;
    }
    if (column.type == Varchar) {
      const bool oneByte = length - 1 < 256;
      size_t valueLength;
      if (oneByte) {
        if (left() < 1) return tooShort();
        valueLength = from[p];
        if (valueLength > length - 1u) return damaged("a VARCHAR is longer than its column");
        out[0] = from[p];
        p += 1;
      } else {
        if (left() < 1) return tooShort();
        if (from[p] != 255) {
          valueLength = from[p];
          p += 1;
        } else {
          if (left() < 3) return tooShort();
          valueLength = be16(from, p + 1);
          p += 3;
        }
        if (valueLength > length - 2u) return damaged("a VARCHAR is longer than its column");
        out[0] = uint8_t(valueLength);
        out[1] = uint8_t(valueLength >> 8);
      }
      if (left() < int64_t(valueLength)) return tooShort();
      std::copy(from.data() + p, from.data() + p + valueLength, out + (oneByte ? 1 : 2));
      p += valueLength;
      --minimum;
      continue;
    }
    if (flagSet()) {
      if (column.type == SkipEndSpace || column.type == SkipPreSpace) {
        size_t valueLength;
        if (length > 255 && left() >= 1 && (from[p] & 128)) {
          if (left() < 2) return tooShort();
          valueLength = (from[p] & 127) | size_t(from[p + 1]) << 7;
          p += 2;
        } else {
          if (left() < 1) return tooShort();
          valueLength = from[p];
          p += 1;
        }
        --minimum;
        if (valueLength >= length || minimum + int64_t(valueLength) > left()) return tooShort();
        if (column.type == SkipEndSpace) {
          std::copy(from.data() + p, from.data() + p + valueLength, out);
          std::fill(out + valueLength, out + length, ' ');
        } else {
          std::fill(out, out + length - valueLength, ' ');
          std::copy(from.data() + p, from.data() + p + valueLength, out + length - valueLength);
        }
        p += valueLength;
      }
      // A set flag of a BLOB or a zero-skipped column: the value is empty or zero.
    } else if (column.type == Blob) {
      const uint32_t sizeBytes = length >= 8 ? length - 8 : 0;
      if (sizeBytes < 1 || sizeBytes > 4 || left() < int64_t(sizeBytes)) return tooShort();
      uint64_t blobLength = 0;
      for (uint32_t i = sizeBytes; i > 0; --i) blobLength = blobLength << 8 | from[p + i - 1];
      if (uint64_t(left() - sizeBytes) < blobLength || left() - int64_t(sizeBytes) - int64_t(blobLength) < minimum) {
        return damaged("a BLOB runs past the end of its row");
      }
      std::copy(from.data() + p, from.data() + p + sizeBytes, out);
      image.blobs.emplace_back(uint32_t(out - image.bytes.data()), from.sub(p + sizeBytes, size_t(blobLength)));
      p += sizeBytes + size_t(blobLength);
    } else {
      if (column.type == SkipEndSpace || column.type == SkipPreSpace) --minimum;
      if (minimum + int64_t(length) > left()) return tooShort();
      std::copy(from.data() + p, from.data() + p + length, out);
      p += length;
    }
    nextFlag();
  }
  return Ok{};
}

}  // namespace tavrin
