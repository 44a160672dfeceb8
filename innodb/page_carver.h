#pragma once
// InnoDB index pages found in any file: a disk image, a partition, a carved
// blob or a tablespace. Pages may start at any 512-byte boundary and be of
// any size InnoDB writes (4 to 64 KiB); a candidate is taken only when its
// type says index page, its two copies of the LSN agree, its checksum (of
// the classic or the full_crc32 format) is sound and it holds the infimum
// of its record format. The file is read as a stream, a block at a time.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "base/file.h"
#include "base/result.h"

namespace tavrin {

struct CarvedPage {
  uint64_t offset = 0;  // where it starts in the file
  uint32_t size = 0;
  // A file copied sparse (mkfs.ext4 -d, cp --sparse) keeps no block of 4 KiB
  // that is all zeros: bit b set says block b of the page was such a hole,
  // and the blocks after it follow on the disk one block earlier.
  uint8_t zeroBlocks = 0;
  uint32_t number = 0;  // the page number its header gives
  uint64_t lsn = 0;
  uint16_t level = 0;
  uint16_t records = 0;
};

// The pages of one index of one tablespace, by page number; a page found
// twice (a copy, a stale version) is counted once, the newest LSN kept.
struct CarvedIndex {
  uint32_t spaceId = 0;
  uint64_t indexId = 0;
  bool compact = true;
  bool fullCrc32 = false;  // MariaDB's full_crc32 format, else a classic checksum
  std::map<uint32_t, CarvedPage> pages;

  size_t leaves() const;
  uint64_t records() const;  // of the leaves
};

struct CarveResult {
  std::map<std::pair<uint32_t, uint64_t>, CarvedIndex> indexes;  // by space id and index id
  uint64_t pagesFound = 0;   // every sound index page, copies too
  uint64_t bytesRead = 0;
  bool stopped = false;
};

using CarveProgress = std::function<void(uint64_t done, uint64_t total)>;

// Scans the whole file; `stop` ends it at the next block.
CarveResult carveIndexPages(const ReadOnlyFile& file, const std::atomic<bool>& stop, const CarveProgress& progress = {});

// Whether `bytes` (at least one page of `size`) start a sound index page of that size.
bool isSoundIndexPage(ByteView bytes, uint32_t size);

// The bytes of a page found, its holes filled with zeros again.
std::vector<uint8_t> readCarvedPage(const ReadOnlyFile& file, const CarvedPage& page);

}  // namespace tavrin
