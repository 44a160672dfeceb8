// InnoDB: layouts from the dictionary and from the definition alone agree;
// pages of rows; the dictionary of another server; damaged tablespaces give a
// reason, and no crash, hang or read outside a page.

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <random>
#include <set>

#include "base/path.h"
#include "innodb/innodb_table.h"
#include "innodb/page_checksum.h"
#include "innodb/page_compression.h"
#include "innodb/page_zip.h"
#include "innodb/system_tablespace.h"
#include "render/value_renderer.h"
#include "session/table_rows.h"
#include "tabledef/frm_reader.h"
#include "test_support.h"

namespace tavrin {
namespace {

struct System {
  std::optional<Tablespace> space;
  DictionaryCache dictionary;
  explicit System(const std::string& dataFolder) {
    auto s = Tablespace::open(dataFolder + "/ibdata1");
    EXPECT_TRUE(s) << s.reason();
    if (!s) return;
    space.emplace(std::move(*s));
    dictionary = loadDictionary(*space, test::shippedCatalogue());
  }
  InnodbSystem view() const { return {&*space, &dictionary}; }
};

std::string describe(const InnoDbField& f, const TableDefinition& def) {
  return (f.column >= 0 ? def.columns[size_t(f.column)].name : f.systemName) + " type " + std::to_string(f.mainType) +
         (f.mainType == MainType::Int && f.isUnsigned() ? " unsigned" : "") + (f.nullable() ? " null" : "") + " fixed " +
         std::to_string(f.fixedLength) + (f.big() ? " big" : "") + (f.keyPrefix ? " prefix" : "");
}

TEST(InnodbLayout, TheDefinitionAloneGivesTheDictionarysLayout) {
  size_t tables = 0;
  for (const auto& [script, database] : std::vector<std::pair<std::string, std::string>>{
           {"innodb_rows", "inno"}, {"innodb_system", "shared"}, {"structure", "shapes"}, {"innodb_deleted", "gone"}}) {
    System system(test::fixtureData(script));
    const std::string folder = test::fixtureData(script) + "/" + database;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      if (e.path().extension() != ".frm") continue;
      auto def = readFrm(e.path().string(), test::shippedCatalogue());
      if (!def || def->engineCode != kEngineInnodb) continue;
      const std::string name = database + "/" + e.path().stem().string();
      const SysTablesRecord* known = system.dictionary.findTable(name);
      ASSERT_TRUE(known) << name;
      if (!known->compact) continue;
      auto fromDictionary = layoutFromDictionary(*def, system.dictionary, known->tableId);
      ASSERT_TRUE(fromDictionary) << fromDictionary.reason();
      const ClusteredLayout fromDefinition = layoutFromDefinition(*def, test::shippedCatalogue());
      ASSERT_EQ(fromDictionary->fields.size(), fromDefinition.fields.size()) << name;
      EXPECT_EQ(fromDictionary->keyFields, fromDefinition.keyFields) << name;
      for (size_t i = 0; i < fromDefinition.fields.size(); ++i) {
        EXPECT_EQ(describe(fromDictionary->fields[i], *def), describe(fromDefinition.fields[i], *def)) << name;
      }
      ++tables;
    }
  }
  EXPECT_GT(tables, 30u);
}

TEST(InnodbLayout, ClusteringKeysInTheKeysOrder) {
  System system(test::fixtureData("innodb_rows"));
  auto order = [&](const std::string& table) {
    auto def = readFrm(test::fixtureData("innodb_rows") + "/inno/" + table + ".frm", test::shippedCatalogue());
    EXPECT_TRUE(def);
    std::string names;
    for (const InnoDbField& f : layoutFromDefinition(*def, test::shippedCatalogue()).fields) {
      names += (names.empty() ? "" : " ") + (f.column >= 0 ? def->columns[size_t(f.column)].name : f.systemName);
    }
    return names;
  };
  EXPECT_EQ(order("reversed_key"), "d b a DB_TRX_ID DB_ROLL_PTR c");
  EXPECT_EQ(order("no_key"), "DB_ROW_ID DB_TRX_ID DB_ROLL_PTR a b c");
  EXPECT_EQ(order("unique_key"), "c b DB_TRX_ID DB_ROLL_PTR a");
  EXPECT_EQ(order("computed"), "a DB_TRX_ID DB_ROLL_PTR c w h");
}

TEST(InnodbLayout, FixedLengths) {
  struct Case {
    int32_t mainType;
    uint32_t preciseType, length;
    int32_t mbMin, mbMax;
    uint32_t fixed;
  } cases[] = {
      {MainType::Mysql, 0x210000, 30, 1, 3, 0},    // CHAR(10) in utf8mb3
      {MainType::Mysql, 0x080000, 10, 1, 1, 10},   // a single-byte set
      {MainType::Mysql, 0x230000, 20, 2, 2, 20},   // ucs2: every character two bytes
      {MainType::FixBinary, 0, 1000, 0, 0, 0},     // longer than a fixed field can be
      {MainType::FixBinary, 0, 768, 0, 0, 768},
      {MainType::VarMysql, 0, 10, 1, 4, 0},
      {MainType::Blob, 0, 10, 0, 0, 0},
      {MainType::Int, 0, 4, 0, 0, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(innodbFixedLength(c.mainType, c.preciseType, c.length, c.mbMin, c.mbMax), c.fixed) << c.mainType;
  }
}

struct Page {
  std::vector<std::vector<std::string>> rows;
  WalkEnd end;
};

Page readPage(TableRows& table, PageStart start, ReadOptions options = {true, false}) {
  ValueRenderer renderer(table.definition(), test::shippedCatalogue(), TextForm{options.fullValues, 0, {}});
  Page page;
  std::vector<std::string> cells;
  page.end = table.read(start, kRowsPerPage, [&](const RowValues& row) {
    renderer.render(row, cells);
    page.rows.push_back(cells);
  }, options);
  return page;
}

TEST(InnodbPages, NextAndPreviousStartsGiveTheSamePages) {
  System system(test::fixtureData("innodb_rows"));
  auto opened = TableRows::open(test::fixtureData("innodb_rows") + "/inno", "big", test::shippedCatalogue(),
                                [&] { return system.view(); });
  ASSERT_TRUE(opened) << opened.reason();
  TableRows& table = **opened;
  std::vector<PageStart> starts = {table.firstPage()};
  std::vector<std::string> firstIds;
  while (true) {
    Page page = readPage(table, starts.back());
    ASSERT_TRUE(test::problems(page.end).empty()) << test::problems(page.end);
    if (page.rows.empty()) break;
    firstIds.push_back(page.rows.front()[0]);
    ASSERT_EQ(page.rows.size(), 1000u);
    ASSERT_EQ(page.rows.back()[0], std::to_string(1000 * starts.size()));
    if (page.end.atEnd) break;
    starts.push_back(page.end.next);
  }
  EXPECT_EQ(firstIds.size(), 120u);
  for (size_t i : {57u, 3u, 0u}) EXPECT_EQ(readPage(table, starts[i]).rows.front()[0], firstIds[i]);
}

TEST(InnodbPages, DeletedRowsInsteadOfLiveOnes) {
  System system(test::fixtureData("innodb_deleted"));
  auto opened = TableRows::open(test::fixtureData("innodb_deleted") + "/gone", "compact_kept",
                                test::shippedCatalogue(), [&] { return system.view(); });
  ASSERT_TRUE(opened);
  Page live = readPage(**opened, (*opened)->firstPage());
  Page deleted = readPage(**opened, (*opened)->firstPage(), {true, true});
  ASSERT_EQ(live.rows.size(), 2u);
  ASSERT_EQ(deleted.rows.size(), 1u);
  EXPECT_EQ(deleted.rows[0][0], "2");
  EXPECT_EQ(deleted.rows[0][1], "b");
}

TEST(InnodbOtherServer, TheMariaDb101Dictionary) {
  System system(test::realFixtures() + "/mariadb-10.1.9-datadir");
  EXPECT_FALSE(system.dictionary.damage) << system.dictionary.damage->reason;
  for (const char* name : {"mysql/gtid_slave_pos", "mysql/innodb_index_stats", "mysql/innodb_table_stats"}) {
    const SysTablesRecord* t = system.dictionary.findTable(name);
    ASSERT_TRUE(t) << name;
    EXPECT_TRUE(t->compact);
    EXPECT_NE(system.dictionary.clusteredRoot(t->tableId), 0u) << name;
    // Every column the table counts has its record.
    const auto columns = std::count_if(system.dictionary.sysColumns.begin(), system.dictionary.sysColumns.end(),
                                       [&](const SysColumnsRecord& c) { return c.tableId == t->tableId; });
    EXPECT_EQ(size_t(columns), t->columnCount) << name;
  }
}

// A copy of a table's definition and tablespace, without the system
// tablespace, to damage.
struct TablespaceCopy {
  test::ScratchFolder folder;
  std::vector<uint8_t> frm, ibd;
  TablespaceCopy(const std::string& script, const std::string& database, const std::string& name) {
    const std::string from = test::fixtureData(script) + "/" + database + "/" + name;
    frm = test::readBytes(from + ".frm");
    ibd = test::readBytes(from + ".ibd");
  }
  Result<std::unique_ptr<TableRows>> open() {
    folder.write("db/t.frm", std::string(frm.begin(), frm.end()));
    folder.write("db/t.ibd", std::string(ibd.begin(), ibd.end()));
    return TableRows::open(folder.path() + "/db", "t", test::shippedCatalogue());
  }
  size_t pageSize() const { return 16384; }
  void setBe32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) ibd[at + i] = uint8_t(v >> (8 * (3 - i)));
  }
};

