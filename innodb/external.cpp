#include "innodb/external.h"

#include <unordered_set>

#include "innodb/page_checksum.h"

namespace tavrin {

namespace {

constexpr uint32_t kChainPartHeader = 8;  // bytes on the page and next page
constexpr size_t kLobFirstDataLength = 54;
constexpr size_t kLobIndexList = 64;
constexpr size_t kLobFirstData = 696;
constexpr size_t kLobEntryNext = 6;
constexpr size_t kLobEntryPage = 48;
constexpr size_t kLobEntryLength = 52;
constexpr size_t kLobEntrySize = 60;
constexpr size_t kLobDataLength = 39;
constexpr size_t kLobData = 49;
constexpr uint16_t kLobDataPageType = 23;

Status readChecked(const Tablespace& space, uint64_t number, std::vector<uint8_t>& page, const PageCheck& checkFailed) {
  if (number >= space.pageCount()) return damaged("a value kept apart leads outside " + space.path());
  if (Status read = space.readPage(number, page); !read) return read;
  if (checkFailed && space.checksum(number, ByteView(page)) != PageChecksum::Sound) checkFailed(number);
  return Ok{};
}

Status appendPart(ByteView bytes, uint64_t want, uint64_t& copied, std::vector<uint8_t>& value) {
  if (bytes.size() != want) return damaged("a part of a value is longer than its page");
  value.insert(value.end(), bytes.data(), bytes.data() + bytes.size());
  copied += want;
  return Ok{};
}

Status readChain(const Tablespace& space, ExternalReference ref, std::vector<uint8_t>& value,
                 std::vector<uint8_t>& buffer, const PageCheck& checkFailed) {
  std::unordered_set<uint64_t> visited;
  uint64_t copied = 0;
  for (uint64_t page = ref.page, offset = ref.offset; copied < ref.length; offset = kFilHeaderSize) {
    if (page == kNoPage) return damaged("a value kept apart ends before its length");
    if (!visited.insert(page).second) return damaged("the pages of a value kept apart loop");
    if (Status read = readChecked(space, page, buffer, checkFailed); !read) return read;
    const ByteView p(buffer);
    if (!p.has(offset, kChainPartHeader)) return damagedAt(space.placeOf(page), "a part of a value lies outside the page");
    const uint32_t part = be32(p, offset);
    if (part > ref.length - copied) return damagedAt(space.placeOf(page), "a part of a value is longer than its value");
    if (Status took = appendPart(p.sub(offset + kChainPartHeader, part), part, copied, value); !took) {
      return damagedAt(space.placeOf(page), took.reason());
    }
    page = be32(p, offset + 4);
  }
  return Ok{};
}

// The bytes an index entry names: on the first page after the entries, or on a data page.
Status readLobEntry(const Tablespace& space, uint64_t first, uint64_t page, uint32_t length, uint64_t left,
                    std::vector<uint8_t>& value, std::vector<uint8_t>& buffer, const PageCheck& checkFailed,
                    uint64_t& copied) {
  if (length > left) return damagedAt(space.placeOf(page), "a part of a value is longer than its value");
  if (Status read = readChecked(space, page, buffer, checkFailed); !read) return read;
  const ByteView p(buffer);
  const bool onFirst = page == first;
  if (!onFirst && decodeFilHeader(p).pageType != kLobDataPageType) {
    return damagedAt(space.placeOf(page), "not a data page of a large object");
  }
  const uint32_t stored = be32(p, onFirst ? kLobFirstDataLength : kLobDataLength);
  if (stored < length) return damagedAt(space.placeOf(page), "holds less of a value than its index says");
  if (Status took = appendPart(p.sub(onFirst ? kLobFirstData : kLobData, length), length, copied, value); !took) {
    return damagedAt(space.placeOf(page), took.reason());
  }
  return Ok{};
}

Status readLargeObject(const Tablespace& space, const ExternalReference& ref, std::vector<uint8_t>& value,
                       std::vector<uint8_t>& buffer, const PageCheck& checkFailed) {
  std::vector<uint8_t> entries;
  if (Status read = readChecked(space, ref.page, entries, checkFailed); !read) return read;
  uint64_t entryPage = be32(ByteView(entries), kLobIndexList + 4);
  uint32_t entryOffset = be16(ByteView(entries), kLobIndexList + 8);
  uint64_t loaded = ref.page;
  std::unordered_set<uint64_t> visited;
  uint64_t copied = 0;
  while (copied < ref.length) {
    if (entryPage == kNoPage) return damagedAt(space.placeOf(ref.page), "the index of a value ends before its length");
    // No page holds more entries than fit on it.
    const bool tooMany = visited.size() > space.pageCount() * (space.pageSize() / kLobEntrySize);
    if (tooMany || !visited.insert(entryPage << 16 | entryOffset).second) {
      return damagedAt(space.placeOf(ref.page), "the index of a value loops");
    }
    if (entryPage != loaded) {
      if (Status read = readChecked(space, entryPage, entries, checkFailed); !read) return read;
      loaded = entryPage;
    }
    const ByteView e(entries);
    if (!e.has(entryOffset, kLobEntrySize)) return damagedAt(space.placeOf(entryPage), "an index entry lies outside the page");
    const uint32_t page = be32(e, entryOffset + kLobEntryPage);
    const uint32_t length = be16(e, entryOffset + kLobEntryLength);
    if (Status part = readLobEntry(space, ref.page, page, length, ref.length - copied, value, buffer, checkFailed, copied);
        !part) {
      return part;
    }
    entryPage = be32(e, entryOffset + kLobEntryNext);
    entryOffset = be16(e, entryOffset + kLobEntryNext + 4);
  }
  return Ok{};
}

}  // namespace

ExternalReference decodeExternalReference(ByteView field) {
  const ByteView r = field.sub(field.size() < kExternalReferenceSize ? 0 : field.size() - kExternalReferenceSize);
  // The low four bytes of BTR_EXTERN_LEN: no value kept apart is longer.
  return {be32(r, BTR_EXTERN_PAGE_NO), be32(r, BTR_EXTERN_OFFSET), be32(r, BTR_EXTERN_LEN + 4)};
}

Status readExternalValue(const Tablespace& space, const ExternalReference& ref, std::vector<uint8_t>& value,
                         std::vector<uint8_t>& page, const PageCheck& checkFailed) {
  if (ref.length > space.pageCount() * space.pageSize()) {
    return damaged("a value kept apart is longer than " + space.path());
  }
  value.reserve(value.size() + ref.length);
  if (Status read = readChecked(space, ref.page, page, checkFailed); !read) return read;
  if (decodeFilHeader(ByteView(page)).pageType == kLobFirstPageType) {
    return readLargeObject(space, ref, value, page, checkFailed);
  }
  return readChain(space, ref, value, page, checkFailed);
}

}  // namespace tavrin
