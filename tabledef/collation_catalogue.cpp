#include "tabledef/collation_catalogue.h"

#include <algorithm>
#include <utility>

#include "base/file.h"
#include "base/path.h"
#include "base/text.h"

namespace tavrin {

namespace {

// A name of the record: at most `length` bytes, cut at the file's end and at
// the first zero byte.
std::string nameAt(ByteView file, uint64_t position, uint64_t length) {
  if (position >= file.size()) return {};
  std::string_view chars = file.sub(size_t(position), size_t(std::min<uint64_t>(length, file.size()))).chars();
  return std::string(chars.substr(0, chars.find('\0')));
}

}  // namespace

CollationCatalogue CollationCatalogue::parse(ByteView file) {
  CollationCatalogue catalogue;
  // Each record adds at least 20 bytes, so the walk always ends; values past
  // the end of the file read as 0.
  for (uint64_t position = 0; position < file.size();) {
    const size_t p = size_t(position);
    CollationEntry entry;
    const int32_t id = int32_t(le32(file, p));
    entry.minBytesPerChar = int32_t(le32(file, p + 4));
    entry.maxBytesPerChar = int32_t(le32(file, p + 8));
    const uint64_t n1 = le32(file, p + 12);
    entry.name1 = nameAt(file, position + 16, n1);
    const uint64_t n2 = position + 16 + n1 < file.size() ? le32(file, size_t(position + 16 + n1)) : 0;
    entry.name2 = nameAt(file, position + 20 + n1, n2);
    catalogue.entries_[id] = std::move(entry);
    position += 20 + n1 + n2;
  }
  return catalogue;
}

CollationCatalogue CollationCatalogue::load(const std::string& path) {
  auto bytes = readSmallFile(path, 64u << 20);
  if (!bytes) return {};
  return parse(ByteView(*bytes));
}

const CollationEntry* CollationCatalogue::find(int32_t id) const {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : &it->second;
}

int32_t CollationCatalogue::minBytesPerChar(int32_t id) const {
  const CollationEntry* e = find(id);
  return e ? e->minBytesPerChar : 0;
}

int32_t CollationCatalogue::maxBytesPerChar(int32_t id) const {
  const CollationEntry* e = find(id);
  return e ? e->maxBytesPerChar : 0;
}

std::string CollationCatalogue::charsetName(int32_t id) const {
  const CollationEntry* e = find(id);
  return e ? e->name1 : std::string();
}

bool CollationCatalogue::knowsCharset(std::string_view name) const {
  const std::string lower = asciiLower(name);
  return std::any_of(entries_.begin(), entries_.end(), [&](const auto& e) { return e.second.name1 == lower; });
}

bool CollationCatalogue::knowsCollation(std::string_view name) const {
  const std::string lower = asciiLower(name);
  return std::any_of(entries_.begin(), entries_.end(), [&](const auto& e) { return e.second.name2 == lower; });
}

namespace {

// Older servers named utf8mb3 utf8, and so do their dumps.
std::string currentName(std::string_view name) {
  std::string lower = asciiLower(name);
  if (lower == "utf8" || lower.starts_with("utf8_")) lower.insert(4, "mb3");
  return lower;
}

// A character set's default collation where it is not CHARSET_general_ci,
// as the server lists them in information_schema.CHARACTER_SETS.
constexpr std::pair<std::string_view, std::string_view> kDefaultCollations[] = {
    {"big5", "big5_chinese_ci"},     {"binary", "binary"},           {"cp932", "cp932_japanese_ci"},
    {"dec8", "dec8_swedish_ci"},     {"eucjpms", "eucjpms_japanese_ci"}, {"euckr", "euckr_korean_ci"},
    {"gb2312", "gb2312_chinese_ci"}, {"gbk", "gbk_chinese_ci"},      {"hp8", "hp8_english_ci"},
    {"latin1", "latin1_swedish_ci"}, {"latin5", "latin5_turkish_ci"}, {"sjis", "sjis_japanese_ci"},
    {"swe7", "swe7_swedish_ci"},     {"tis620", "tis620_thai_ci"},   {"ujis", "ujis_japanese_ci"},
};

}  // namespace

int32_t CollationCatalogue::collationId(std::string_view collation) const {
  const std::string lower = currentName(collation);
  for (const auto& [id, entry] : entries_) {
    if (entry.name2 == lower) return id;
  }
  return 0;
}

int32_t CollationCatalogue::defaultCollationId(std::string_view charset) const {
  const std::string lower = currentName(charset);
  for (const auto& [name, collation] : kDefaultCollations) {
    if (name == lower) return collationId(collation);
  }
  return collationId(lower + "_general_ci");
}

}  // namespace tavrin

namespace tavrin {

namespace {
// Collations of every server since 4.1, with their fixed widths.
struct KnownCollation {
  int32_t id;
  const char* charset;
  int32_t minBytes, maxBytes;
};
constexpr KnownCollation kKnownCollations[] = {
    {8, "latin1", 1, 1}, {33, "utf8mb3", 1, 3}, {45, "utf8mb4", 1, 4}, {35, "ucs2", 2, 2}, {63, "binary", 1, 1},
};
}  // namespace

Status CollationCatalogue::check() const {
  for (const KnownCollation& k : kKnownCollations) {
    const CollationEntry* e = find(k.id);
    // Servers before MariaDB 10.6 call utf8mb3 "utf8".
    const bool sameSet = e && (e->name1 == k.charset || (e->name1 == "utf8" && std::string_view(k.charset) == "utf8mb3"));
    if (!sameSet || e->minBytesPerChar != k.minBytes || e->maxBytesPerChar != k.maxBytes) {
      return damaged("it does not hold collation " + std::to_string(k.id) + " (" + k.charset + ", " +
                     std::to_string(k.minBytes) + " to " + std::to_string(k.maxBytes) + " bytes a character)");
    }
  }
  return Ok{};
}

CatalogueChoice findCatalogue(const std::vector<std::string>& folders) {
  CatalogueChoice choice;
  for (const std::string& folder : folders) {
    const std::string path = joinPath(folder, kCatalogueFileName);
    if (!isRegularFile(path)) continue;
    auto bytes = readSmallFile(path, 64u << 20);
    if (!bytes) {
      choice.warnings.push_back("the collation catalogue " + path + " cannot be read: " + bytes.reason());
      continue;
    }
    CollationCatalogue catalogue = CollationCatalogue::parse(ByteView(*bytes));
    if (Status sound = catalogue.check(); !sound) {
      choice.warnings.push_back("the collation catalogue " + path + " is passed over: " + sound.reason());
      continue;
    }
    choice.catalogue = std::move(catalogue);
    choice.path = path;
    return choice;
  }
  choice.warnings.push_back(std::string("no sound collation catalogue \"") + kCatalogueFileName +
                            "\" was found; character lengths are shown in bytes");
  return choice;
}

}  // namespace tavrin
