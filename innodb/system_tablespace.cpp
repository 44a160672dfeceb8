#include "innodb/system_tablespace.h"

namespace tavrin {

namespace {
// The first page of every tablespace describes the file's space.
constexpr uint16_t kSpaceHeaderPageType = 8;
}  // namespace

Result<std::unique_ptr<SystemTablespace>> SystemTablespace::open(const std::string& path,
                                                                 const CollationCatalogue& catalogue) {
  auto space = Tablespace::open(path);
  if (!space) return space.failure();
  std::vector<uint8_t> first;
  if (Status read = space->readPage(0, first); !read) return read.failure();
  const FilHeader header = decodeFilHeader(ByteView(first));
  if (header.pageType != kSpaceHeaderPageType || header.pageNumber != 0 || header.spaceId != 0) {
    return damaged(path + " is not an InnoDB system tablespace: its first page is not that of space 0");
  }
  std::unique_ptr<SystemTablespace> system(new SystemTablespace(std::move(*space)));
  system->dictionary_ = loadDictionary(system->space_, catalogue);
  return system;
}

}  // namespace tavrin
