// One page compressed whole (PAGE_COMPRESSED): its first byte chooses the
// tablespace's format (bit 0: full_crc32) and the algorithm its flags name
// (bits 1-3), the rest is the page as the file holds it, of 16 KiB logical
// size; inflated, checked, then its records walked.
#include <cstddef>
#include <cstdint>

#include "innodb/page_compression.h"
#include "innodb/records.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const PageCompression space{(data[0] & 1) != 0, uint32_t(data[0] >> 1) & 0x7};
  const ByteView raw(data + 1, size - 1);
  constexpr uint32_t kPageSize = 16384;
  if (!isPageCompressed(raw, space)) return 0;
  if (space.fullCrc32) (void)checkFullCrc32CompressedPage(raw, kPageSize);
  std::vector<uint8_t> page;
  if (inflateCompressedPage(raw, kPageSize, space, page)) {
    for (uint32_t origin : compactRecords(ByteView(page)).origins) (void)compactInfoBits(ByteView(page), origin);
  }
  return 0;
}
