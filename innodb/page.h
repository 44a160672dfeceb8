#pragma once
// InnoDB tablespace files: the page grid, the file page header every page
// starts with, and the header of index pages.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/file.h"
#include "base/result.h"
#include "innodb/encryption.h"
#include "innodb/page_checksum.h"
#include "innodb/page_compression.h"

namespace tavrin {

inline constexpr uint32_t kNoPage = 0xFFFFFFFF;
// No index tree is deeper; a walk down that goes further is on damaged pages.
inline constexpr int kMaxIndexTreeDepth = 64;
inline constexpr uint16_t kIndexPageType = 17855;  // 0x45BF
inline constexpr uint16_t kBlobPageType = 10;
// The root of a clustered index after columns were added or dropped in place (MariaDB 10.3 on).
inline constexpr uint16_t kInstantRootPageType = 18;
inline constexpr size_t kFilHeaderSize = 38;
inline constexpr size_t kFilTrailerSize = 8;

// Extents and their descriptors, which follow the space header on the first
// page and on every page of a multiple of the physical page size.
inline constexpr size_t kExtentDescriptorsOffset = 150;
inline constexpr size_t kExtentDescriptorBitmapOffset = 24;  // 2 bits a page after it
// Pages in an extent: 1 MiB of pages up to 16 KiB pages, 64 above.
inline uint32_t extentPages(uint32_t pageSize) { return pageSize <= 16384 ? (1u << 20) / pageSize : 64; }
inline size_t extentDescriptorSize(uint32_t pageSize) {
  return kExtentDescriptorBitmapOffset + extentPages(pageSize) * 2 / 8;
}
// Where the descriptors end: one for each extent that a descriptor page's
// run of pages (its physical size in number) holds.
inline size_t extentDescriptorsEnd(uint32_t pageSize, uint32_t physicalSize) {
  return kExtentDescriptorsOffset + extentDescriptorSize(pageSize) * (physicalSize / extentPages(pageSize));
}

// The FIL header every page starts with, as fil0fil.h names its fields:
//   0 FIL_PAGE_SPACE_OR_CHKSUM (4)   4 FIL_PAGE_OFFSET (4)   8 FIL_PAGE_PREV (4)
//   12 FIL_PAGE_NEXT (4)   16 FIL_PAGE_LSN (8)   24 FIL_PAGE_TYPE (2)
//   26 FIL_PAGE_FILE_FLUSH_LSN (8)   34 FIL_PAGE_SPACE_ID (4)
inline constexpr size_t FIL_PAGE_SPACE_OR_CHKSUM = 0;
inline constexpr size_t FIL_PAGE_OFFSET = 4;
inline constexpr size_t FIL_PAGE_PREV = 8;
inline constexpr size_t FIL_PAGE_NEXT = 12;
inline constexpr size_t FIL_PAGE_LSN = 16;
inline constexpr size_t FIL_PAGE_TYPE = 24;
inline constexpr size_t FIL_PAGE_FILE_FLUSH_LSN = 26;
inline constexpr size_t FIL_PAGE_SPACE_ID = 34;
struct FilHeader {
  uint32_t checksum = 0;
  uint32_t pageNumber = 0;
  uint32_t previousPage = kNoPage;
  uint32_t nextPage = kNoPage;
  uint64_t lsn = 0;
  uint16_t pageType = 0;
  uint64_t flushLsn = 0;
  uint32_t spaceId = 0;
};

FilHeader decodeFilHeader(ByteView page);

// The header of an index page, after the FIL header (PAGE_HEADER), as
// page0page.h names its fields:
//   0 PAGE_N_DIR_SLOTS (2)   2 PAGE_HEAP_TOP (2)   4 PAGE_N_HEAP (2; the top
//   bit marks the compact format)   6 PAGE_FREE (2)   8 PAGE_GARBAGE (2)
//   10 PAGE_LAST_INSERT (2)   12 PAGE_DIRECTION (2; MariaDB's instant root
//   keeps its core fields in the high 13 bits)   14 PAGE_N_DIRECTION (2)
//   16 PAGE_N_RECS (2)   18 PAGE_MAX_TRX_ID (8)   26 PAGE_LEVEL (2)
//   28 PAGE_INDEX_ID (8)
inline constexpr size_t PAGE_HEADER = kFilHeaderSize;
inline constexpr size_t PAGE_N_DIR_SLOTS = 0;
inline constexpr size_t PAGE_HEAP_TOP = 2;
inline constexpr size_t PAGE_N_HEAP = 4;
inline constexpr size_t PAGE_DIRECTION = 12;
inline constexpr size_t PAGE_N_RECS = 16;
inline constexpr size_t PAGE_MAX_TRX_ID = 18;
inline constexpr size_t PAGE_LEVEL = 26;
inline constexpr size_t PAGE_INDEX_ID = 28;
struct IndexPageHeader {
  uint16_t directorySlots = 0;
  uint16_t heapTop = 0;
  uint16_t heapRecords = 0;  // without the compact-format bit
  bool compact = false;      // the page holds records in the compact format
  uint16_t recordCount = 0;
  // PAGE_MAX_TRX_ID; on the root of a clustered index MariaDB (10.2.4 on)
  // keeps the table's AUTO_INCREMENT counter here instead, and others 0.
  uint64_t maxTransactionId = 0;
  uint16_t level = 0;        // 0 for a leaf
  uint64_t indexId = 0;
  // On the root of a table altered in place (page type kInstantRootPageType):
  // the fields every record holds.
  uint16_t instantCoreFields = 0;
};

IndexPageHeader decodeIndexPageHeader(ByteView page);

// FIL_PAGE_TYPE_FSP_HDR: the first page of every tablespace describes its space.
inline constexpr uint16_t kSpaceHeaderPageType = 8;

// The file space header of page 0, after its FIL header (FSP_HEADER_OFFSET):
//   0 FSP_SPACE_ID (4)   4 FSP_NOT_USED (4)   8 FSP_SIZE (4, in pages of the
//   physical size)   12 FSP_FREE_LIMIT (4)   16 FSP_SPACE_FLAGS (4)
struct FspHeader {
  uint32_t spaceId = 0;
  uint32_t size = 0;
  uint32_t freeLimit = 0;
  uint32_t flags = 0;
};

FspHeader decodeFspHeader(ByteView firstPage);

// Where a page was read and for what: the tablespace (unknown where neither
// its first page nor the pages after it tell), the page's place in it, and
// the index being read (0: any).
struct PageOwner {
  std::optional<uint32_t> spaceId;
  uint64_t pageNumber = 0;
  uint64_t indexId = 0;
};

// Whether the page says it is the one `owner` expects: its FIL_PAGE_SPACE_ID,
// its FIL_PAGE_OFFSET and, on an index page, its PAGE_INDEX_ID. A page copied
// in from elsewhere is damage, with what it claims: "page 3 belongs to
// tablespace 17, index 35". A page whose FIL header is all zero was never
// written and claims nothing. Whole disks are scanned by this test too, so it
// reads nothing but the page.
Status checkPageOwner(ByteView page, const PageOwner& owner);

// An open tablespace file (read-only) and its page size, taken from the
// flags of its first page, or from the pages after it when the first page is
// damaged. In a compressed tablespace the file's pages are of the physical
// size; index pages are handed out decompressed to the logical size, other
// pages as they are. Pages compressed whole (PAGE_COMPRESSED) are handed out
// inflated. A page that says it belongs to another tablespace or place is
// not handed out.
// Where a page of a tablespace was found in another file (a disk image, a
// carved blob): its offset, and the 4 KiB blocks of zeros a sparse copy left
// out of it (bit b: block b).
struct FoundPage {
  uint64_t offset = 0;
  uint8_t zeroBlocks = 0;
};

class Tablespace {
 public:
  static Result<Tablespace> open(const std::string& path);
  // The pages of a tablespace found in `file`, by page number; every other
  // page of it is missing.
  static Tablespace ofFoundPages(ReadOnlyFile file, uint32_t spaceId, uint32_t pageSize, bool fullCrc32,
                                 std::map<uint64_t, FoundPage> pages);

