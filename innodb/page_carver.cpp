#include "innodb/page_carver.h"

#include <algorithm>

#include "innodb/page.h"
#include "innodb/page_checksum.h"
#include "innodb/records.h"

namespace tavrin {

namespace {

constexpr uint32_t kStep = 512;
constexpr uint32_t kPageSizes[] = {16384, 4096, 8192, 32768, 65536};
constexpr uint32_t kLargestPage = 65536;
constexpr size_t kBlockBytes = 8u << 20;
constexpr uint16_t kMaxLevel = 32;

// The low half of the LSN at the page's start, and its copy at the end:
// the last 4 bytes in the classic format, the 4 before the checksum in full_crc32.
bool lsnCopiesAgree(ByteView page, uint32_t size, bool& fullCrc32) {
  const uint32_t low = be32(page, FIL_PAGE_LSN + 4);
  if (be32(page, size - 4) == low) {
    fullCrc32 = false;
    return true;
  }
  fullCrc32 = be32(page, size - kFilTrailerSize) == low;
  return fullCrc32;
}

constexpr uint32_t kHoleBlock = 4096;
constexpr uint32_t kSparsePage = 16384;
constexpr uint32_t kSparseBlocks = kSparsePage / kHoleBlock;

// A page of `kSparsePage` put together from the blocks stored from `bytes`
// on, with zeros for the blocks `holes` names; empty when they run short.
std::vector<uint8_t> withHoles(ByteView bytes, uint8_t holes) {
  std::vector<uint8_t> page(kSparsePage, 0);
  size_t stored = 0;
  for (uint32_t b = 0; b < kSparseBlocks; ++b) {
    if (holes & (1u << b)) continue;
    if (!bytes.has(stored, kHoleBlock)) return {};
    std::copy_n(bytes.data() + stored, kHoleBlock, page.data() + b * kHoleBlock);
    stored += kHoleBlock;
  }
  return page;
}

struct Found {
  uint32_t size = 0;         // of the page
  uint32_t stored = 0;       // bytes of the file it takes
  uint8_t zeroBlocks = 0;
};

// The sound index page that starts `bytes`, if one does; the page of 16 KiB
// also with its zero blocks left out, as sparse copies store it.
Found soundPageAt(ByteView bytes, std::vector<uint8_t>& rebuilt) {
  if (!bytes.has(0, FIL_PAGE_TYPE + 2) || be16(bytes, FIL_PAGE_TYPE) != kIndexPageType) return {};
  for (const uint32_t size : kPageSizes) {
    if (bytes.size() >= size && isSoundIndexPage(bytes.sub(0, size), size)) return {size, size, 0};
  }
  // The first block holds the header, never all zeros.
  for (uint8_t holes = 2; holes < (1u << kSparseBlocks); holes += 2) {
    rebuilt = withHoles(bytes, holes);
    if (!rebuilt.empty() && isSoundIndexPage(ByteView(rebuilt), kSparsePage)) {
      const uint32_t missing = uint32_t(__builtin_popcount(holes));
      return {kSparsePage, kSparsePage - missing * kHoleBlock, holes};
    }
  }
  return {};
}

}  // namespace

size_t CarvedIndex::leaves() const {
  return size_t(std::count_if(pages.begin(), pages.end(), [](const auto& p) { return p.second.level == 0; }));
}

uint64_t CarvedIndex::records() const {
  uint64_t n = 0;
  for (const auto& [number, page] : pages) n += page.level == 0 ? page.records : 0;
  return n;
}

bool isSoundIndexPage(ByteView bytes, uint32_t size) {
  if (bytes.size() < size || be16(bytes, FIL_PAGE_TYPE) != kIndexPageType) return false;
  const ByteView page = bytes.sub(0, size);
  bool fullCrc32 = false;
  if (!lsnCopiesAgree(page, size, fullCrc32)) return false;
  if (checkPageChecksum(page, fullCrc32) != PageChecksum::Sound) return false;
  const IndexPageHeader header = decodeIndexPageHeader(page);
  if (header.level > kMaxLevel || header.heapTop > size) return false;
  return hasInfimum(header.compact ? RecordFormat::Compact : RecordFormat::Redundant, page);
}

std::vector<uint8_t> readCarvedPage(const ReadOnlyFile& file, const CarvedPage& page) {
  if (page.zeroBlocks == 0) return file.readAt(page.offset, page.size);
  const std::vector<uint8_t> stored = file.readAt(page.offset, page.size);
  return withHoles(ByteView(stored), page.zeroBlocks);
}

CarveResult carveIndexPages(const ReadOnlyFile& file, const std::atomic<bool>& stop, const CarveProgress& progress) {
  CarveResult result;
  std::vector<uint8_t> block(std::min<uint64_t>(kBlockBytes + kLargestPage, file.size()));
  for (uint64_t start = 0; start < file.size(); start += kBlockBytes) {
    if (stop) {
      result.stopped = true;
      break;
    }
    const size_t got = file.readAt(start, block.data(), block.size());
    const ByteView bytes(block.data(), got);
    result.bytesRead = std::min<uint64_t>(file.size(), start + kBlockBytes);
    // A page that starts in this block is read whole from it; the next block starts after it.
    std::vector<uint8_t> rebuilt;
    for (uint64_t at = 0; at < std::min<uint64_t>(got, kBlockBytes);) {
      const Found found = soundPageAt(bytes.sub(at, got - at), rebuilt);
      if (found.size == 0) {
        at += kStep;
        continue;
      }
      const ByteView page = found.zeroBlocks ? ByteView(rebuilt) : bytes.sub(at, found.size);
      const FilHeader fil = decodeFilHeader(page);
      const IndexPageHeader header = decodeIndexPageHeader(page);
      CarvedIndex& index = result.indexes[{fil.spaceId, header.indexId}];
      index.spaceId = fil.spaceId;
      index.indexId = header.indexId;
      index.compact = header.compact;
      index.fullCrc32 = be32(page, found.size - 4) != be32(page, FIL_PAGE_LSN + 4);
      const CarvedPage carved{start + at,  found.size, found.zeroBlocks, fil.pageNumber,
                              fil.lsn,     header.level, header.recordCount};
      auto [kept, fresh] = index.pages.emplace(fil.pageNumber, carved);
      if (!fresh && kept->second.lsn < carved.lsn) kept->second = carved;
      ++result.pagesFound;
      // Pages lie whole after one another; no page starts inside a sound one.
      at += found.stored;
    }
    if (progress) progress(result.bytesRead, file.size());
  }
  return result;
}

}  // namespace tavrin