// Reads every page; every walk must end.
std::string walkAll(TableRows& table, size_t& rows) {
  PageStart start = table.firstPage();
  std::set<std::pair<int64_t, int64_t>> seen;
  std::string damage;
  while (seen.insert({start.page, start.position}).second) {
    Page page = readPage(table, start);
    rows += page.rows.size();
    if (damage.empty()) damage = test::problems(page.end);
    if (page.end.atEnd) return damage;
    start = page.end.next;
  }
  return damage.empty() ? "the pages loop" : damage;
}

TEST(InnodbDamage, WalksEndWithAReason) {
  {
    TablespaceCopy copy("innodb_rows", "inno", "big");
    auto table = copy.open();
    ASSERT_TRUE(table) << table.reason();
    const int64_t leaf = (*table)->firstPage().page;
    // The first leaf's next page is the leaf itself.
    copy.setBe32(size_t(leaf) * copy.pageSize() + 12, uint32_t(leaf));
    auto damaged = copy.open();
    ASSERT_TRUE(damaged);
    size_t rows = 0;
    EXPECT_NE(walkAll(**damaged, rows).find("loop"), std::string::npos);
    EXPECT_EQ(rows, 120000u);  // the leaves after it are found by scanning
  }
  {
    TablespaceCopy copy("innodb_rows", "inno", "big");
    // The root's first node pointer leads past the end of the file.
    auto table = copy.open();
    ASSERT_TRUE(table);
    const size_t root = 3 * copy.pageSize();
    const uint32_t first = (be16(ByteView(copy.ibd), root + 97) + 99) & 0xFFFF;
    copy.setBe32(root + first + 4, 0x7FFFFFFF);  // the key is a 4-byte INT
    auto damaged = copy.open();
    ASSERT_TRUE(damaged) << damaged.reason();
    size_t rows = 0;
    EXPECT_NE(walkAll(**damaged, rows).find("outside the file"), std::string::npos);
    EXPECT_EQ(rows, 120000u);  // the tree is passed by, its leaves found by scanning
  }
  {
    TablespaceCopy copy("innodb_rows", "inno", "apart_dynamic");
    // Every BLOB page's next page is itself.
    for (size_t p = 0; p < copy.ibd.size() / copy.pageSize(); ++p) {
      if (be16(ByteView(copy.ibd), p * copy.pageSize() + 24) == kBlobPageType) {
        copy.setBe32(p * copy.pageSize() + 38 + 4, uint32_t(p));
      }
    }
    auto table = copy.open();
    ASSERT_TRUE(table);
    size_t rows = 0;
    EXPECT_NE(walkAll(**table, rows).find("loop"), std::string::npos);
    EXPECT_EQ(rows, 4u);  // the values apart are cut short, the rows are there
  }
}

