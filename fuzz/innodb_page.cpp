// One InnoDB index page: its headers and the record walks of both formats,
// with the fields of every record (the compact ones by the layout of a fixed
// definition, also as records of a table altered in place), and the bytes
// read as the field map of such a table.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "innodb/instant.h"
#include "innodb/layout.h"
#include "innodb/page.h"
#include "innodb/records.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ClusteredLayout layout = layoutFromDefinition(fuzz::definition("own"), fuzz::catalogue());
  const ByteView page(data, size);
  // Records of a table altered in place: core fields, the rest counted in their headers.
  static const InstantRecords instant{layout.keyFields + 2, 1, {}};
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
    (void)instantCompactFields(page, origin, layout.shapes, instant, layout.shapes.size(), fields);
  }
  // The same bytes as the map of a table altered in place.
  if (auto map = decodeFieldMap(page)) (void)mappedLayout(layout, *map);
  return 0;
}
