#include "innodb/system_tablespace.h"

namespace tavrin {

namespace {

// The system tablespace is space 0; where its first page is damaged, the
// pages after it tell, when they do.
bool isSpaceZero(const Tablespace& space) {
  if (space.spaceId().value_or(0) != 0) return false;
  if (space.firstPageDamage()) return true;
  std::vector<uint8_t> first;
  return space.readPage(0, first) && decodeFilHeader(ByteView(first)).pageType == kSpaceHeaderPageType;
}

}  // namespace

Result<std::unique_ptr<SystemTablespace>> SystemTablespace::open(const std::string& path,
                                                                 const CollationCatalogue& catalogue) {
  auto space = Tablespace::open(path);
  if (!space) return space.failure();
  if (!isSpaceZero(*space)) {
    return damaged(path + " is not an InnoDB system tablespace: its first page is not that of space 0");
  }
  std::unique_ptr<SystemTablespace> system(new SystemTablespace(std::move(*space)));
  system->dictionary_ = loadDictionary(system->space_, catalogue);
  return system;
}

}  // namespace tavrin