// Tables kept in ibdata1: their leaves are found by scanning the whole
// system tablespace for pages of their index.
TEST(InnodbDamage, LeavesInTheSystemTablespaceFoundByScanning) {
  const std::string fixture = test::fixtureData("innodb_system");
  std::vector<uint8_t> ibdata = test::readBytes(fixture + "/ibdata1");
  test::ScratchFolder folder;
  auto rowsOf = [&](std::string& damage) {
    folder.write("ibdata1", std::string(ibdata.begin(), ibdata.end()));
    System system(folder.path());
    auto table = TableRows::open(fixture + "/shared", "in_system_compact", test::shippedCatalogue(),
                                 [&] { return system.view(); });
    EXPECT_TRUE(table) << table.reason();
    size_t rows = 0;
    if (table) damage = walkAll(**table, rows);
    return std::make_pair(rows, table ? uint64_t((*table)->firstPage().page) : 0);
  };
  std::string damage;
  const auto [all, firstLeaf] = rowsOf(damage);
  ASSERT_EQ(all, 1500u);
  ASSERT_EQ(damage, "");
  const size_t at = size_t(firstLeaf) * 16384;
  const uint16_t onFirstLeaf = be16(ByteView(ibdata), at + 54);
  for (int i = 0; i < 4; ++i) ibdata[at + 12 + i] = 0xFF;  // the first leaf is the last
  EXPECT_EQ(rowsOf(damage).first, all);
  EXPECT_NE(damage.find("ends early"), std::string::npos) << damage;
  std::fill(ibdata.begin() + at, ibdata.begin() + at + 16384, 0);
  EXPECT_EQ(rowsOf(damage).first, all - onFirstLeaf);
  EXPECT_NE(damage.find("the index tree is damaged"), std::string::npos) << damage;
}

// Random damage: what these rounds prove (no crash, no hang, no read outside
// a buffer) is judged by the sanitizer build, which runs them too.
TEST(InnodbDamage, RandomlyChangedTablespaces) {
  std::mt19937 random(test::fuzzSeed(5));
  for (const char* name : {"every_dynamic", "many_nulls", "apart_compact", "reversed_key"}) {
    TablespaceCopy original("innodb_rows", "inno", name);
    for (int round = 0; round < 120; ++round) {
      TablespaceCopy copy("innodb_rows", "inno", name);
      const size_t pages = copy.ibd.size() / copy.pageSize();
      for (int i = 0, n = 1 + int(random() % 24); i < n; ++i) {
        // Mostly the index pages, where the records are.
        const size_t page = random() % 2 ? 3 : random() % pages;
        copy.ibd[page * copy.pageSize() + random() % copy.pageSize()] = uint8_t(random());
      }
      auto table = copy.open();
      if (!table) {
        EXPECT_FALSE(table.reason().empty());
        continue;
      }
      size_t rows = 0;
      walkAll(**table, rows);
    }
  }
}

