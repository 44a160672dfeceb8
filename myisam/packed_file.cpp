#include "myisam/packed_file.h"

#include <algorithm>
#include <string>

namespace tavrin {

namespace {

constexpr uint8_t kMagic[] = {0xFE, 0xFE, 0x08};
constexpr uint8_t kLastKind = PackedKind::Check;
// A VARCHAR up to this long keeps its length in one byte.
constexpr uint32_t kShortVarchar = 256;
// The first byte of a row's length prefix: below this, the length itself;
// this, two bytes follow; above, four (three in the first version).
constexpr uint8_t kTwoByteLength = 254;
// Trees of byte values hold at most this many values.
constexpr uint32_t kMaxByteValues = 256;

// The bits the server gives a tree's number: enough for `trees - 1`, one at the least.
uint32_t bitsFor(uint32_t value) {
  uint32_t bits = 1;
  while (value >>= 1) ++bits;
  return bits;
}

std::string atByte(const BitReader& bits) {
  return " (at byte " + std::to_string(kPackedHeaderBytes + bits.bytesUsed()) + ")";
}

Failure headerEnds(const BitReader& bits) { return damaged("the header of the compressed rows ends early" + atByte(bits)); }

// One column's packing: its kind, flags, bits of its lengths, and tree.
Status readColumn(BitReader& bits, uint32_t treeBits, PackedColumn& column) {
  uint32_t kind = 0, flags = 0, lengthBits = 0, tree = 0;
  if (!bits.take(5, kind) || !bits.take(6, flags) || !bits.take(5, lengthBits) || !bits.take(treeBits, tree)) {
    return headerEnds(bits);
  }
  if (kind > kLastKind) return damaged("a column packed in an unknown way (" + std::to_string(kind) + ")" + atByte(bits));
  column.kind = uint8_t(kind);
  column.flags = uint8_t(flags);
  column.lengthBits = uint8_t(lengthBits);
  column.tree = uint16_t(tree);
  return Ok{};
}

// The nodes of a tree: each a leaf (a 0 bit and its value) or a pointer
// (a 1 bit and the distance forward to a pair of nodes inside the tree).
Status readNodes(BitReader& bits, uint32_t count, uint32_t valueBits, uint32_t offsetBits, uint32_t lowest,
                 HuffmanTree& tree) {
  // Each node takes a bit at the least: a count the header cannot hold is damage.
  if (count > bits.bitsLeft()) return headerEnds(bits);
  tree.nodes.assign(count, 0);
  for (uint32_t i = 0; i < count; ++i) {
    bool pointer = false;
    uint32_t v = 0;
    if (!bits.bit(pointer) || !bits.take(pointer ? offsetBits : valueBits, v)) return headerEnds(bits);
    if (pointer) {
      // A pair starts at an even node, and both its nodes lie in the tree.
      if (v == 0 || (i + v) % 2 != 0 || uint64_t(i) + v + 1 >= count) {
        return damaged("a Huffman tree points outside itself" + atByte(bits));
      }
      tree.nodes[i] = uint16_t(v);
    } else {
      if (uint64_t(v) + lowest >= HuffmanTree::kLeaf) return damaged("a Huffman tree value out of range" + atByte(bits));
      tree.nodes[i] = uint16_t(HuffmanTree::kLeaf | (v + lowest));
    }
  }
  return Ok{};
}

// A tree of byte values (a 0 bit) or of distinct values (a 1 bit, its list
// of values following at the next byte).
Status readTree(ByteView streamBytes, BitReader& bits, HuffmanTree& tree) {
  bool distinct = false;
  uint32_t lowest = 0, elements = 0, listLength = 0, valueBits = 0, offsetBits = 0;
  if (!bits.bit(distinct)) return headerEnds(bits);
  const bool read = distinct ? bits.take(15, elements) && bits.take(16, listLength)
                             : bits.take(8, lowest) && bits.take(9, elements);
  if (!read || !bits.take(5, valueBits) || !bits.take(5, offsetBits)) return headerEnds(bits);
  if (elements == 0 || (!distinct && elements > kMaxByteValues)) {
    return damaged("a Huffman tree of " + std::to_string(elements) + " values" + atByte(bits));
  }
  Status nodes = readNodes(bits, elements * 2 - 2, valueBits, offsetBits, lowest, tree);
  if (!nodes) return nodes;
  bits.toByte();
  if (distinct) {
    const uint64_t at = bits.bytesUsed();
    if (!bits.skipBytes(listLength)) return headerEnds(bits);
    tree.values = streamBytes.sub(size_t(at), listLength).copy();
  }
  return Ok{};
}

// A length in a row's prefix: one byte below 254; 254 and two bytes; 255
// and four bytes (three in the first version of the format). The bytes it
// takes, 0 when they are not there.
uint32_t prefixLength(ByteView at, size_t offset, uint8_t version, uint64_t& length) {
  if (!at.has(offset, 1)) return 0;
  const uint8_t first = at[offset];
  const uint32_t bytes = first < kTwoByteLength ? 1 : first == kTwoByteLength ? 3 : version == 1 ? 4 : 5;
  if (!at.has(offset, bytes)) return 0;
  length = bytes == 1 ? first : bytes == 3 ? le16(at, offset + 1) : bytes == 4 ? le24(at, offset + 1) : le32(at, offset + 1);
  return bytes;
}

// ---- Rows

Failure bitsRunOut() { return damaged("the bits of a row run out"); }

// Follows the bits of one code from the tree's root to its leaf. The
// pointers were checked to stay inside the tree and to lead forward.
Status decodeValue(const HuffmanTree& tree, BitReader& bits, uint16_t& value) {
  if (tree.nodes.size() < 2) return damaged("a code of a Huffman tree that has none");
  size_t at = 0;
  while (true) {
    bool one = false;
    if (!bits.bit(one)) return bitsRunOut();
    const uint16_t node = tree.nodes[at + one];
    if (node & HuffmanTree::kLeaf) {
      value = uint16_t(node & ~HuffmanTree::kLeaf);
      return Ok{};
    }
    at += one + node;
  }
}

Status decodeBytes(const HuffmanTree& tree, BitReader& bits, uint8_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    uint16_t value = 0;
    Status decoded = decodeValue(tree, bits, value);
    if (!decoded) return decoded;
    out[i] = uint8_t(value);
  }
  return Ok{};
}

// A flag bit the packing of the column puts first.
Status flag(BitReader& bits, bool& set) { return bits.bit(set) ? Status(Ok{}) : Status(bitsRunOut()); }

Status count(BitReader& bits, uint32_t width, uint32_t& value) {
  return bits.take(width, value) ? Status(Ok{}) : Status(bitsRunOut());
}

// The bytes of the row image a column fills, and what it is packed with.
struct Target {
  const PackedColumn& column;
  const HuffmanTree& tree;
  uint8_t* out;
};

// Values kept without their leading or trailing spaces, or all spaces.
Status unpackSpaced(const Target& t, BitReader& bits) {
  const uint32_t length = t.column.length;
  bool set = false;
  if (t.column.flags & PackedFlag::SpaceFields) {
    if (Status s = flag(bits, set); !s) return s;
    if (set) {
      std::fill(t.out, t.out + length, ' ');
      return Ok{};
    }
    if (t.column.kind == PackedKind::Normal) return decodeBytes(t.tree, bits, t.out, length);
  }
  if (t.column.flags & PackedFlag::Selected) {
    if (Status s = flag(bits, set); !s) return s;
    if (!set) return decodeBytes(t.tree, bits, t.out, length);
  }
  uint32_t spaces = 0;
  if (Status s = count(bits, t.column.lengthBits, spaces); !s) return s;
  if (spaces > length) return damaged("more spaces than the column holds");
  if (t.column.kind == PackedKind::SkipEndSpace) {
    std::fill(t.out + length - spaces, t.out + length, ' ');
    return decodeBytes(t.tree, bits, t.out, length - spaces);
  }
  std::fill(t.out, t.out + spaces, ' ');
  return decodeBytes(t.tree, bits, t.out + spaces, length - spaces);
}

// Values whose last bytes are always zero (ZeroFill), or, skipping zeros,
// that may be all zero (a set bit).
Status unpackZeroed(const Target& t, BitReader& bits) {
  if (t.column.kind == PackedKind::SkipZero) {
    bool zero = false;
    if (Status s = flag(bits, zero); !s) return s;
    if (zero) return Ok{};  // the image is zero already
  }
  const uint32_t zeros = (t.column.flags & PackedFlag::ZeroFill) ? t.column.lengthBits : 0;
  if (zeros > t.column.length) return damaged("more zero bytes than the column holds");
  return decodeBytes(t.tree, bits, t.out, t.column.length - zeros);
}

// A value from the tree's list of distinct values.
Status unpackListed(const Target& t, BitReader& bits) {
  uint16_t index = 0;
  if (t.column.kind == PackedKind::Interval) {
    if (Status s = decodeValue(t.tree, bits, index); !s) return s;
  }
  const uint64_t from = uint64_t(index) * t.column.length;
  if (from + t.column.length > t.tree.values.size()) return damaged("a value past its tree's list of distinct values");
  std::copy_n(t.tree.values.data() + from, t.column.length, t.out);
  return Ok{};
}

// A little-endian length of `bytes` bytes; false when it does not fit.
bool storeLength(uint8_t* out, uint32_t bytes, uint64_t length) {
  if (bytes < 8 && (length >> (8 * bytes)) != 0) return false;
  for (uint32_t i = 0; i < bytes; ++i) out[i] = uint8_t(length >> (8 * i));
  return true;
}

Status unpackVarchar(const Target& t, BitReader& bits) {
  bool empty = false;
  if (Status s = flag(bits, empty); !s) return s;
  if (empty) return Ok{};
  const uint32_t lengthBytes = t.column.length <= kShortVarchar ? 1 : 2;
  uint32_t length = 0;
  if (Status s = count(bits, t.column.lengthBits, length); !s) return s;
  if (uint64_t(length) + lengthBytes > t.column.length) return damaged("a VARCHAR longer than its column");
  storeLength(t.out, lengthBytes, length);
  return decodeBytes(t.tree, bits, t.out + lengthBytes, length);
}

// A BLOB: its length goes into the row image, its bytes after those of the
// BLOBs before it in the row's own BLOB bytes. They grow a byte a code, so
// that a damaged length costs no more memory than the row has bits; the
// views are made once all are there.
Status unpackBlob(const Target& t, BitReader& bits, uint32_t offset, uint64_t blobLength, RowImage& image) {
  bool empty = false;
  if (Status s = flag(bits, empty); !s) return s;
  if (empty) return Ok{};
  uint32_t length = 0;
  if (Status s = count(bits, t.column.lengthBits, length); !s) return s;
  std::vector<uint8_t>& own = image.ownBlobBytes;
  if (length > blobLength - own.size()) return damaged("the BLOBs of a row are longer than the row says");
  if (!storeLength(t.out, t.column.length - kBlobPointerBytes, length)) return damaged("a BLOB longer than its column");
  for (uint32_t i = 0; i < length; ++i) {
    uint16_t value = 0;
    if (Status s = decodeValue(t.tree, bits, value); !s) return s;
    own.push_back(uint8_t(value));
  }
  image.blobs.emplace_back(offset, ByteView(nullptr, length));
  return Ok{};
}

bool usesTree(uint8_t kind) { return kind != PackedKind::Zero && kind != PackedKind::Check; }

Status unpackColumn(const Target& t, BitReader& bits, uint32_t offset, uint64_t blobLength, RowImage& image) {
  using namespace PackedKind;
  switch (t.column.kind) {
    case Normal:
      if (t.column.flags & PackedFlag::SpaceFields) return unpackSpaced(t, bits);
      return unpackZeroed(t, bits);
    case SkipZero: return unpackZeroed(t, bits);
    case SkipEndSpace:
    case SkipPreSpace: return unpackSpaced(t, bits);
    case Constant:
    case Interval: return unpackListed(t, bits);
    case Varchar: return unpackVarchar(t, bits);
    case Blob: return unpackBlob(t, bits, offset, blobLength, image);
    default: return Ok{};  // Zero, Check: the image is zero already
  }
}

// Checks what the layout of each column needs before any row is read.
Status checkColumn(const PackedColumn& c, size_t trees) {
  if (usesTree(c.kind) && c.tree >= trees) return damaged("packed with tree " + std::to_string(c.tree) + ", which the header does not have");
  if (c.kind == PackedKind::Varchar && c.length < 2) return damaged("a VARCHAR without room for its length");
  if (c.kind == PackedKind::Blob && (c.length <= kBlobPointerBytes || c.length > kBlobPointerBytes + 4)) {
    return damaged("a BLOB of " + std::to_string(c.length) + " bytes in the row");
  }
  return Ok{};
}

}  // namespace

