#include "myisam/dynamic_row.h"

#include <algorithm>
#include <iterator>

namespace tavrin {

namespace {

// What follows the type byte of a block header: the row's length, the length
// of the row bytes in this block, a byte of spare length, and the position of
// the row's next block, each there or not by the block's type.
struct HeaderLayout {
  uint8_t recordBytes;  // 0: not in the header
  uint8_t dataBytes;
  bool spareByte;
  bool nextPosition;
  uint32_t flags;
};

// The layouts of block types 1 to 13; type 0 is a deleted block.
const HeaderLayout* headerLayout(uint8_t type) {
  using namespace BlockFlag;
  static constexpr HeaderLayout kLayouts[] = {
      {0, 2, false, false, First | Last},  // 1: a whole row
      {0, 3, false, false, First | Last},  // 2
      {0, 2, true, false, First | Last},   // 3: a whole row, with spare bytes
      {0, 3, true, false, First | Last},   // 4
      {2, 2, false, true, First},          // 5: the first block of a row
      {3, 3, false, true, First},          // 6
      {0, 2, false, false, Last},          // 7: the last block of a row
      {0, 3, false, false, Last},          // 8
      {0, 2, true, false, Last},           // 9: the last block of a row, with spare bytes
      {0, 3, true, false, Last},           // 10
      {0, 2, false, true, 0},              // 11: a block inside a row
      {0, 3, false, true, 0},              // 12
      {4, 3, false, true, First},          // 13: the first block of a long row
  };
  if (type == 0 || type > std::size(kLayouts)) return nullptr;
  return &kLayouts[type - 1];
}

// A big-endian length of 2, 3 or 4 bytes; 0 for none.
uint32_t lengthField(ByteView header, size_t offset, uint8_t width) {
  switch (width) {
    case 2: return be16(header, offset);
    case 3: return be24(header, offset);
    case 4: return be32(header, offset);
    default: return 0;
  }
}

uint32_t decodeDeletedHeader(ByteView header, BlockInfo& info) {
  info.blockLength = be24(header, 1);
  info.nextPosition = be64(header, 4);
  return BlockFlag::Deleted;
}

uint32_t decodeRowHeader(ByteView header, const HeaderLayout& layout, BlockInfo& info) {
  size_t at = 1;
  info.recordLength = lengthField(header, at, layout.recordBytes);
  at += layout.recordBytes;
  info.dataLength = info.blockLength = lengthField(header, at, layout.dataBytes);
  at += layout.dataBytes;
  if (layout.spareByte) info.blockLength += header[at++];
  if (layout.nextPosition) {
    info.nextPosition = be64(header, at);
    info.hasNext = true;
    at += 8;
  }
  info.headerLength = uint32_t(at);
  // A block that starts and ends its row holds all of it.
  if ((layout.flags & BlockFlag::First) && (layout.flags & BlockFlag::Last)) info.recordLength = info.dataLength;
  return layout.flags;
}

// A packed row, read front to back.
struct PackedRow {
  ByteView bytes;
  size_t p = 0;
  // The bytes that the columns still to come need at the least.
  int64_t minimum = 0;

  int64_t left() const { return int64_t(bytes.size()) - int64_t(p); }
  const uint8_t* here() const { return bytes.data() + p; }
};

// The flag bits at the start of a packed row, one for each column that may be
// stored shorter than its width, in column order.
class ColumnFlags {
 public:
  explicit ColumnFlags(ByteView row) : row_(row) {}

  // The next column's flag.
  bool take() {
    const bool set = (row_[byte_] & bit_) != 0;
    if ((bit_ <<= 1) >= 256) {
      ++byte_;
      bit_ = 1;
    }
    return set;
  }

  // The flag bits after the last column's, which the server leaves clear.
  bool restClear() const { return bit_ == 1 || (row_[byte_] & ~(bit_ - 1) & 0xFF) == 0; }