TEST(InnodbDamage, AColumnPositionPastTheTableIsNoColumnOfIt) {
  TableDefinition table;
  table.columns.resize(1);
  table.columns[0].name = "a";
  DictionaryCache dictionary;
  SysColumnsRecord far;
  far.tableId = 7;
  far.position = 0xFFFFFFF0;  // once sized a list of four billion columns
  dictionary.sysColumns.push_back(far);
  auto layout = layoutFromDictionary(table, dictionary, 7);
  ASSERT_FALSE(layout);
  EXPECT_EQ(layout.reason(), "the InnoDB dictionary has no record of column a");
}

// Damage to the root page of one dictionary tree leaves the other trees as
// they were. Whether the damaged tree is read without a crash or a read
// outside its page is judged by the sanitizer build, which runs these rounds
// too.
TEST(InnodbDamage, RandomlyChangedDictionary) {
  const std::vector<uint8_t> whole = test::readBytes(test::realFixtures() + "/mariadb-10.1.9-datadir/ibdata1");
  const std::vector<uint8_t> original(whole.begin(), whole.begin() + 16 * 16384);
  test::ScratchFolder folder;
  auto intactSpace = Tablespace::open(folder.write("intact", std::string(original.begin(), original.end())));
  ASSERT_TRUE(intactSpace);
  const DictionaryCache intact = loadDictionary(*intactSpace, test::shippedCatalogue());
  ASSERT_FALSE(intact.damage) << intact.damage->reason;
  constexpr uint32_t kSysTablesRoot = 8, kSysColumnsRoot = 10, kSysIndexesRoot = 11;
  std::mt19937 random(test::fuzzSeed(6));
  for (int round = 0; round < 60; ++round) {
    const uint32_t roots[] = {kSysTablesRoot, kSysColumnsRoot, kSysIndexesRoot};
    const uint32_t root = roots[round % 3];
    std::vector<uint8_t> damaged = original;
    for (int i = 0; i < 16; ++i) damaged[root * 16384 + random() % 16384] = uint8_t(random());
    const std::string path = folder.write("ibdata1", std::string(damaged.begin(), damaged.end()));
    auto space = Tablespace::open(path);
    ASSERT_TRUE(space);
    DictionaryCache d = loadDictionary(*space, test::shippedCatalogue());
    const size_t tables = root == kSysTablesRoot ? intact.sysTables.size() : d.sysTables.size();
    const size_t columns = root == kSysColumnsRoot ? intact.sysColumns.size() : d.sysColumns.size();
    const size_t indexes = root == kSysIndexesRoot ? intact.sysIndexes.size() : d.sysIndexes.size();
    EXPECT_EQ(tables, intact.sysTables.size()) << "round " << round;
    EXPECT_EQ(columns, intact.sysColumns.size()) << "round " << round;
    EXPECT_EQ(indexes, intact.sysIndexes.size()) << "round " << round;
  }
}

// Every page that the servers wrote passes its check, whichever algorithm
// wrote it; one changed byte fails it.
TEST(InnodbChecksums, EveryPageOfEveryServer) {
  const std::string real = test::realFixtures();
  const struct {
    std::string path;
    const char* algorithm;
  } files[] = {
      {test::fixtureData("innodb_rows") + "/inno/big.ibd", "full_crc32 (MariaDB 10.11)"},
      {test::fixtureData("innodb_system") + "/ibdata1", "full_crc32, system tablespace"},
      {test::fixtureData("checksum_crc32") + "/crc/t.ibd", "crc32 (the classic format)"},
      {test::fixtureData("page_size_4k") + "/ibdata1", "full_crc32, 4 KiB pages"},
      {test::fixtureData("page_size_64k") + "/ibdata1", "full_crc32, 64 KiB pages"},
      {real + "/mysql-5.5.35-sakila/film.ibd", "innodb (MySQL 5.5)"},
      {real + "/mariadb-10.1.9-datadir/ibdata1", "innodb (MariaDB 10.1)"},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.algorithm);
    auto space = Tablespace::open(file.path);
    ASSERT_TRUE(space) << space.reason();
    std::vector<uint8_t> page;
    size_t written = 0;
    for (uint64_t n = 0; n < space->pageCount(); ++n) {
      // The doublewrite buffer of a system tablespace holds copies of pages of other places.
      if (Status read = space->readPage(n, page); !read) {
        EXPECT_NE(read.reason().find(" holds page "), std::string::npos) << read.reason();
        continue;
      }
      const PageChecksum check = checkPageChecksum(ByteView(page), space->fullCrc32());
      ASSERT_TRUE(check == PageChecksum::Sound || check == PageChecksum::Empty) << "page " << n << ": "
                                                                                << checksumProblem(check);
      if (check != PageChecksum::Sound) continue;
      ++written;
      page[200 + n % 1000] ^= 0x01;
      EXPECT_EQ(checkPageChecksum(ByteView(page), space->fullCrc32()), PageChecksum::Mismatch) << "page " << n;
    }
    EXPECT_GT(written, 3u);
  }
}

