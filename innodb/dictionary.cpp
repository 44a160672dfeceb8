#include "innodb/dictionary.h"

#include <functional>
#include <unordered_set>

#include "base/text.h"
#include "innodb/records.h"

namespace tavrin {

namespace {


// The dictionary header page names the root page of each dictionary tree:
//   offset (after the page header)  bytes  what
//   32                              4      SYS_TABLES
//   40                              4      SYS_COLUMNS
//   44                              4      SYS_INDEXES
constexpr uint32_t kDictionaryHeaderPage = 7;
constexpr size_t kSysTablesRootAt = kFilHeaderSize + 32, kSysColumnsRootAt = kFilHeaderSize + 40,
                 kSysIndexesRootAt = kFilHeaderSize + 44;
// Where every server puts them with pages of 8 KiB and more.
constexpr uint32_t kUsualSysTablesRoot = 8, kUsualSysColumnsRoot = 10, kUsualSysIndexesRoot = 11;

struct DictionaryRoots {
  uint32_t tables = kUsualSysTablesRoot, columns = kUsualSysColumnsRoot, indexes = kUsualSysIndexesRoot;
};

// The roots the header page names; where it is damaged (a root outside the
// file), the usual places.
DictionaryRoots dictionaryRoots(const Tablespace& space, std::optional<Failure>& damage) {
  DictionaryRoots roots;
  std::vector<uint8_t> buffer;
  if (!space.readPage(kDictionaryHeaderPage, buffer)) return roots;
  const ByteView p(buffer);
  const DictionaryRoots named{be32(p, kSysTablesRootAt), be32(p, kSysColumnsRootAt), be32(p, kSysIndexesRootAt)};
  for (uint32_t root : {named.tables, named.columns, named.indexes}) {
    if (root <= kDictionaryHeaderPage || root >= space.pageCount()) {
      damage = damaged("the dictionary header page is damaged; the dictionary is read from its usual pages");
      return roots;
    }
  }
  return named;
}

// A field of a record: its bytes when it has the given width, else none.
ByteView fieldOfWidth(ByteView page, const std::vector<RecordField>& fields, size_t i, uint32_t width) {
  if (i >= fields.size() || fields[i].isNull || fields[i].length != width) return {};
  return page.sub(fields[i].start, width);
}

std::string textField(ByteView page, const std::vector<RecordField>& fields, size_t i) {
  if (i >= fields.size() || fields[i].isNull) return {};
  std::string_view text = page.sub(fields[i].start, fields[i].length).chars();
  return std::string(text.substr(0, text.find('\0')));
}

// Walks the leaves of a redundant-format tree, handing on each record.
void walkTree(const Tablespace& space, uint32_t root, std::optional<Failure>& damage,
              const std::function<void(ByteView, uint32_t, const std::vector<RecordField>&)>& visit) {
  std::vector<uint8_t> buffer;
  auto note = [&](const std::string& why) {
    if (!damage) damage = damaged(why);
  };
  uint64_t page = root;
  for (int depth = 0;; ++depth) {
    if (depth > kMaxIndexTreeDepth) return note("the dictionary tree is deeper than any tree can be");
    if (Status read = space.readPage(page, buffer); !read) return note(read.reason());
    const ByteView p(buffer);
    if (decodeFilHeader(p).pageType != kIndexPageType) return;
    if (decodeIndexPageHeader(p).level == 0) break;
    RecordChain chain = redundantRecords(p);
    if (chain.origins.empty()) return note("a dictionary node page holds no record");
    auto fields = redundantFields(p, chain.origins.front());
    if (!fields || fields->empty() || fields->back().length != 4) return note("a dictionary node pointer is damaged");
    page = be32(p, fields->back().start);
  }
  std::unordered_set<uint64_t> visited;
  while (page != kNoPage && page < space.pageCount()) {
    if (!visited.insert(page).second) return note("the leaf pages of a dictionary tree loop");
    if (Status read = space.readPage(page, buffer); !read) return note(read.reason());
    const ByteView p(buffer);
    const FilHeader header = decodeFilHeader(p);
    if (header.pageType == kIndexPageType) {
      RecordChain chain = redundantRecords(p);
      if (chain.damage) note(chain.damage->reason);
      for (uint32_t origin : chain.origins) {
        auto fields = redundantFields(p, origin);
        if (!fields) {
          note(fields.reason());
          continue;
        }
        visit(p, origin, *fields);
      }
    }
    page = header.nextPage;
  }
}

bool isDeleted(ByteView page, uint32_t origin) { return redundantInfoBits(page, origin) & kDeletedFlag; }

}  // namespace

bool MainType::isString(int32_t t) { return (t >= 0 && t <= 5) || t == VarMysql || t == Mysql; }

const SysTablesRecord* DictionaryCache::findTable(const std::string& name) const {
  for (const SysTablesRecord& t : sysTables) {
    if (t.name == name && !t.deleted) return &t;
  }
  const std::string lower = asciiLower(name);
  for (const SysTablesRecord& t : sysTables) {
    if (asciiLower(t.name) == lower && !t.deleted) return &t;
  }
  return nullptr;
}

std::string DictionaryCache::whyNotFound(const std::string& name) const {
  const std::string lower = asciiLower(name);
  for (const SysTablesRecord& t : sysTables) {
    if (asciiLower(t.name) == lower) return "the InnoDB dictionary holds " + name + " only as dropped";
  }
  return "the table " + name + " is not in the InnoDB dictionary";
}

const SysIndexesRecord* DictionaryCache::clusteredIndex(uint64_t tableId) const {
  for (const SysIndexesRecord& i : sysIndexes) {
    if (i.tableId == tableId && !i.deleted && (i.indexType & 1)) return &i;
  }
  return nullptr;
}

uint32_t DictionaryCache::clusteredRoot(uint64_t tableId) const {
  const SysIndexesRecord* index = clusteredIndex(tableId);
  return index ? index->rootPage : 0;
}

DictionaryCache loadDictionary(const Tablespace& system, const CollationCatalogue& catalogue) {
  DictionaryCache d;
  const DictionaryRoots roots = dictionaryRoots(system, d.damage);
  walkTree(system, roots.tables, d.damage, [&](ByteView p, uint32_t origin, const std::vector<RecordField>& f) {
    SysTablesRecord t;
    t.name = textField(p, f, 0);
    t.tableId = beN(fieldOfWidth(p, f, 3, 8), 0, 8);
    const uint32_t columns = uint32_t(beN(fieldOfWidth(p, f, 4, 4), 0, 8));
    t.columnCount = columns & 0x7FFFFFFF;
    t.compact = columns & 0x80000000;
    t.tableType = uint32_t(beN(fieldOfWidth(p, f, 5, 4), 0, 8));
    t.spaceId = uint32_t(beN(fieldOfWidth(p, f, 9, 4), 0, 8));
    t.deleted = isDeleted(p, origin);
    d.sysTables.push_back(std::move(t));
  });
  walkTree(system, roots.columns, d.damage, [&](ByteView p, uint32_t origin, const std::vector<RecordField>& f) {
    SysColumnsRecord c;
    c.tableId = beN(fieldOfWidth(p, f, 0, 8), 0, 8);
    c.position = uint32_t(beN(fieldOfWidth(p, f, 1, 4), 0, 8));
    c.name = textField(p, f, 4);
    c.mainType = int32_t(beN(fieldOfWidth(p, f, 5, 4), 0, 8));
    c.preciseType = uint32_t(beN(fieldOfWidth(p, f, 6, 4), 0, 8));
    c.length = uint32_t(beN(fieldOfWidth(p, f, 7, 4), 0, 8));
    c.precision = uint32_t(beN(fieldOfWidth(p, f, 8, 4), 0, 8));
    c.deleted = isDeleted(p, origin);
    // Columns stored before collations were recorded take the defaults.
    if (MainType::isString(c.mainType) && PreciseType::collation(c.preciseType) == 0) {
      const bool binary = c.mainType == MainType::FixBinary || c.mainType == MainType::Binary ||
                          (c.mainType == MainType::Blob && (c.preciseType & PreciseType::Binary));
      c.preciseType += binary ? 0x3F0000 : 0x80000;
    }
    if (MainType::isString(c.mainType)) {
      const int32_t collation = int32_t(PreciseType::collation(c.preciseType));
      c.mbMinLength = catalogue.minBytesPerChar(collation);
      c.mbMaxLength = catalogue.maxBytesPerChar(collation);
    }
    d.sysColumns.push_back(std::move(c));
  });
  walkTree(system, roots.indexes, d.damage, [&](ByteView p, uint32_t origin, const std::vector<RecordField>& f) {
    SysIndexesRecord i;
    i.tableId = beN(fieldOfWidth(p, f, 0, 8), 0, 8);
    i.indexId = beN(fieldOfWidth(p, f, 1, 8), 0, 8);
    i.name = textField(p, f, 4);
    i.fieldCount = uint32_t(beN(fieldOfWidth(p, f, 5, 4), 0, 8));
    i.indexType = uint32_t(beN(fieldOfWidth(p, f, 6, 4), 0, 8));
    i.spaceId = uint32_t(beN(fieldOfWidth(p, f, 7, 4), 0, 8));
    i.rootPage = uint32_t(beN(fieldOfWidth(p, f, 8, 4), 0, 8));
    i.deleted = isDeleted(p, origin);
    d.sysIndexes.push_back(std::move(i));
  });
  return d;
}

}  // namespace tavrin
