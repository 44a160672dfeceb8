// One compressed InnoDB index page: its first byte the logical page size's
// shift (12 to 14), the rest the page as the file holds it; decompressed, then
// its records walked. The same bytes as pages of a compressed value kept apart
// of that page's size.
#include <cstddef>
#include <cstdint>

#include "innodb/page_zip.h"
#include "innodb/records.h"

using namespace tavrin;

namespace {

class Pages : public ZblobReader {
 public:
  Pages(ByteView bytes, size_t size) : bytes_(bytes), size_(size) {}
  Result<ByteView> page(uint64_t number) override {
    if (size_ == 0 || number >= bytes_.size() / size_) return damaged("past the end");
    return bytes_.sub(number * size_, size_);
  }

 private:
  ByteView bytes_;
  size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t logical = 1u << (12 + data[0] % 3);
  const ByteView zip(data + 1, size - 1);
  std::vector<uint8_t> page;
  if (decompressIndexPage(zip, logical, page)) {
    for (uint32_t origin : compactRecords(ByteView(page)).origins) (void)compactInfoBits(ByteView(page), origin);
  }
  Pages pages(zip, zip.size() >= 1024 ? 1024 : zip.size());
  std::vector<uint8_t> value;
  (void)inflateZblob(pages, 0, 12, 1 << 20, value);
  return 0;
}