  const std::string& path() const { return file_.path(); }
  // Page `number` of this file, where a failure or damage lies.
  Place placeOf(uint64_t number) const { return tavrin::atPage(path(), number); }
  uint32_t pageSize() const { return pageSize_; }
  uint32_t physicalPageSize() const { return physicalSize_; }
  uint64_t pageCount() const;
  // The pages a scan of the whole space visits: up to where the space header
  // says the space ends (FSP_SIZE) when page 0 is sound, else the file's.
  uint64_t spacePages() const;
  // The next run of pages [first, end) at or after `from`, below
  // spacePages(), that the file holds data for: the holes of a sparse file
  // are passed by. first == end when none is left.
  struct PageRun {
    uint64_t first = 0;
    uint64_t end = 0;
  };
  PageRun dataPages(uint64_t from) const;
  // FSP_SPACE_ID of a sound page 0, else the id most pages after it carry.
  std::optional<uint32_t> spaceId() const { return spaceId_; }
  // Why page 0 is not believed and how the pages were read instead ("FILE
  // page 0: ..."), where it is damaged.
  const std::optional<Failure>& firstPageDamage() const { return firstPageDamage_; }
  // Compressed pages (KEY_BLOCK_SIZE) are smaller than the logical page.
  bool isCompressed() const { return compressed_; }
  // MariaDB's full_crc32 format: one checksum over the whole page.
  bool fullCrc32() const { return fullCrc32_; }