// Every page of every compressed table passes its checksum as the file holds
// it, and every index page decompresses; one changed byte fails the checksum.
TEST(InnodbCompressed, EveryPageDecompressesAndPassesItsChecksum) {
  for (const char* name : {"every_zip1", "no_key_zip2", "apart_zip4", "big_zip", "every_zip8", "every_zip16"}) {
    SCOPED_TRACE(name);
    const std::string path = test::fixtureData("innodb_compressed") + "/zip/" + name + ".ibd";
    auto space = Tablespace::open(path);
    ASSERT_TRUE(space) << space.reason();
    ASSERT_TRUE(space->isCompressed());
    std::vector<uint8_t> raw = test::readBytes(path);
    std::vector<uint8_t> page;
    size_t indexPages = 0;
    for (uint64_t n = 0; n < space->pageCount(); ++n) {
      ASSERT_TRUE(space->readPage(n, page)) << "page " << n;
      const PageChecksum check = space->checksum(n, ByteView(page));
      ASSERT_TRUE(check == PageChecksum::Sound || check == PageChecksum::Empty) << "page " << n;
      if (decodeFilHeader(ByteView(page)).pageType == kIndexPageType) {
        ++indexPages;
        EXPECT_EQ(page.size(), space->pageSize());
      }
      if (check != PageChecksum::Sound) continue;
      ByteView zip(raw.data() + n * space->physicalPageSize(), space->physicalPageSize());
      std::vector<uint8_t> changed = zip.copy();
      changed[100 + n % 300] ^= 0x01;
      EXPECT_EQ(checkCompressedPageChecksum(ByteView(changed)), PageChecksum::Mismatch) << "page " << n;
    }
    EXPECT_GT(indexPages, 0u);
  }
}

