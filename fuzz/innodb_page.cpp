// One InnoDB index page: its headers and the record walks of both formats,
// with the fields of every record (the compact ones by the layout of a fixed
// definition).
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "innodb/layout.h"
#include "innodb/page.h"
#include "innodb/records.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ClusteredLayout layout = layoutFromDefinition(fuzz::definition("own"), fuzz::catalogue());
  const ByteView page(data, size);
  (void)decodeFilHeader(page);
  (void)decodeIndexPageHeader(page);
  (void)decodeSpaceFlags(be32(page, kFilHeaderSize + 16));
  for (uint32_t origin : redundantRecords(page).origins) {
    (void)redundantInfoBits(page, origin);
    (void)redundantFields(page, origin);
  }
  std::vector<RecordField> fields;
  for (uint32_t origin : compactRecords(page).origins) {
    (void)compactInfoBits(page, origin);
    (void)compactFields(page, origin, layout.shapes, layout.keyFields, fields);
    (void)compactFields(page, origin, layout.shapes, layout.shapes.size(), fields);
  }
  return 0;
}
