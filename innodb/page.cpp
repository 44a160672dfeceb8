#include "innodb/page.h"

#include <algorithm>

#include "innodb/page_carver.h"
#include "innodb/page_zip.h"
#include "innodb/space_geometry.h"

namespace tavrin {

namespace {
constexpr uint32_t kMinPageSize = 4096;

// Pages this tool cannot turn into plain ones, with the reason.
Status refusedPage(ByteView raw, uint64_t number, bool spaceEncrypted, bool fullCrc32) {
  // The first page is never encrypted; in ibdata1 its key version's bytes hold the flush LSN.
  if (number != 0 && isEncryptedPage(raw, spaceEncrypted, fullCrc32)) return unsupported(kEncryptedPageReason);
  if (decodeFilHeader(raw).pageType == kMysqlCompressedPageType) {
    return unsupported("the page is compressed by MySQL's page compression (COMPRESSION=), which this tool does not read");
  }
  return Ok{};
}
}  // namespace

FilHeader decodeFilHeader(ByteView p) {
  FilHeader h;
  h.checksum = be32(p, FIL_PAGE_SPACE_OR_CHKSUM);
  h.pageNumber = be32(p, FIL_PAGE_OFFSET);
  h.previousPage = be32(p, FIL_PAGE_PREV);
  h.nextPage = be32(p, FIL_PAGE_NEXT);
  h.lsn = be64(p, FIL_PAGE_LSN);
  h.pageType = be16(p, FIL_PAGE_TYPE);
  h.flushLsn = be64(p, FIL_PAGE_FILE_FLUSH_LSN);
  h.spaceId = be32(p, FIL_PAGE_SPACE_ID);
  return h;
}

IndexPageHeader decodeIndexPageHeader(ByteView p) {
  const ByteView header = p.sub(PAGE_HEADER);
  IndexPageHeader h;
  h.directorySlots = be16(header, PAGE_N_DIR_SLOTS);
  h.heapTop = be16(header, PAGE_HEAP_TOP);
  const uint16_t heap = be16(header, PAGE_N_HEAP);
  h.heapRecords = heap & 0x7FFF;
  h.compact = heap & 0x8000;
  h.recordCount = be16(header, PAGE_N_RECS);
  h.maxTransactionId = be64(header, PAGE_MAX_TRX_ID);
  h.level = be16(header, PAGE_LEVEL);
  h.indexId = be64(header, PAGE_INDEX_ID);
  h.instantCoreFields = be16(header, PAGE_DIRECTION) >> 3;
  return h;
}

SpaceFlags decodeSpaceFlags(uint32_t flags) {
  SpaceFlags f;
  uint32_t shift = 0;
  if (flags & 0x10) {
    // full_crc32: the page size in bits 0-3, the algorithm of page compression
    // in bits 5-7; no compressed (KEY_BLOCK_SIZE) pages.
    shift = flags & 0xF;
    f.fullCrc32 = true;
    f.pageCompression = (flags >> 5) & 0x7;
  } else {
    shift = (flags >> 6) & 0xF;  // 0 means the default 16 KiB
  }
  if (shift >= 3 && shift <= 7) f.pageSize = 512u << shift;
  f.physicalSize = f.pageSize;
  const uint32_t zipShift = f.fullCrc32 ? 0 : (flags >> 1) & 0xF;
  if (zipShift != 0) {
    f.compressed = true;
    if (zipShift <= 5) f.physicalSize = std::min(f.pageSize, 512u << zipShift);
  }
  return f;
}

FspHeader decodeFspHeader(ByteView p) {
  FspHeader h;
  h.spaceId = be32(p, kFilHeaderSize);
  h.size = be32(p, kFilHeaderSize + 8);
  h.freeLimit = be32(p, kFilHeaderSize + 12);
  h.flags = be32(p, kFilHeaderSize + 16);
  return h;
}

Status checkPageOwner(ByteView page, const PageOwner& owner) {
  if (isAllZero(page.sub(0, kFilHeaderSize))) return Ok{};
  const FilHeader file = decodeFilHeader(page);
  const bool indexPage = file.pageType == kIndexPageType || file.pageType == kInstantRootPageType;
  const uint64_t index = indexPage ? decodeIndexPageHeader(page).indexId : 0;
  const bool here = file.pageNumber == owner.pageNumber;
  const bool ourSpace = !owner.spaceId || file.spaceId == *owner.spaceId;
  const bool ourIndex = owner.indexId == 0 || !indexPage || index == owner.indexId;
  if (here && ourSpace && ourIndex) return Ok{};
  const std::string claim = "tablespace " + std::to_string(file.spaceId) + (indexPage ? ", index " + std::to_string(index) : "");
  const std::string where = "page " + std::to_string(owner.pageNumber);
  if (here) return damaged(where + " belongs to " + claim);
  return damaged(where + " holds page " + std::to_string(file.pageNumber) + " of " + claim);
}

Result<Tablespace> Tablespace::open(const std::string& path) {
  auto file = ReadOnlyFile::open(path);
  if (!file) return file.failure();
  Tablespace space(std::move(*file));
  std::vector<uint8_t> first = space.file_.readAt(0, kMinPageSize);
  if (first.size() < kMinPageSize) return damaged(path + " is too short for a tablespace");
  first = space.file_.readAt(0, decodeSpaceFlags(decodeFspHeader(ByteView(first)).flags).physicalSize);
  SpaceGeometry geometry = firstPageGeometry(ByteView(first));
  if (!geometry.damage) {
    space.encrypted_ = namesEncryption(ByteView(first), kFilHeaderSize + extentDescriptorsEnd(geometry.flags.pageSize,
                                                                                               geometry.flags.physicalSize));
  } else {
    geometry = guessGeometry(ByteView(space.file_.readAt(0, kProbeBytes)), geometry);
    space.firstPageDamage_ = geometry.damage->at(space.placeOf(0));
  }
  const SpaceFlags& flags = geometry.flags;
  space.pageSize_ = flags.pageSize;
  space.physicalSize_ = flags.physicalSize;
  space.compressed_ = flags.compressed;
  space.fullCrc32_ = flags.fullCrc32;
  space.pageCompression_ = {flags.fullCrc32, flags.pageCompression};
  space.spaceId_ = geometry.spaceId;
  space.spaceSize_ = geometry.size;
  return space;
}

Tablespace Tablespace::ofFoundPages(ReadOnlyFile file, uint32_t spaceId, uint32_t pageSize, bool fullCrc32,
                                    std::map<uint64_t, FoundPage> pages) {
  Tablespace space(std::move(file));
  space.pageSize_ = space.physicalSize_ = pageSize;
  space.fullCrc32_ = fullCrc32;
  space.pageCompression_ = {fullCrc32, 0};
  space.spaceId_ = spaceId;
  space.found_ = std::move(pages);
  return space;
}

uint64_t Tablespace::pageCount() const {
  if (!found_.empty()) return found_.rbegin()->first + 1;
  return file_.size() / physicalSize_;
}

uint64_t Tablespace::spacePages() const {
  return spaceSize_ ? std::min<uint64_t>(*spaceSize_, pageCount()) : pageCount();
}

Tablespace::PageRun Tablespace::dataPages(uint64_t from) const {
  const uint64_t end = spacePages();
  if (from >= end) return {end, end};
  if (!found_.empty()) {
    auto page = found_.lower_bound(from);
    if (page == found_.end()) return {end, end};
    const uint64_t first = page->first;
    uint64_t last = first;
    while (++page != found_.end() && page->first == last + 1) ++last;
    return {first, last + 1};
  }
  const ReadOnlyFile::Run run = file_.dataFrom(from * physicalSize_);
  // A page is visited when any of its bytes are data.
  const uint64_t first = std::max(from, run.start / physicalSize_);
  return {std::min(first, end), std::min((run.end + physicalSize_ - 1) / physicalSize_, end)};
}

Status Tablespace::owned(uint64_t number, ByteView page) const {
  if (Status owner = checkPageOwner(page, {spaceId_, number, 0}); !owner) return owner.failure().prefixed(path() + " ");
  return Ok{};
}

Status Tablespace::readPage(uint64_t number, std::vector<uint8_t>& buffer) const {
  if (Status read = readRaw(number, physicalSize_, buffer); !read) return read;
  const ByteView raw(buffer);
  if (Status plain = refusedPage(raw, number, encrypted_, fullCrc32_); !plain) return atPage(number, plain);
  std::vector<uint8_t> page;
  if (isPageCompressed(raw, pageCompression_)) {
    if (Status inflated = inflateCompressedPage(raw, pageSize_, pageCompression_, page); !inflated) {
      return atPage(number, inflated);
    }
  } else {
    const uint16_t type = decodeFilHeader(raw).pageType;
    if (!compressed_ || (type != kIndexPageType && type != kInstantRootPageType)) return owned(number, raw);
    if (Status unzipped = decompressIndexPage(raw, pageSize_, page); !unzipped) return atPage(number, unzipped);
  }
  buffer = std::move(page);
  return owned(number, ByteView(buffer));
}

Status Tablespace::atPage(uint64_t number, Status status) const {
  if (status) return status;
  return status.failure().at(placeOf(number));
}

Status Tablespace::readPageStart(uint64_t number, size_t bytes, std::vector<uint8_t>& buffer) const {
  // The records of a compressed page start in its stream: the whole page is needed.
  if (!compressed_) {
    if (Status read = readRaw(number, bytes, buffer); !read) return read;
    const ByteView start(buffer);
    if (!isPageCompressed(start, pageCompression_) && refusedPage(start, number, encrypted_, fullCrc32_)) {
      return owned(number, start);
    }
  }
  if (Status read = readPage(number, buffer); !read) return read;
  if (buffer.size() > bytes) buffer.resize(bytes);
  return Ok{};
}

Status Tablespace::readRaw(uint64_t number, size_t bytes, std::vector<uint8_t>& buffer) const {
  if (number >= pageCount()) {
    return damaged("page " + std::to_string(number) + " is past the end of " + file_.path());
  }
  bytes = std::min<size_t>(bytes, physicalSize_);
  if (!found_.empty()) return readFound(number, bytes, buffer);
  buffer.resize(bytes);
  if (file_.readAt(number * physicalSize_, buffer.data(), bytes) != bytes) {
    return ioFailure("cannot read page " + std::to_string(number) + " of " + file_.path());
  }
  return Ok{};
}

Status Tablespace::readFound(uint64_t number, size_t bytes, std::vector<uint8_t>& buffer) const {
  const auto page = found_.find(number);
  if (page == found_.end()) return missing("page " + std::to_string(number) + " was not found in " + file_.path());
  buffer = readCarvedPage(file_, {page->second.offset, physicalSize_, page->second.zeroBlocks});
  if (buffer.size() != physicalSize_) return ioFailure("cannot read page " + std::to_string(number) + " of " + file_.path());
  buffer.resize(bytes);
  return Ok{};
}

PageChecksum Tablespace::checksum(uint64_t number, ByteView page) const {
  std::vector<uint8_t> raw;
  if (pageCompression_.algorithm != 0) {
    // A page compressed whole in full_crc32 carries its checksum as written.
    if (!readRaw(number, physicalSize_, raw)) return PageChecksum::Mismatch;
    if (isPageCompressed(ByteView(raw), pageCompression_)) return checkFullCrc32CompressedPage(ByteView(raw), pageSize_);
  }
  if (!compressed_) return checkPageChecksum(page, fullCrc32_);
  if (!readRaw(number, physicalSize_, raw)) return PageChecksum::Mismatch;
  return checkCompressedPageChecksum(ByteView(raw));
}

}  // namespace tavrin