bool startsPackedFile(ByteView first) { return first.has(0, 3) && std::equal(kMagic, kMagic + 3, first.data()); }

Result<PackedFileHeader> parsePackedHeader(ByteView first) {
  if (first.size() < kPackedHeaderBytes) return damaged("the data file ends inside the header of its compressed rows");
  PackedFileHeader h;
  h.version = first[3];
  h.headerLength = le32(first, 4);
  h.minPackLength = le32(first, 8);
  h.maxPackLength = le32(first, 12);
  h.elements = le32(first, 16);
  h.intervalLength = le32(first, 20);
  h.trees = le16(first, 24);
  h.refLength = first[26];
  if (h.headerLength < kPackedHeaderBytes) {
    return damaged("the header of the compressed rows says it is " + std::to_string(h.headerLength) + " bytes long");
  }
  if (h.minPackLength > h.maxPackLength) return damaged("the compressed rows' shortest length is above their longest");
  return h;
}

Result<PackedLayout> readPackedLayout(ByteView header, const MyisamState& state) {
  auto parsed = parsePackedHeader(header);
  if (!parsed) return parsed.failure();
  PackedLayout layout;
  layout.header = *parsed;
  if (header.size() < layout.header.headerLength) return damaged("the data file ends inside the header of its compressed rows");
  const ByteView stream = header.sub(kPackedHeaderBytes, layout.header.headerLength - kPackedHeaderBytes);
  BitReader bits(stream);
  const uint32_t trees = layout.header.trees;
  const uint32_t treeBits = bitsFor(trees ? trees - 1 : 0);
  for (const MyisamColumnDef& def : state.columnDefs) {
    PackedColumn column;
    if (Status s = readColumn(bits, treeBits, column); !s) return s.failure();
    column.length = def.length;
    layout.blobs |= def.type == MyisamColumnType::Blob;
    layout.columns.push_back(column);
  }
  bits.toByte();
  layout.trees.resize(trees);
  for (HuffmanTree& tree : layout.trees) {
    if (Status s = readTree(stream, bits, tree); !s) return s.failure();
  }
  for (size_t i = 0; i < layout.columns.size(); ++i) {
    if (Status s = checkColumn(layout.columns[i], trees); !s) {
      return s.failure().prefixed("the header's column " + std::to_string(i + 1) + ": ");
    }
  }
  return layout;
}

