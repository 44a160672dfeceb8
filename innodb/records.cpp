#include "innodb/records.h"

#include <algorithm>

#include "innodb/page.h"

namespace tavrin {

namespace {

bool textAt(ByteView page, uint32_t offset, std::string_view text) {
  if (!page.has(offset, text.size() + 1)) return false;
  return page.sub(offset, text.size()).chars() == text && page[offset + text.size()] == 0;
}

// A page of n bytes holds at most this many records (5 header bytes each at the least).
size_t recordLimit(ByteView page) { return page.size() / 5; }

uint32_t userRecordEnd(ByteView page) { return uint32_t(page.size() - kFilTrailerSize); }

}  // namespace

bool hasZeroedInfimum(ByteView page) {
  if (decodeFilHeader(page).pageType != kInstantRootPageType) return false;
  const bool compact = decodeIndexPageHeader(page).compact;
  const uint32_t infimum = compact ? kCompactInfimum : kRedundantInfimum;
  const uint32_t supremum = compact ? kCompactSupremum : kRedundantSupremum;
  if (!page.has(infimum, 8) || !page.has(supremum, 7)) return false;
  const ByteView a = page.sub(infimum, 8), b = page.sub(supremum, 7);
  return std::all_of(a.data(), a.data() + a.size(), [](uint8_t x) { return x == 0; }) &&
         std::all_of(b.data(), b.data() + b.size(), [](uint8_t x) { return x == 0; });
}

bool hasCompactInfimum(ByteView page) {
  return textAt(page, kCompactInfimum, "infimum") || (decodeIndexPageHeader(page).compact && hasZeroedInfimum(page));
}
bool hasRedundantInfimum(ByteView page) {
  return textAt(page, kRedundantInfimum, "infimum") || (!decodeIndexPageHeader(page).compact && hasZeroedInfimum(page));
}

uint8_t compactInfoBits(ByteView page, uint32_t origin) {
  return origin >= REC_N_NEW_EXTRA_BYTES ? page[origin - REC_N_NEW_EXTRA_BYTES] & 0xF0 : 0;
}
uint8_t redundantInfoBits(ByteView page, uint32_t origin) {
  return origin >= REC_N_OLD_EXTRA_BYTES ? page[origin - REC_N_OLD_EXTRA_BYTES] & 0xF0 : 0;
}

namespace {

// What the two formats' chains differ in. REC_NEXT, the two bytes before a
// record's origin, holds the next record's origin in the redundant format,
// and its distance from this one (modulo 64 KiB) in the compact format.
struct ChainFormat {
  const char* name;
  uint32_t infimum;
  uint32_t supremum;
  uint32_t firstUserRecord;  // no user record starts before it
  bool relativeNext;
  bool (*hasInfimum)(ByteView page);
};

constexpr ChainFormat kRedundantChain{"redundant", kRedundantInfimum, kRedundantSupremum, kRedundantInfimum, false,
                                      hasRedundantInfimum};
constexpr ChainFormat kCompactChain{"compact", kCompactInfimum, kCompactSupremum, kCompactFirstUserRecord, true,
                                    hasCompactInfimum};

uint32_t nextRecord(ByteView page, uint32_t x, const ChainFormat& f) {
  const uint32_t next = be16(page, x - REC_NEXT_BYTES);
  return f.relativeNext ? uint32_t((x + next) & 0xFFFF) : next;
}

// The one walk of a page's record chain, from the infimum (or `start`) to
// the supremum, inside the page and never round a loop.
RecordChain walkChain(ByteView page, uint32_t start, const ChainFormat& f) {
  RecordChain chain;
  if (!f.hasInfimum(page)) {
    chain.damage = damaged(std::string("the page holds no records of the ") + f.name + " format");
    return chain;
  }
  const uint32_t end = userRecordEnd(page);
  std::vector<bool> seen(page.size(), false);
  for (uint32_t x = start ? start : nextRecord(page, f.infimum, f); x != f.supremum;) {
    // A redundant chain may also end in a null link, or at a supremum written elsewhere.
    if (!f.relativeNext && (x == 0 || (x >= f.firstUserRecord && x < end && textAt(page, x, "supremum")))) break;
    if (x < f.firstUserRecord || x >= end) {
      chain.damage = damaged("a record offset " + std::to_string(x) + " lies outside the page");
      break;
    }
    if (seen[x] || chain.origins.size() >= recordLimit(page)) {
      chain.damage = damaged("the record chain of the page loops");
      break;
    }
    seen[x] = true;
    chain.origins.push_back(x);
    x = nextRecord(page, x, f);
  }
  return chain;
}

}  // namespace

RecordChain redundantRecords(ByteView page, uint32_t start) { return walkChain(page, start, kRedundantChain); }

RecordChain compactRecords(ByteView page, uint32_t start) { return walkChain(page, start, kCompactChain); }

Result<std::vector<RecordField>> redundantFields(ByteView page, uint32_t x) {
  if (x < 6 || x >= page.size()) return damaged("a record lies outside the page");
  const uint32_t count = ((page[x - 4] & 7u) << 7) | (page[x - 3] >> 1);
  const uint32_t width = (page[x - 3] & 1) ? 1 : 2;
  if (x < 6 + count * width) return damaged("a record's field offsets lie outside the page");
  std::vector<RecordField> fields;
  uint32_t previous = 0;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t at = x - 6 - (k + 1) * width;
    RecordField f;
    uint32_t endOffset;
    if (width == 1) {
      endOffset = page[at] & 0x7F;
      f.isNull = page[at] & 0x80;
    } else {
      const uint16_t entry = be16(page, at);
      endOffset = entry & 0x3FFF;
      f.isNull = entry & 0x8000;
      f.external = entry & 0x4000;
    }
    if (endOffset < previous || x + endOffset > page.size()) return damaged("a record's field lies outside the page");
    f.start = x + previous;
    f.length = endOffset - previous;
    previous = endOffset;
    fields.push_back(f);
  }
  return fields;
}

