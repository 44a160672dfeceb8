#pragma once
// Compressed MyISAM data files, as myisampack writes them: a header with the
// packing of each column and the Huffman trees, then the rows one after the
// other, each a length prefix and a bit stream.
//
// The header (little-endian):
//   offset  size  meaning
//        0     3  magic FE FE 08
//        3     1  version of the format (1: lengths of 4 bytes are 3)
//        4     4  bytes of the whole header, where the first row starts
//        8     4  shortest packed row
//       12     4  longest packed row
//       16     4  nodes of all trees
//       20     4  bytes of all lists of distinct values
//       24     2  trees
//       26     1  most bytes of a row's length prefix
//       27     1  bytes of a row pointer
//       28     4  zero
//       32        bit stream: per column its packing, then each tree
//
// A row: its length (1, 3 or 5 bytes), in a table with BLOBs the length of
// its BLOB bytes likewise, then that many bytes of bits.

#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"
#include "myisam/dynamic_row.h"
#include "myisam/myi_state.h"

namespace tavrin {

inline constexpr size_t kPackedHeaderBytes = 32;
// myisampack leaves this many zero bytes after the last row.
inline constexpr uint64_t kPackedTailBytes = 7;

// True when the data file starts as a compressed one does.
bool startsPackedFile(ByteView first);

struct PackedFileHeader {
  uint8_t version = 0;
  uint32_t headerLength = 0;
  uint32_t minPackLength = 0;
  uint32_t maxPackLength = 0;
  uint32_t elements = 0;
  uint32_t intervalLength = 0;
  uint16_t trees = 0;
  uint8_t refLength = 0;
};

// The header's fields; the magic is the caller's to check.
Result<PackedFileHeader> parsePackedHeader(ByteView first);

// How a column is packed (the server's en_fieldtype and pack_type bits).
namespace PackedKind {
inline constexpr uint8_t Normal = 0;
inline constexpr uint8_t SkipEndSpace = 1;
inline constexpr uint8_t SkipPreSpace = 2;
inline constexpr uint8_t SkipZero = 3;
inline constexpr uint8_t Blob = 4;
inline constexpr uint8_t Constant = 5;
inline constexpr uint8_t Interval = 6;
inline constexpr uint8_t Zero = 7;
inline constexpr uint8_t Varchar = 8;
inline constexpr uint8_t Check = 9;
}  // namespace PackedKind

namespace PackedFlag {
inline constexpr uint8_t Selected = 1;     // a bit says whether the spaces are counted
inline constexpr uint8_t SpaceFields = 2;  // a bit says the value is all spaces
inline constexpr uint8_t ZeroFill = 4;     // the last bytes are always zero
}  // namespace PackedFlag

// A Huffman tree: pairs of nodes, the first followed on a 0 bit, the second
// on a 1; a node is a leaf (kLeaf and a value) or the distance forward to
// the next pair. The values of a tree of distinct values index its list.
struct HuffmanTree {
  static constexpr uint16_t kLeaf = 0x8000;
  std::vector<uint16_t> nodes;
  std::vector<uint8_t> values;  // the list of distinct values, one after the other
};

struct PackedColumn {
  uint8_t kind = 0;
  uint8_t flags = 0;
  uint8_t lengthBits = 0;  // bits of a length or a count of spaces; with ZeroFill, the zero bytes
  uint16_t tree = 0;
  uint32_t length = 0;  // bytes in the row image
};

struct PackedLayout {
  PackedFileHeader header;
  std::vector<PackedColumn> columns;
  std::vector<HuffmanTree> trees;
  bool blobs = false;  // rows carry the length of their BLOB bytes
};

// The packing of the columns and the trees from the header's bytes; the
// columns are those the state describes.
Result<PackedLayout> readPackedLayout(ByteView header, const MyisamState& state);

// The prefix of a row: its length and that of its BLOB bytes.
struct PackedRowPrefix {
  uint32_t bytes = 0;  // of the prefix
  uint64_t length = 0;
  uint64_t blobLength = 0;
};

// The prefix at the start of `at`; fails when it does not fit.
Result<PackedRowPrefix> readRowPrefix(ByteView at, const PackedLayout& layout);

// Unpacks the bits of one row into the server's row image; its BLOB values
// go to `image.ownBlobBytes`.
Status unpackPackedRow(ByteView bits, uint64_t blobLength, const PackedLayout& layout, RowImage& image);

}  // namespace tavrin
