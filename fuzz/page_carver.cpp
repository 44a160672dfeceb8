// The page scan of any file and the fit of a definition to the pages it
// finds. The fuzzer's bytes are the file; every 4 KiB block that starts
// with an index page's type is sealed first as a 4 KiB page of MariaDB's
// full_crc32 format (its LSN copied to the end, its checksum made sound),
// so that what lies behind the checksum is what the fuzzer explores.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "innodb/layout.h"
#include "innodb/layout_fit.h"
#include "innodb/page.h"
#include "innodb/page_carver.h"
#include "innodb/page_checksum.h"

using namespace tavrin;

namespace {

constexpr size_t kPage = 4096;

void seal(std::vector<uint8_t>& bytes) {
  for (size_t at = 0; at + kPage <= bytes.size(); at += kPage) {
    uint8_t* page = bytes.data() + at;
    if (be16(ByteView(page, kPage), FIL_PAGE_TYPE) != kIndexPageType) continue;
    std::copy_n(page + FIL_PAGE_LSN + 4, 4, page + kPage - 8);
    const uint32_t crc = crc32c(ByteView(page, kPage - 4));
    for (int i = 0; i < 4; ++i) page[kPage - 4 + i] = uint8_t(crc >> (24 - 8 * i));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::MemoryFile memory("carved");
  static const ClusteredLayout layout = layoutFromDefinition(fuzz::definition("own"), fuzz::catalogue());
  std::vector<uint8_t> bytes(data, data + size);
  seal(bytes);
  auto file = ReadOnlyFile::open(memory.hold(ByteView(bytes)));
  if (!file) return 0;
  const std::atomic<bool> never{false};
  const CarveResult carved = carveIndexPages(*file, never);
  for (const auto& [key, index] : carved.indexes) {
    LayoutFit fit;
    const RecordFormat format = index.compact ? RecordFormat::Compact : RecordFormat::Redundant;
    for (const auto& [number, page] : index.pages) {
      const std::vector<uint8_t> read = readCarvedPage(*file, page);
      if (read.size() != page.size) __builtin_trap();
      (void)addPageFit(ByteView(read), format, layout, file->path(), number, fit);
    }
    (void)judgeFit(fit);
  }
  return 0;
}
