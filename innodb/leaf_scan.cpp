#include "innodb/leaf_scan.h"

#include "innodb/records.h"

namespace tavrin {

namespace {

constexpr size_t kDescriptorStateOffset = 20;
constexpr uint32_t kExtentFree = 1;

}  // namespace

PageAllocation PageAllocation::read(const Tablespace& space) {
  PageAllocation a;
  // Descriptor pages come every physical page size's pages; extents are counted in logical pages.
  a.pageSize_ = space.physicalPageSize();
  a.extentPages_ = extentPages(space.pageSize());
  const size_t entrySize = extentDescriptorSize(space.pageSize());
  const size_t bitmapBytes = entrySize - kExtentDescriptorBitmapOffset;
  std::vector<uint8_t> page;
  for (uint64_t first = 0; first < space.spacePages(); first += a.pageSize_) {
    if (!space.readPage(first, page)) continue;
    const ByteView p(page);
    const PageChecksum check = space.checksum(first, p);
    if (check != PageChecksum::Sound) continue;
    for (uint64_t extent = 0; extent * a.extentPages_ < a.pageSize_; ++extent) {
      const size_t at = kExtentDescriptorsOffset + extent * entrySize;
      if (!p.has(at, entrySize) || at + entrySize > a.pageSize_ - kFilTrailerSize) break;
      Extent e;
      e.state = be32(p, at + kDescriptorStateOffset);
      e.bitmap = p.sub(at + kExtentDescriptorBitmapOffset, bitmapBytes).copy();
      a.extents_[first + extent * a.extentPages_] = std::move(e);
    }
  }
  return a;
}

bool PageAllocation::inUse(uint64_t page) const {
  const auto found = extents_.find(page - page % extentPages_);
  if (found == extents_.end()) return true;
  const Extent& e = found->second;
  if (e.state == kExtentFree) return false;
  const uint64_t bit = (page % extentPages_) * 2;
  return !((e.bitmap[bit / 8] >> (bit % 8)) & 1);
}

bool isIndexLeaf(ByteView page, uint64_t number) {
  const FilHeader file = decodeFilHeader(page);
  // The root of a table altered in place is a leaf too while the table is small.
  if ((file.pageType != kIndexPageType && file.pageType != kInstantRootPageType) || file.pageNumber != number) return false;
  return decodeIndexPageHeader(page).level == 0 && hasInfimum(formatOf(page), page);
}

LeafScan scanLeaves(const Tablespace& space) {
  LeafScan scan;
  const PageAllocation allocation = PageAllocation::read(space);
  std::vector<uint8_t> buffer;
  // Holes of a sparse file hold no page: only the runs of data are read.
  for (Tablespace::PageRun run = space.dataPages(0); run.first < run.end; run = space.dataPages(run.end)) {
    for (uint64_t n = run.first; n < run.end; ++n) {
      if (Status read = space.readPageStart(n, kLeafHeaderBytes, buffer); !read) {
        const ByteView p(buffer);
        if (isIndexLeaf(p, n) && !checkPageOwner(p, {space.spaceId(), n, 0})) scan.foreign[n] = read.reason();
        continue;
      }
      const ByteView p(buffer);
      if (!isIndexLeaf(p, n)) continue;
      const FilHeader file = decodeFilHeader(p);
      scan.leaves[decodeIndexPageHeader(p).indexId].push_back(
          {n, file.previousPage, file.nextPage, allocation.inUse(n), formatOf(p)});
    }
  }
  return scan;
}

}  // namespace tavrin
