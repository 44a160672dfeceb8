#pragma once
// Index pages of the COMPRESSED row format (KEY_BLOCK_SIZE), turned back
// into the page the server's buffer pool holds, so that the record code reads
// them as any compact page; and the values kept apart on compressed BLOB
// pages.
//
// A compressed index page of `size` bytes:
//
//   offset              bytes     what
//   0                   94        FIL header and index page header, as on the full page
//   94                  ...       one zlib stream: the index's field list (its
//                                 first block), then the records in heap order
//                                 without their 5 fixed header bytes and
//                                 without what follows in the trailer
//   after the stream    ...       the modification log: records written since
//                                 the page was compressed, up to a 0 byte
//   ...                 20 each   BLOB references of the clustered leaf's records
//   ...                 13 each   DB_TRX_ID and DB_ROLL_PTR (clustered leaf), or
//                       4 each    the child page number (node page), per record
//                                 in heap order, growing down
//   size - 2 * n        2 each    the dense directory: per record its offset on
//                                 the full page, 0x4000 when it owns a slot,
//                                 0x8000 when delete-marked; the records in key
//                                 order, then those on the free list
//
// The field list gives for each field a code: 0-1 variable up to 255 bytes,
// 2-125 fixed of code/2 bytes, 126-127 variable longer than 255, 0x80 set: a
// second byte and fixed of (15 bits)/2; the low bit set for NOT NULL. Then
// the position of DB_TRX_ID (leaf) or the count of nullable fields (node).

#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"

namespace tavrin {

inline constexpr uint16_t kZblobPageType = 11;   // the first page of a compressed value kept apart
inline constexpr uint16_t kZblob2PageType = 12;  // the pages after it

// The full page of `logicalSize` bytes that the compressed index page `zip` holds.
Status decompressIndexPage(ByteView zip, uint32_t logicalSize, std::vector<uint8_t>& page);

// Appends to `value` the `length` bytes that one zlib stream spread over
// compressed BLOB pages inflates to, from `firstPage` on. Each page: its FIL
// header with the next page's number in its place (byte 12), then its part of
// the stream from byte 38; where a reference's `offset` is not 12, the first
// page keeps the next page's number there and its part after it.
class ZblobReader {
 public:
  virtual ~ZblobReader() = default;
  // The bytes of page `number`, or why not.
  virtual Result<ByteView> page(uint64_t number) = 0;
};
Status inflateZblob(ZblobReader& reader, uint64_t firstPage, uint32_t offset, uint64_t length,
                    std::vector<uint8_t>& value);

}  // namespace tavrin
