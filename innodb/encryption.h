#pragma once
// Tablespaces encrypted at rest, which this tool does not decrypt: it only
// tells their pages apart, so that they are refused with that reason rather
// than taken for damage.
//
// MariaDB (10.1 on) describes a tablespace's encryption on its first page,
// after the extent descriptors and a FIL header's length more:
//   0 "s\x0e\x0cREt"   6 scheme (1: encrypted)   7 IV length   8 the IV
//   then the least key version (4), the key id (4) and the mode (1)
// and keeps the key version of an encrypted page in it (0: not encrypted):
// at byte 0 in the full_crc32 format, at byte 26 in the classic one.
// MySQL (5.7.11 on) gives an encrypted page a page type of its own.

#include <cstdint>

#include "base/bytes.h"

namespace tavrin {

inline constexpr const char* kEncryptedPageReason = "the page is encrypted, and this tool reads no encrypted tablespace";

// Whether the first page (`firstPage`) names an encryption scheme at
// `offset`; each page of such a tablespace still says whether it is encrypted.
bool namesEncryption(ByteView firstPage, size_t offset);

// Whether `raw`, a page as the file holds it, is encrypted.
bool isEncryptedPage(ByteView raw, bool spaceEncrypted, bool fullCrc32);

// The page types of MySQL's encrypted pages and of its own page compression
// (COMPRESSION=), which this tool does not read either.
inline constexpr uint16_t kMysqlCompressedPageType = 14;
bool isMysqlEncryptedPageType(uint16_t type);

}  // namespace tavrin
