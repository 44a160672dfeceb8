#pragma once
// Dynamic-format MyISAM data files: the headers of the blocks that hold the
// rows, and the unpacking of a reassembled row into the server's row image.

#include <cstdint>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"
#include "myisam/myi_state.h"

namespace tavrin {

inline constexpr size_t kBlockHeaderBytes = 20;

namespace BlockFlag {
inline constexpr uint32_t First = 0x01;  // starts a row
inline constexpr uint32_t Last = 0x02;   // ends a row
inline constexpr uint32_t Deleted = 0x04;
inline constexpr uint32_t Invalid = 0x08;  // no block of the format
}  // namespace BlockFlag

struct BlockInfo {
  uint8_t type = 0;
  uint32_t recordLength = 0;  // the whole row (blocks that start one)
  uint32_t dataLength = 0;    // row bytes in this block
  uint32_t blockLength = 0;   // after the header: row bytes and spare bytes; a deleted block: all of it
  uint32_t headerLength = 0;
  uint64_t nextPosition = 0;  // the row's next block (blocks that have one)
  bool hasNext = false;
};

// Decodes the header at the start of a block (up to 20 bytes) and returns
// its BlockFlag bits.
uint32_t decodeBlockHeader(ByteView header, BlockInfo& info);

// A row in the server's row image, with its BLOB values apart (by their
// offset in the image).
struct RowImage {
  std::vector<uint8_t> bytes;
  std::vector<std::pair<uint32_t, ByteView>> blobs;  // views into the packed row, or into ownBlobBytes
  std::vector<uint8_t> ownBlobBytes;  // the BLOB bytes of a compressed row, unpacked
};

// Unpacks a reassembled packed row; fails when its columns do not fit.
Status unpackDynamicRow(ByteView packed, const MyisamState& state, RowImage& image);

}  // namespace tavrin