 private:
  ByteView row_;
  size_t byte_ = 0;
  uint32_t bit_ = 1;
};

Failure columnsRunPastEnd() { return damaged("a row's columns run past its end"); }

// A column stored whole, at its full width.
Status unpackWhole(PackedRow& row, uint8_t* out, uint32_t length) {
  if (row.left() < row.minimum || row.left() < int64_t(length)) return columnsRunPastEnd();
  row.minimum -= length;
  std::copy(row.here(), row.here() + length, out);
  row.p += length;
  return Ok{};
}

// The length in front of a VARCHAR value: one byte, or in a column of two
// length bytes, 255 and two big-endian bytes for the longer values.
Result<size_t> packedVarcharLength(PackedRow& row, bool oneByte) {
  if (row.left() < 1) return columnsRunPastEnd();
  if (oneByte || row.bytes[row.p] != 255) return size_t(row.bytes[row.p++]);
  if (row.left() < 3) return columnsRunPastEnd();
  const size_t length = be16(row.bytes, row.p + 1);
  row.p += 3;
  return length;
}

Status unpackVarchar(PackedRow& row, uint8_t* out, uint32_t length) {
  // A damaged index file may give a VARCHAR no room even for its length.
  if (length == 0) return damaged("a VARCHAR column is narrower than its length");
  const bool oneByte = length - 1 < 256;
  const Result<size_t> valueLength = packedVarcharLength(row, oneByte);
  if (!valueLength) return valueLength.failure();
  if (*valueLength > length - (oneByte ? 1u : 2u)) return damaged("a VARCHAR is longer than its column");
  // The row image holds the length in the column's length bytes, little-endian.
  out[0] = uint8_t(*valueLength);
  if (!oneByte) out[1] = uint8_t(*valueLength >> 8);
  if (row.left() < int64_t(*valueLength)) return columnsRunPastEnd();
  std::copy(row.here(), row.here() + *valueLength, out + (oneByte ? 1 : 2));
  row.p += *valueLength;
  --row.minimum;
  return Ok{};
}

// The length in front of a value stored without its padding spaces: one
// byte, or in a column over 255 bytes, two when the first has its high bit set.
Result<size_t> packedStrippedLength(PackedRow& row, uint32_t length) {
  if (length > 255 && row.left() >= 1 && (row.bytes[row.p] & 128)) {
    if (row.left() < 2) return columnsRunPastEnd();
    const size_t valueLength = (row.bytes[row.p] & 127) | size_t(row.bytes[row.p + 1]) << 7;
    row.p += 2;
    return valueLength;
  }
  if (row.left() < 1) return columnsRunPastEnd();
  return size_t(row.bytes[row.p++]);
}

// A value stored without its trailing (or leading) spaces, which the row
// image has back.
Status unpackSpaceStripped(PackedRow& row, uint8_t* out, uint32_t length, bool trailing) {
  const Result<size_t> valueLength = packedStrippedLength(row, length);
  if (!valueLength) return valueLength.failure();
  const size_t stored = *valueLength;
  --row.minimum;
  if (stored >= length || int64_t(stored) > row.left() || row.minimum + int64_t(stored) > row.left()) {
    return columnsRunPastEnd();
  }
  if (trailing) {
    std::copy(row.here(), row.here() + stored, out);
    std::fill(out + stored, out + length, ' ');
  } else {
    std::fill(out, out + length - stored, ' ');
    std::copy(row.here(), row.here() + stored, out + length - stored);
  }
  row.p += stored;
  return Ok{};
}

// A BLOB: its length in the column's length bytes goes into the row image,
// its bytes are kept apart.
Status unpackBlob(PackedRow& row, uint32_t length, size_t at, RowImage& image) {
  const uint32_t sizeBytes = length >= kBlobPointerBytes ? length - kBlobPointerBytes : 0;
  if (sizeBytes < 1 || sizeBytes > 4 || row.left() < int64_t(sizeBytes)) return columnsRunPastEnd();
  const uint64_t blobLength = leN(row.bytes, row.p, sizeBytes);
  if (uint64_t(row.left() - sizeBytes) < blobLength ||
      row.left() - int64_t(sizeBytes) - int64_t(blobLength) < row.minimum) {
    return damaged("a BLOB runs past the end of its row");
  }
  std::copy(row.here(), row.here() + sizeBytes, image.bytes.data() + at);
  image.blobs.emplace_back(uint32_t(at), row.bytes.sub(row.p + sizeBytes, size_t(blobLength)));
  row.p += sizeBytes + size_t(blobLength);
  return Ok{};
}

// A column with a flag bit whose flag is clear: a BLOB, or a value stored at
// its full width.
Status unpackUnflagged(PackedRow& row, const MyisamColumnDef& column, size_t at, RowImage& image) {
  using namespace MyisamColumnType;
  if (column.type == Blob) return unpackBlob(row, column.length, at, image);
  const uint32_t length = column.length;
  if (column.type == SkipEndSpace || column.type == SkipPreSpace) --row.minimum;
  if (int64_t(length) > row.left() || row.minimum + int64_t(length) > row.left()) return columnsRunPastEnd();
  std::copy(row.here(), row.here() + length, image.bytes.data() + at);
  row.p += length;
  return Ok{};
}

// Unpacks one column into the row image at `at`.
Status unpackColumn(PackedRow& row, ColumnFlags& flags, const MyisamColumnDef& column, size_t at, RowImage& image) {
  using namespace MyisamColumnType;
  uint8_t* out = image.bytes.data() + at;
  if (column.type == Normal || column.type == Check) return unpackWhole(row, out, column.length);
  if (column.type == Varchar) return unpackVarchar(row, out, column.length);
  if (!flags.take()) return unpackUnflagged(row, column, at, image);
  if (column.type == SkipEndSpace || column.type == SkipPreSpace) {
    return unpackSpaceStripped(row, out, column.length, column.type == SkipEndSpace);
  }
  // A set flag of a BLOB or a zero-skipped column: the value is empty or zero.
  return Ok{};
}

}  // namespace

uint32_t decodeBlockHeader(ByteView h, BlockInfo& info) {
  info = BlockInfo{};
  info.type = h[0];
  if (info.type == 0) return decodeDeletedHeader(h, info);
  const HeaderLayout* layout = headerLayout(info.type);
  return layout ? decodeRowHeader(h, *layout, info) : BlockFlag::Invalid;
}

Status unpackDynamicRow(ByteView from, const MyisamState& state, RowImage& image) {
  image.bytes.assign(state.recordLength, 0);
  image.blobs.clear();
  if (from.size() < state.minPackLength) return damaged("a row is shorter than the table's shortest row");
  if (from.size() < state.packBits) return damaged("a row is shorter than its column flags");
  ColumnFlags flags(from);
  PackedRow row{from, state.packBits, int64_t(state.minPackLength) - state.packBits};
  size_t to = 0;
  for (const MyisamColumnDef& column : state.columnDefs) {
    if (to + column.length > image.bytes.size()) return damaged("a row's columns run past the row image");
    Status unpacked = unpackColumn(row, flags, column, to, image);
    if (!unpacked) return unpacked;
    to += column.length;
  }
  // The server takes a row only when its columns use every byte of it.
  const size_t checksumBytes = (state.options & MyisamOption::Checksum) ? 1 : 0;
  if (row.p + checksumBytes != from.size()) return damaged("a row's columns do not fill it");
  if (!flags.restClear()) return damaged("a row has flags for columns it does not have");
  return Ok{};
}

}  // namespace tavrin
