// Whether a page is the one expected where it was read: its FIL header and
// index header against a tablespace, a place and an index. The first 21
// bytes are the expectation: whether the space is known (1), the space id
// (4), the page number (8) and the index id (8), big-endian; the rest is the
// page. The answer must agree with the fields it compares.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "innodb/page.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kExpectation = 21;
  const ByteView input(data, size);
  PageOwner owner;
  if (input[0] & 1) owner.spaceId = be32(input, 1);
  owner.pageNumber = be64(input, 5);
  owner.indexId = be64(input, 13);
  const ByteView page = input.sub(kExpectation);
  const Status owned = checkPageOwner(page, owner);
  const FilHeader file = decodeFilHeader(page);
  const bool indexPage = file.pageType == kIndexPageType || file.pageType == kInstantRootPageType;
  const bool matches = file.pageNumber == owner.pageNumber && (!owner.spaceId || file.spaceId == *owner.spaceId) &&
                       (owner.indexId == 0 || !indexPage || decodeIndexPageHeader(page).indexId == owner.indexId);
  const bool unwritten = isAllZero(page.sub(0, kFilHeaderSize));
  if (bool(owned) != (matches || unwritten)) std::abort();
  if (!owned && owned.reason().find("tablespace " + std::to_string(file.spaceId)) == std::string::npos) std::abort();
  return 0;
}