Result<PackedRowPrefix> readRowPrefix(ByteView at, const PackedLayout& layout) {
  PackedRowPrefix prefix;
  prefix.bytes = prefixLength(at, 0, layout.header.version, prefix.length);
  if (prefix.bytes == 0) return damaged("the data file ends inside a row's length");
  if (layout.blobs) {
    const uint32_t blobBytes = prefixLength(at, prefix.bytes, layout.header.version, prefix.blobLength);
    if (blobBytes == 0) return damaged("the data file ends inside a row's length");
    prefix.bytes += blobBytes;
  }
  if (prefix.length < layout.header.minPackLength || prefix.length > layout.header.maxPackLength) {
    return damaged("a row of " + std::to_string(prefix.length) + " bytes, outside the lengths of the table's rows");
  }
  // Every BLOB byte takes a bit of the row at the least.
  if (prefix.blobLength > prefix.length * 8) {
    return damaged("a row whose BLOBs are longer than its bits can hold");
  }
  return prefix;
}

Status unpackPackedRow(ByteView row, uint64_t blobLength, const PackedLayout& layout, RowImage& image) {
  uint32_t recordLength = 0;
  for (const PackedColumn& c : layout.columns) recordLength += c.length;
  image.bytes.assign(recordLength, 0);
  image.blobs.clear();
  image.ownBlobBytes.clear();
  static const HuffmanTree kNoTree;
  BitReader bits(row);
  uint32_t offset = 0;
  for (const PackedColumn& column : layout.columns) {
    const HuffmanTree& tree = usesTree(column.kind) ? layout.trees[column.tree] : kNoTree;
    Status s = unpackColumn({column, tree, image.bytes.data() + offset}, bits, offset, blobLength, image);
    if (!s) return s;
    offset += column.length;
  }
  // The server takes a row only when its bits end in its last byte.
  if (bits.bytesUsed() != row.size()) return damaged("a row's bits end before its length does");
  size_t at = 0;
  for (auto& blob : image.blobs) {
    blob.second = ByteView(image.ownBlobBytes.data() + at, blob.second.size());
    at += blob.second.size();
  }
  return Ok{};
}

}  // namespace tavrin
