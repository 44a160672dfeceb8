#pragma once
// The leaf pages of an index found by scanning every page of a tablespace,
// for when its tree or its chain of leaves is broken: each page that is in
// use, says it is a leaf of the index and has the infimum of its format.
// Pages the tablespace counts free are left out, since they still hold the
// records they had before they were freed.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/result.h"
#include "innodb/page.h"
#include "innodb/page_checksum.h"
#include "innodb/records.h"

namespace tavrin {

// Which pages the extent descriptors of a tablespace count as in use.
class PageAllocation {
 public:
  // Every page counts as in use where a descriptor page cannot be read.
  static PageAllocation read(const Tablespace& space);
  bool inUse(uint64_t page) const;

 private:
  struct Extent {
    uint32_t state = 0;
    std::vector<uint8_t> bitmap;
  };
  uint32_t pageSize_ = 16384;
  uint32_t extentPages_ = 64;
  std::map<uint64_t, Extent> extents_;  // by first page; missing: unknown
};

struct LeafPage {
  uint64_t number = 0;
  uint32_t previous = kNoPage;
  uint32_t next = kNoPage;
  bool inUse = true;  // false: on a page the tablespace counts free
  RecordFormat format = RecordFormat::Compact;
};

struct LeafScan {
  std::map<uint64_t, std::vector<LeafPage>> leaves;  // by index id, each in page order
  // Leaves in their place that belong to another tablespace, with what they
  // claim: left out of the leaves above, and damage where a leaf links to one.
  std::map<uint64_t, std::string> foreign;
};

LeafScan scanLeaves(const Tablespace& space);

// The first bytes of a page that say whether it is a leaf.
inline constexpr size_t kLeafHeaderBytes = 128;

// True when the page (or its first kLeafHeaderBytes) says it is a leaf, with
// the infimum of the record format its header names.
bool isIndexLeaf(ByteView page, uint64_t number);

}  // namespace tavrin