// A compressed page changed by hand: each change is refused with its reason.
TEST(InnodbCompressed, DamagedPagesGiveAReason) {
  const std::string path = test::fixtureData("innodb_compressed") + "/zip/every_zip8.ibd";
  const std::vector<uint8_t> raw = test::readBytes(path);
  constexpr size_t kZip = 8192;
  const std::vector<uint8_t> root(raw.begin() + 3 * kZip, raw.begin() + 4 * kZip);
  std::vector<uint8_t> page;
  ASSERT_TRUE(decompressIndexPage(ByteView(root), 16384, page));
  // The modification log follows the stream.
  z_stream stream{};
  ASSERT_EQ(inflateInit2(&stream, 14), Z_OK);
  stream.next_in = const_cast<Bytef*>(root.data() + 94);
  stream.avail_in = uInt(kZip - 94);
  stream.next_out = page.data();
  stream.avail_out = uInt(page.size());
  ASSERT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  const size_t log = 94 + stream.total_in;
  inflateEnd(&stream);
  ASSERT_TRUE(decompressIndexPage(ByteView(root), 16384, page));
  const struct {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> change;
    const char* reason;
  } cases[] = {
      {"a log naming a record past the heap", [&](auto& z) { z[log] = 0xFF, z[log + 1] = 0xFF; }, "names a record it lacks"},
      {"a log without its end", [&](auto& z) { std::fill(z.begin() + log, z.end() - 100, 0x02); }, "runs off its end"},
      {"a damaged stream start", [](auto& z) { z[94] = 0xFF; }, "stream is damaged at its start"},
      {"a heap larger than the page", [](auto& z) { z[42] = 0xFF; }, "larger than the page"},
      {"no compact flag", [](auto& z) { z[42] &= 0x7F; }, "compact"},
      {"more records than the directory", [](auto& z) { z[54] = 0x7F; }, "more records"},
      {"a directory entry outside the records", [](auto& z) { z[kZip - 2] = 0x3F, z[kZip - 1] = 0xFF; }, "outside its records"},
      {"a directory slot too many", [](auto& z) { z[39] += 1; }, "directory slots"},
      {"a page smaller than its logical size asks", [](auto& z) { z.resize(100); }, "cannot hold"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> zip = root;
    c.change(zip);
    Status s = decompressIndexPage(ByteView(zip), 16384, page);
    ASSERT_FALSE(s) << c.what;
    EXPECT_NE(s.reason().find(c.reason), std::string::npos) << c.what << ": " << s.reason();
  }
}

// Random damage to compressed pages: no crash, hang or read outside a buffer
// (judged by the sanitizer build).
TEST(InnodbCompressed, RandomlyChangedPages) {
  std::mt19937 random(test::fuzzSeed(7));
  for (const char* name : {"every_zip1", "big_zip", "apart_zip4"}) {
    const std::string path = test::fixtureData("innodb_compressed") + "/zip/" + name + ".ibd";
    auto space = Tablespace::open(path);
    ASSERT_TRUE(space);
    const std::vector<uint8_t> raw = test::readBytes(path);
    const size_t size = space->physicalPageSize();
    for (int round = 0; round < 300; ++round) {
      const size_t n = 3 + random() % 2;
      std::vector<uint8_t> zip(raw.begin() + n * size, raw.begin() + (n + 1) * size);
      for (int i = 0, k = 1 + int(random() % 8); i < k; ++i) zip[random() % size] = uint8_t(random());
      std::vector<uint8_t> page;
      Status s = decompressIndexPage(ByteView(zip), space->pageSize(), page);
      if (!s) {
        EXPECT_FALSE(s.reason().empty());
      }
    }
  }
}

// Pages compressed whole (PAGE_COMPRESSED), in both formats, beside pages
// that did not shrink: each inflates and passes its checksum; a changed byte
// of one as written fails it.
TEST(InnodbPageCompressed, EveryPageInflatesAndPassesItsChecksum) {
  for (const char* name : {"every_squeezed", "big_squeezed", "classic_squeezed"}) {
    SCOPED_TRACE(name);
    const std::string path = test::fixtureData("innodb_page_compressed") + "/squeezed/" + name + ".ibd";
    auto space = Tablespace::open(path);
    ASSERT_TRUE(space) << space.reason();
    const PageCompression format{space->fullCrc32(), space->fullCrc32() ? kPageCompressionZlib : 0};
    const std::vector<uint8_t> raw = test::readBytes(path);
    std::vector<uint8_t> page;
    size_t inflated = 0;
    for (uint64_t n = 0; n < space->pageCount(); ++n) {
      ASSERT_TRUE(space->readPage(n, page)) << "page " << n;
      ASSERT_EQ(page.size(), space->pageSize());
      const PageChecksum check = space->checksum(n, ByteView(page));
      ASSERT_TRUE(check == PageChecksum::Sound || check == PageChecksum::Empty) << "page " << n;
      const ByteView written(raw.data() + n * 16384, 16384);
      if (!isPageCompressed(written, format)) continue;
      ++inflated;
      EXPECT_NE(decodeFilHeader(ByteView(page)).pageType, decodeFilHeader(written).pageType);
      if (!format.fullCrc32) continue;
      std::vector<uint8_t> changed = written.copy();
      changed[30 + n % 200] ^= 0x01;
      EXPECT_EQ(checkFullCrc32CompressedPage(ByteView(changed), 16384), PageChecksum::Mismatch) << "page " << n;
    }
    EXPECT_GT(inflated, 2u);
  }
}

// A page compressed whole, changed by hand: each change is refused with its reason.
TEST(InnodbPageCompressed, DamagedPagesGiveAReason) {
  const auto pageOf = [](const char* table) {
    const std::vector<uint8_t> raw = test::readBytes(test::fixtureData("innodb_page_compressed") + "/squeezed/" +
                                                     table + ".ibd");
    return std::vector<uint8_t>(raw.begin() + 3 * 16384, raw.begin() + 4 * 16384);
  };
  const std::vector<uint8_t> fullCrc32Root = pageOf("every_squeezed");
  const std::vector<uint8_t> classicRoot = pageOf("classic_squeezed");
  const PageCompression fullCrc32{true, kPageCompressionZlib}, classic{false, 0};
  const size_t written = size_t(be16(ByteView(fullCrc32Root), 24) & 0x7FFF) << 8;
  const struct {
    const char* what;
    bool isClassic;
    PageCompression format;
    std::function<void(std::vector<uint8_t>&)> change;
    const char* reason;
  } cases[] = {
      {"lz4 in the flags", false, {true, 2}, [](auto&) {}, "compressed with lz4, which this tool does not read"},
      {"an algorithm no server has", false, {true, 7}, [](auto&) {}, "unknown compression algorithm (7)"},
      {"a length of a whole page", false, fullCrc32, [](auto& p) { p[25] = 0x40; }, "length (16384 bytes) is impossible"},
      {"a stream cut short", false, fullCrc32, [](auto& p) { p[25] = 1; }, "the compressed page ends after"},
      {"a damaged stream", false, fullCrc32, [](auto& p) { p[26] = 0xFF; }, "not a sound zlib stream"},
      {"no stream", false, fullCrc32, [](auto& p) { std::fill(p.begin() + 26, p.end(), 0); }, "not a sound zlib"},
      {"an encrypted page", true, classic, [](auto& p) { p[24] = 0x92, p[25] = 0x19; }, "the page is encrypted"},
      {"a checksum where none is kept", true, classic, [](auto& p) { p[0] = 0; }, "header of the compressed page"},
      {"lzma", true, classic, [](auto& p) { p[33] = 4; }, "compressed with lzma"},
      {"a stream of no bytes", true, classic, [](auto& p) { p[38] = 0, p[39] = 0; }, "length (0 bytes) is impossible"},
      {"a stream past the page", true, classic, [](auto& p) { p[38] = 0x7F, p[39] = 0xF0; }, "is impossible"},
      {"a page cut short", true, classic, [](auto& p) { p.resize(60); }, "is impossible"},
  };
  std::vector<uint8_t> page;
  for (const auto& c : cases) {
    std::vector<uint8_t> raw = c.isClassic ? classicRoot : fullCrc32Root;
    c.change(raw);
    ASSERT_TRUE(isPageCompressed(ByteView(raw), c.format)) << c.what;
    Status s = inflateCompressedPage(ByteView(raw), 16384, c.format, page);
    ASSERT_FALSE(s) << c.what;
    EXPECT_NE(s.reason().find(c.reason), std::string::npos) << c.what << ": " << s.reason();
  }
  EXPECT_TRUE(inflateCompressedPage(ByteView(fullCrc32Root).sub(0, written), 16384, fullCrc32, page));
  EXPECT_TRUE(inflateCompressedPage(ByteView(classicRoot), 16384, classic, page));
}


// A page read where it is not its own place, tablespace or index says what
// it claims; a page never written claims nothing.
TEST(InnodbOwnership, APageSaysWhoseItIs) {
  std::vector<uint8_t> leaf(16384, 0);
  auto set = [&](size_t at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) leaf[at + size_t(i)] = uint8_t(value >> (8 * (width - 1 - i)));
  };
  set(4, 7, 4);                // FIL_PAGE_OFFSET
  set(24, kIndexPageType, 2);  // FIL_PAGE_TYPE
  set(34, 17, 4);              // FIL_PAGE_SPACE_ID
  set(66, 35, 8);              // PAGE_INDEX_ID
  std::vector<uint8_t> blob = leaf;
  blob[24] = 0, blob[25] = uint8_t(kBlobPageType);
  const std::vector<uint8_t> unwritten(16384, 0);
  const struct {
    const char* what;
    const std::vector<uint8_t>& page;
    PageOwner owner;
    const char* reason;  // "" when the page is the one expected
  } cases[] = {
      {"its own", leaf, {17, 7, 35}, ""},
      {"any index", leaf, {17, 7, 0}, ""},
      {"its space unknown", leaf, {std::nullopt, 7, 35}, ""},
      {"another tablespace", leaf, {5, 7, 0}, "page 7 belongs to tablespace 17, index 35"},
      {"another index", leaf, {17, 7, 36}, "page 7 belongs to tablespace 17, index 35"},
      {"another place", leaf, {17, 9, 35}, "page 9 holds page 7 of tablespace 17, index 35"},
      {"another place, its space unknown", leaf, {std::nullopt, 9, 0}, "page 9 holds page 7 of tablespace 17, index 35"},
      {"no index page: no index to compare", blob, {17, 7, 36}, ""},
      {"no index page of another tablespace", blob, {5, 7, 0}, "page 7 belongs to tablespace 17"},
      {"never written", unwritten, {17, 7, 35}, ""},
      {"cut short", std::vector<uint8_t>(leaf.begin(), leaf.begin() + 30), {17, 7, 35}, "page 7 belongs to tablespace 0, index 0"},
  };
  for (const auto& c : cases) {
    const Status owned = checkPageOwner(ByteView(c.page), c.owner);
    EXPECT_EQ(owned ? "" : owned.reason(), c.reason) << c.what;
  }
}

