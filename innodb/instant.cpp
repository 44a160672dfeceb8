#include "innodb/instant.h"

#include <algorithm>
#include <set>

namespace tavrin {

namespace {

constexpr uint16_t kDroppedBit = 1u << 15;
constexpr uint16_t kNotNullBit = 1u << 14;
constexpr uint16_t kIndexMask = (1u << 10) - 1;
// Record status in the low bits of the byte 3 below the origin.
constexpr uint8_t kStatusNodePointer = 1;
constexpr uint8_t kStatusInstant = 4;
// The server keeps at most this many fields in a record.
constexpr uint32_t kMostFields = 1023;
constexpr uint32_t kLongestFixed = 768;

// A dropped column's field: its length code is 0 for a variable length up
// to 255 bytes, 1 for a longer one, and 1 + the length of a fixed one.
InnoDbField droppedField(const FieldMapEntry& e) {
  InnoDbField f;
  f.mainType = MainType::Binary;
  f.preciseType = e.notNull ? PreciseType::NotNull : 0;
  f.fixedLength = e.index > 1 ? e.index - 1u : 0;
  f.length = e.index == 0 ? 255 : e.index == 1 ? 65535 : f.fixedLength;
  f.systemName = "a dropped column";
  return f;
}

}  // namespace

Result<std::vector<FieldMapEntry>> decodeFieldMap(ByteView blob) {
  const uint32_t count = be32(blob, 0);
  if (!blob.has(0, 4) || count > kMostFields || !blob.has(4, size_t(count) * 2)) {
    return damaged("the map of the table's fields is cut short or counts " + std::to_string(count) + " fields");
  }
  std::vector<FieldMapEntry> map;
  for (uint32_t i = 0; i < count; ++i) {
    const uint16_t e = be16(blob, 4 + 2 * i);
    FieldMapEntry entry{bool(e & kDroppedBit), bool(e & kNotNullBit), uint16_t(e & kIndexMask)};
    if (entry.dropped && entry.index > kLongestFixed + 1) return damaged("a dropped field of an impossible length");
    map.push_back(entry);
  }
  return map;
}

Result<ClusteredLayout> mappedLayout(const ClusteredLayout& current, const std::vector<FieldMapEntry>& map) {
  const size_t firstUser = current.keyFields + 2;
  if (current.fields.size() < firstUser) return damaged("the table's layout has no DB_ROLL_PTR");
  // The stored columns in the table's order, as the map numbers them.
  std::set<int32_t> stored;
  for (const InnoDbField& f : current.fields) {
    if (f.column >= 0) stored.insert(f.column);
  }
  const std::vector<int32_t> byNumber(stored.begin(), stored.end());
  ClusteredLayout mapped;
  mapped.keyFields = current.keyFields;
  mapped.fields.assign(current.fields.begin(), current.fields.begin() + ptrdiff_t(firstUser));
  for (const FieldMapEntry& e : map) {
    if (e.dropped) {
      mapped.fields.push_back(droppedField(e));
      continue;
    }
    if (e.index >= byNumber.size()) return damaged("the map of the table's fields names column " + std::to_string(e.index) + " of " + std::to_string(byNumber.size()));
    const int32_t column = byNumber[e.index];
    const auto found = std::find_if(current.fields.begin() + ptrdiff_t(firstUser), current.fields.end(),
                                    [column](const InnoDbField& f) { return f.column == column && !f.keyPrefix; });
    if (found == current.fields.end()) return damaged("the map of the table's fields names a column of the key");
    mapped.fields.push_back(*found);
  }
  for (const InnoDbField& f : mapped.fields) mapped.shapes.push_back({f.fixedLength, f.nullable(), f.big()});
  return mapped;
}

uint32_t metadataBlobOffset(const ClusteredLayout& layout) {
  constexpr uint32_t kTrxIdAndRollPointer = 6 + 7;
  uint32_t offset = kTrxIdAndRollPointer;
  for (size_t i = 0; i < layout.keyFields && i < layout.fields.size(); ++i) offset += layout.fields[i].fixedLength;
  return offset;
}

Status instantCompactFields(ByteView page, uint32_t origin, const std::vector<CompactFieldShape>& shapes,
                            const InstantRecords& instant, size_t count, std::vector<RecordField>& fields) {
  if (origin < 7 || origin >= page.size()) return damaged("a record lies outside the page");
  const uint8_t status = page[origin - REC_NEW_STATUS] & 7;
  if (status != kStatusInstant) {
    // Node pointers and records written before any change hold the core fields.
    const size_t held = status == kStatusNodePointer ? count : std::min(count, instant.coreFields);
    return compactFieldsWith(page, origin, shapes, held, 5, instant.coreNullBytes, fields);
  }
  // The count of added fields: one byte, or two when the first has its high bit set.
  uint32_t added = page[origin - 6];
  uint32_t header = 6;
  if (added & 0x80) {
    added = (added & 0x7F) | uint32_t(page[origin - 7]) << 7;
    header = 7;
  }
  const size_t held = instant.coreFields + added + 1;
  if (held > shapes.size()) {
    return damaged("a record holds " + std::to_string(held) + " fields where the table has " + std::to_string(shapes.size()));
  }
  return compactFieldsWith(page, origin, shapes, std::min(count, held), header, nullBytesOf(shapes, held), fields);
}

}  // namespace tavrin
