#pragma once
// Values kept apart from their records on pages of their own, in both
// layouts: the chain of BLOB pages (every server before MySQL 8, and MySQL
// 8's SDI records), and MySQL 8's large objects, whose first page indexes
// the pages that hold the value.
//
// The 20-byte reference at the end of a field kept apart (btr0cur.h's names):
//   0 BTR_EXTERN_SPACE_ID (4)   4 BTR_EXTERN_PAGE_NO (4)   8 BTR_EXTERN_OFFSET
//   (4; MySQL 8: a version)   12 BTR_EXTERN_LEN (8; the top bits of byte 12 are
//   flags, the server reads the low 4 bytes)
//
// A page of the chain, from the offset (then from byte 38 on the next pages):
//   0 bytes of the value on this page (4)   4 next page (4)   8 the bytes
//
// MySQL 8's first page of a large object (type 24):
//   54 bytes of the value on this page (4)   64 the list of index entries
//   (length 4, first 6, last 6)   96 ten index entries   696 the bytes
// An index entry (on the first page or on index pages, type 22):
//   0 previous (page 4, offset 2)   6 next (page 4, offset 2)   48 page (4)
//   52 bytes of the value on that page (2)
// A data page (type 23): 39 bytes of the value on it (4)   49 the bytes

#include <cstdint>
#include <functional>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"
#include "innodb/page.h"

namespace tavrin {

inline constexpr size_t kExternalReferenceSize = 20;  // BTR_EXTERN_FIELD_REF_SIZE
inline constexpr size_t BTR_EXTERN_PAGE_NO = 4;
inline constexpr size_t BTR_EXTERN_OFFSET = 8;
inline constexpr size_t BTR_EXTERN_LEN = 12;
inline constexpr uint16_t kLobFirstPageType = 24;

struct ExternalReference {
  uint32_t page = kNoPage;
  uint32_t offset = 0;
  uint64_t length = 0;
};

// The reference in the last 20 bytes of a field kept apart.
ExternalReference decodeExternalReference(ByteView field);

// Hears of each page read whose checksum fails (the value is read all the same).
using PageCheck = std::function<void(uint64_t page)>;

// Appends the `length` bytes of the value kept apart at `ref` to `value`;
// `page` is room for one page. Pages that loop, leave the file or hold
// less than the reference promises end the read with a reason.
Status readExternalValue(const Tablespace& space, const ExternalReference& ref, std::vector<uint8_t>& value,
                         std::vector<uint8_t>& page, const PageCheck& checkFailed = {});

}  // namespace tavrin