Status compactFields(ByteView page, uint32_t x, const std::vector<CompactFieldShape>& layout, size_t count,
                     std::vector<RecordField>& fields) {
  return compactFieldsWith(page, x, layout, count, 5, nullBytesOf(layout, layout.size()), fields);
}

uint32_t nullBytesOf(const std::vector<CompactFieldShape>& shapes, size_t count) {
  size_t nullable = 0;
  for (size_t i = 0; i < count && i < shapes.size(); ++i) nullable += shapes[i].nullable;
  return uint32_t((nullable + 7) / 8);
}

Status compactFieldsWith(ByteView page, uint32_t x, const std::vector<CompactFieldShape>& layout, size_t count,
                         uint32_t headerBytes, uint32_t bitmapBytes, std::vector<RecordField>& fields) {
  // The header bytes lie below the record, above the page's own headers.
  constexpr uint32_t kHeaderFloor = 94;
  if (x < kHeaderFloor + headerBytes + bitmapBytes || x >= page.size()) return damaged("a record lies outside the page");
  uint32_t nullByte = x - headerBytes - 1;
  uint32_t nullMask = 1;
  uint32_t lengthByte = x - headerBytes - 1 - bitmapBytes;  // moves down
  uint32_t data = x;
  const uint32_t end = userRecordEnd(page);
  fields.clear();
  for (size_t i = 0; i < count && i < layout.size(); ++i) {
    const CompactFieldShape& shape = layout[i];
    RecordField f;
    if (shape.nullable) {
      if (nullMask == 0x100) {
        --nullByte;
        nullMask = 1;
      }
      if (nullByte + bitmapBytes < x - headerBytes) return damaged("a record has more nullable fields than null bits");
      f.isNull = page[nullByte] & nullMask;
      nullMask <<= 1;
      if (f.isNull) {
        f.start = data;
        fields.push_back(f);
        continue;
      }
    }
    uint32_t length = shape.fixedLength;
    if (length == 0) {
      if (lengthByte <= kHeaderFloor) return damaged("a record's lengths run into the page header");
      const uint8_t b1 = page[lengthByte--];
      if (shape.big && (b1 & 0x80)) {
        if (lengthByte <= kHeaderFloor) return damaged("a record's lengths run into the page header");
        const uint8_t b2 = page[lengthByte--];
        length = (uint32_t(b1 & 0x3F) << 8) | b2;
        f.external = b1 & 0x40;
      } else {
        length = b1;
      }
    }
    if (data + length > end) return damaged("a record's field runs past the end of the page");
    f.start = data;
    f.length = length;
    data += length;
    fields.push_back(f);
  }
  return Ok{};
}

RecordFormat formatOf(ByteView page) {
  return decodeIndexPageHeader(page).compact ? RecordFormat::Compact : RecordFormat::Redundant;
}

bool hasInfimum(RecordFormat format, ByteView page) {
  return format == RecordFormat::Compact ? hasCompactInfimum(page) : hasRedundantInfimum(page);
}

uint32_t supremumOf(RecordFormat format) {
  return format == RecordFormat::Compact ? kCompactSupremum : kRedundantSupremum;
}

RecordChain recordChain(RecordFormat format, ByteView page, uint32_t start) {
  return format == RecordFormat::Compact ? compactRecords(page, start) : redundantRecords(page, start);
}

uint8_t infoBits(RecordFormat format, ByteView page, uint32_t origin) {
  return format == RecordFormat::Compact ? compactInfoBits(page, origin) : redundantInfoBits(page, origin);
}

Status recordFields(RecordFormat format, ByteView page, uint32_t origin, const std::vector<CompactFieldShape>& shapes,
                    size_t count, std::vector<RecordField>& fields) {
  if (format == RecordFormat::Compact) return compactFields(page, origin, shapes, count, fields);
  auto all = redundantFields(page, origin);
  if (!all) return all.failure();
  if (all->size() < count) {
    return damaged("a record of " + std::to_string(all->size()) + " fields where " + std::to_string(count) +
                   " were expected");
  }
  all->resize(count);
  fields = std::move(*all);
  return Ok{};
}

}  // namespace tavrin
