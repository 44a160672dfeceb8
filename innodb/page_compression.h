#pragma once
// MariaDB's page compression (PAGE_COMPRESSED=1, from 10.1 on): a page is
// deflated whole and written short at its place in the file, the rest of its
// room left as a hole. The first page, the extent descriptors and pages that
// would not shrink are written as they are, so a tablespace mixes both.
//
// Tablespaces of the classic format mark such a page by its type:
//   0 0xDEADBEEF (no checksum)   4..25 the page's FIL header   26 six zero bytes
//   32 algorithm (2)   34 space id (4)   38 length of the stream (2)   40 the stream
// In MariaDB's full_crc32 format the tablespace's flags name the algorithm,
// and the type field holds 0x8000 | (bytes written / 256):
//   0..23 the page's FIL header   24 that type (2)   26 the stream
//   ... CRC-32C of everything before it, in the last 4 of the bytes written
// Either way the stream inflates to the whole page, FIL header included.

#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"
#include "innodb/page_checksum.h"

namespace tavrin {

inline constexpr uint16_t kPageCompressedType = 34354;
inline constexpr uint16_t kPageCompressedEncryptedType = 37401;
// The algorithm numbers the server writes; only zlib is read.
inline constexpr uint32_t kPageCompressionZlib = 1;

// How a tablespace's pages may be compressed: its format and, in full_crc32,
// the algorithm its flags name (0: none).
struct PageCompression {
  bool fullCrc32 = false;
  uint32_t algorithm = 0;
};

// Whether `raw`, a page as it is in the file (its first 26 bytes at least),
// is compressed or compressed and encrypted this way.
bool isPageCompressed(ByteView raw, PageCompression space);

// The page of `pageSize` bytes that the compressed page `raw` inflates to.
Status inflateCompressedPage(ByteView raw, uint32_t pageSize, PageCompression space, std::vector<uint8_t>& page);

// The checksum of a full_crc32 compressed page, over the bytes written. (A
// classic one keeps none; the page it inflates to carries its own.)
PageChecksum checkFullCrc32CompressedPage(ByteView raw, uint32_t pageSize);

}  // namespace tavrin