std::vector<std::string> allRowsOf(TableRows& table, std::vector<std::string>& losses) {
  ValueRenderer renderer(table.definition(), test::shippedCatalogue(), TextForm{true, 0, {}});
  std::vector<std::string> rows, cells;
  const WalkEnd end = readAllRows(table.rows(), [&](const RowValues& row) {
    renderer.render(row, cells);
    std::string line;
    for (const std::string& cell : cells) line += cell + '\t';
    rows.push_back(line);
  }, ReadOptions{true, false});
  losses = end.passedOver.lines();
  return rows;
}

// A damaged page 0 is said once; the page size, the checksum format and the
// space id come from the pages after it, and every row is read as before.
TEST(InnodbFirstPage, DamagedItIsSaidOnceAndTheRestIsRead) {
  const auto zero = [](std::vector<uint8_t>& page) { std::fill(page.begin(), page.end(), 0); };
  const auto flip = [](std::vector<uint8_t>& page) { page[200] ^= 0x10; };
  const struct {
    const char* script;
    const char* database;
    const char* table;
    size_t physicalSize;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* said;
  } cases[] = {
      {"salvage", "salvage", "inno_int", 16384, zero,
       "every byte of the page is zero; the pages after it give 16384-byte pages, full_crc32 checksums, space "},
      {"checksum_crc32", "crc", "t", 16384, zero, "the pages after it give 16384-byte pages, classic checksums"},
      {"checksum_crc32", "crc", "t", 16384, flip, "page 0: the page fails its checksum; the pages after it give"},
      {"page_size_4k", "sized", "own", 4096, zero, "the pages after it give 4096-byte pages, full_crc32 checksums"},
      {"innodb_compressed", "zip", "big_zip", 1024, zero, "no space header (its type is 0); the pages after it give "
                                                          "16384-byte pages, compressed to 1024 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.script) + " " + c.table);
    TablespaceCopy copy(c.script, c.database, c.table);
    auto intact = copy.open();
    ASSERT_TRUE(intact) << intact.reason();
    std::vector<std::string> none;
    const std::vector<std::string> expected = allRowsOf(**intact, none);
    ASSERT_EQ(none, std::vector<std::string>{});
    std::vector<uint8_t> first(copy.ibd.begin(), copy.ibd.begin() + ptrdiff_t(c.physicalSize));
    c.damage(first);
    std::copy(first.begin(), first.end(), copy.ibd.begin());
    auto damaged = copy.open();
    ASSERT_TRUE(damaged) << damaged.reason();
    std::vector<std::string> losses;
    EXPECT_EQ(allRowsOf(**damaged, losses), expected);
    ASSERT_EQ(losses.size(), 1u) << ::testing::PrintToString(losses);
    EXPECT_EQ(losses[0].find(copy.folder.path() + "/db/t.ibd page 0: "), 0u) << losses[0];
    EXPECT_NE(losses[0].find(c.said), std::string::npos) << losses[0];
  }
}

// The system tablespace with its page 0 zeroed is still space 0, by the
// pages after it, and its tables are read whole.
TEST(InnodbFirstPage, TheSystemTablespaceWithoutItIsStillSpaceZero) {
  const std::string fixture = test::fixtureData("innodb_system");
  std::vector<uint8_t> ibdata = test::readBytes(fixture + "/ibdata1");
  std::fill(ibdata.begin(), ibdata.begin() + 16384, 0);
  test::ScratchFolder folder;
  auto system = SystemTablespace::open(folder.write("ibdata1", std::string(ibdata.begin(), ibdata.end())),
                                       test::shippedCatalogue());
  ASSERT_TRUE(system) << system.reason();
  EXPECT_EQ((*system)->system().space->spaceId(), 0u);
  auto table = TableRows::open(fixture + "/shared", "in_system_compact", test::shippedCatalogue(),
                               [&] { return (*system)->system(); });
  ASSERT_TRUE(table) << table.reason();
  std::vector<std::string> losses;
  EXPECT_EQ(allRowsOf(**table, losses).size(), 1500u);
  ASSERT_EQ(losses.size(), 1u) << ::testing::PrintToString(losses);
  EXPECT_NE(losses[0].find("ibdata1 page 0: every byte of the page is zero; the pages after it give 16384-byte pages, "
                           "full_crc32 checksums, space 0"),
            std::string::npos)
      << losses[0];
}

// A page whose rows are read in two calls, or that two walks pass, is one
// damaged page; rows and values count each time.
TEST(InnodbDamage, APageCountsOnceHoweverOftenItIsRead) {
  DamageReport first, second;
  first.note("written only in part, read all the same", atPage("f", 4), "page");
  first.note("written only in part, read all the same", atPage("f", 4), "page");
  first.note("written only in part, read all the same", atPage("f", 5), "page");
  first.passOver("a damaged record", atPage("f", 4));
  first.passOver("a damaged record", atPage("f", 4));
  second.note("written only in part, read all the same", atPage("f", 5), "page");
  second.note("written only in part, read all the same", atPage("f", 6), "page");
  second.passOver("not a leaf", {}, "page", 2);  // pages named nowhere count as given
  second.passOver("not a leaf", {}, "page", 2);
  first.merge(second);
  EXPECT_EQ(first.lines(), (std::vector<std::string>{
                               "3 pages written only in part, read all the same (the first at f page 4)",
                               "2 rows passed over: a damaged record (the first at f page 4)",
                               "4 pages passed over: not a leaf",
                           }));
}

// A sparse file: its holes are passed by, and a scan stops where the space
// header says the space ends, or, with page 0 damaged, at the last data.
TEST(InnodbSparse, HolesAndPagesPastTheSpaceAreNotVisited) {
  TablespaceCopy copy("salvage", "salvage", "inno_int");
  const uint64_t pages = copy.ibd.size() / copy.pageSize();
  const uint32_t spaceSize = be32(ByteView(copy.ibd), kFilHeaderSize + 8);  // FSP_SIZE
  ASSERT_TRUE(copy.open());
  const std::string path = copy.folder.path() + "/db/t.ibd";
  constexpr uint64_t kSparsePages = 1u << 16;  // 1 GiB, all of it past the data a hole
  std::filesystem::resize_file(path, kSparsePages * copy.pageSize());
  auto sound = Tablespace::open(path);
  ASSERT_TRUE(sound) << sound.reason();
  EXPECT_EQ(sound->pageCount(), kSparsePages);
  EXPECT_EQ(sound->spacePages(), spaceSize);
  EXPECT_EQ(sound->dataPages(spaceSize).first, spaceSize);  // nothing past the space
  EXPECT_EQ(sound->dataPages(spaceSize).end, spaceSize);
  // Page 0 damaged: no space header to stop at, only the holes.
  std::vector<uint8_t> zero(copy.pageSize(), 0);
  test::ScratchFolder other;
  std::string bytes(copy.ibd.begin(), copy.ibd.end());
  std::fill(bytes.begin(), bytes.begin() + ptrdiff_t(copy.pageSize()), '\0');
  const std::string damagedPath = other.write("t.ibd", bytes);
  std::filesystem::resize_file(damagedPath, kSparsePages * copy.pageSize());
  auto damaged = Tablespace::open(damagedPath);
  ASSERT_TRUE(damaged) << damaged.reason();
  EXPECT_EQ(damaged->spacePages(), kSparsePages);
  const Tablespace::PageRun data = damaged->dataPages(0);
  EXPECT_LE(data.end, pages);
  EXPECT_EQ(damaged->dataPages(pages).first, kSparsePages);
  // And the rows of the sparse copy, read whole, are those of the file.
  auto table = TableRows::open(copy.folder.path() + "/db", "t", test::shippedCatalogue());
  ASSERT_TRUE(table);
  std::vector<std::string> losses;
  EXPECT_EQ(allRowsOf(**table, losses).size(), 20000u);
  EXPECT_EQ(losses, std::vector<std::string>{});
}

}  // namespace
}  // namespace tavrin