  // Page `number` into `buffer`; fails past the last page, on a short read,
  // on a compressed page that does not decompress, on an encrypted page and
  // on a page of another tablespace or place.
  Status readPage(uint64_t number, std::vector<uint8_t>& buffer) const;
  // The first `bytes` of page `number`: its headers, for scans of the whole file.
  Status readPageStart(uint64_t number, size_t bytes, std::vector<uint8_t>& buffer) const;
  // The checksum of page `number`, which `page` holds as readPage gave it;
  // that of a compressed tablespace is over the page as it is in the file.
  PageChecksum checksum(uint64_t number, ByteView page) const;

 private:
  explicit Tablespace(ReadOnlyFile file) : file_(std::move(file)) {}
  ReadOnlyFile file_;
  Status readRaw(uint64_t number, size_t bytes, std::vector<uint8_t>& buffer) const;
  Status readFound(uint64_t number, size_t bytes, std::vector<uint8_t>& buffer) const;
  // `status`, its reason after "FILE page N: " when it failed.
  Status atPage(uint64_t number, Status status) const;
  // Whether `page`, as handed out, says it is page `number` of this space.
  Status owned(uint64_t number, ByteView page) const;
  uint32_t pageSize_ = 16384;
  uint32_t physicalSize_ = 16384;
  std::optional<uint32_t> spaceId_;
  std::optional<uint32_t> spaceSize_;  // FSP_SIZE of a sound page 0
  std::optional<Failure> firstPageDamage_;
  bool compressed_ = false;
  bool fullCrc32_ = false;
  PageCompression pageCompression_;
  bool encrypted_ = false;  // the first page names an encryption scheme
  std::map<uint64_t, FoundPage> found_;  // for a tablespace of found pages
};

// The page size and compression that the flags of a tablespace's first page
// give, for both the classic and MariaDB's full_crc32 layout of the flags.
struct SpaceFlags {
  uint32_t pageSize = 16384;
  uint32_t physicalSize = 16384;  // KEY_BLOCK_SIZE when compressed
  bool compressed = false;
  bool fullCrc32 = false;
  uint32_t pageCompression = 0;  // the algorithm of PAGE_COMPRESSED, in full_crc32 flags only
};
SpaceFlags decodeSpaceFlags(uint32_t flags);

}  // namespace tavrin
