// MyISAM rows: pages, the display form, the tables of another server, and
// damaged files (a reason, and no crash, hang or read outside the bytes).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "myisam/definition_state.h"
#include "myisam/dynamic_row.h"
#include "myisam/myisam_table.h"
#include "render/value_renderer.h"
#include "session/table_rows.h"
#include "tabledef/frm_reader.h"
#include "test_support.h"

namespace tavrin {
namespace {

const std::string kRows = "myisam_rows";

std::string rowsFolder() { return test::fixtureData(kRows) + "/rows"; }

std::unique_ptr<TableRows> openTable(const std::string& folder, const std::string& name) {
  auto rows = TableRows::open(folder, name, test::shippedCatalogue());
  EXPECT_TRUE(rows) << rows.reason();
  return rows ? std::move(*rows) : nullptr;
}

std::string hexOf(const std::string& bytes) {
  std::string hex = "0x";
  for (unsigned char c : bytes) {
    hex.push_back("0123456789ABCDEF"[c >> 4]);
    hex.push_back("0123456789ABCDEF"[c & 15]);
  }
  return hex;
}

struct Page {
  std::vector<std::vector<std::string>> rows;
  WalkEnd end;
};

Page readPage(TableRows& table, PageStart start, bool exportForm = true) {
  ValueRenderer renderer(table.definition(), test::shippedCatalogue(),
                         TextForm{exportForm, exportForm ? 0 : table.largeValueLimit(), {}});
  Page page;
  std::vector<std::string> cells;
  page.end = table.read(start, kRowsPerPage, [&](const RowValues& row) {
    renderer.render(row, cells);
    page.rows.push_back(cells);
  });
  return page;
}

TEST(MyisamPages, NextAndPreviousStartsGiveTheSamePages) {
  for (const char* name : {"pages_dynamic", "pages_fixed"}) {
    SCOPED_TRACE(name);
    auto table = openTable(rowsFolder(), name);
    ASSERT_TRUE(table);
    std::vector<PageStart> starts = {table->firstPage()};
    std::vector<Page> pages;
    while (true) {
      pages.push_back(readPage(*table, starts.back()));
      ASSERT_TRUE(test::problems(pages.back().end).empty()) << test::problems(pages.back().end);
      if (pages.back().end.atEnd) break;
      starts.push_back(pages.back().end.next);
      ASSERT_LT(pages.size(), 10u);
    }
    const bool dynamic = std::string(name) == "pages_dynamic";
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].rows.size(), 1000u);
    EXPECT_EQ(pages[1].rows.size(), 1000u);
    EXPECT_EQ(pages[2].rows.size(), dynamic ? 595u : 500u);
    // Deleted rows 5, 999, 1000, 1001 and 2000 are not rows.
    EXPECT_EQ(pages[0].rows[4][0], dynamic ? "6" : "5");
    EXPECT_EQ(pages[1].rows[0][0], dynamic ? "1005" : "1001");
    // Going back reads a page again from its remembered start.
    for (size_t i : {1u, 0u}) EXPECT_EQ(readPage(*table, starts[i]).rows, pages[i].rows);
  }
}

TEST(MyisamPages, ExactlyOnePageAndNothingAfterIt) {
  auto table = openTable(rowsFolder(), "exactly_1000");
  ASSERT_TRUE(table);
  Page first = readPage(*table, {});
  EXPECT_EQ(first.rows.size(), 1000u);
  Page second = readPage(*table, first.end.next);
  EXPECT_TRUE(second.rows.empty());
  EXPECT_TRUE(second.end.atEnd);
  EXPECT_TRUE(test::problems(second.end).empty());
}

TEST(MyisamDisplayForm, LargeValuesShowMarkers) {
  auto binaries = openTable(rowsFolder(), "binaries");
  ASSERT_TRUE(binaries);
  Page page = readPage(*binaries, {}, false);
  ASSERT_EQ(page.rows.size(), 3u);
  EXPECT_EQ(page.rows[0][1], hexOf(std::string(99, 'x')));
  EXPECT_EQ(page.rows[1][1], kBinaryMarker);  // 100 bytes
  EXPECT_EQ(page.rows[1][2], kNullText);
  EXPECT_EQ(page.rows[2][1], "");             // an empty binary string
  EXPECT_EQ(page.rows[0][3], kSpatialMarker);
  EXPECT_EQ(page.rows[1][3], kNullText);

  auto large = openTable(rowsFolder(), "large_values");
  ASSERT_TRUE(large);
  Page values = readPage(*large, {}, false);
  ASSERT_EQ(values.rows.size(), 5u);
  EXPECT_EQ(values.rows[2][3], hexOf(std::string(999, 'm')));  // 999 bytes are shown
  EXPECT_EQ(values.rows[3][3], kLargeBlobMarker);       // 1000 are not
  EXPECT_EQ(values.rows[3][1], kLargeBlobMarker);
  EXPECT_EQ(values.rows[4][2], kLargeBlobMarker);
  Page full = readPage(*large, {}, true);
  EXPECT_EQ(full.rows[4][2].size(), std::string("Grüße ").size() * 400000);
  EXPECT_EQ(full.rows[4][1].size(), 2 + 3000000 * 2u);
}

TEST(MyisamOtherServer, EveryRowOfTheMariaDb101SystemTables) {
  const std::string folder = test::realFixtures() + "/mariadb-10.1.9-datadir/mysql";
  size_t tables = 0, rows = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (e.path().extension() != ".MYI") continue;
    const std::string name = e.path().stem().string();
    SCOPED_TRACE(name);
    auto table = openTable(folder, name);
    ASSERT_TRUE(table);
    PageStart start;
    size_t count = 0;
    while (true) {
      Page page = readPage(*table, start);
      EXPECT_TRUE(test::problems(page.end).empty()) << test::problems(page.end);
      count += page.rows.size();
      if (page.end.atEnd) break;
      start = page.end.next;
    }
    auto state = readMyiState(e.path().string());
    ASSERT_TRUE(state);
    EXPECT_EQ(count, state->rows);
    ++tables;
    rows += count;
  }
  EXPECT_EQ(tables, 25u);
  EXPECT_EQ(rows, 39u + 464 + 1028 + 508 + 2 + 3);
}

// The layout worked out from a definition is the one the server wrote into
// the index file, for every MyISAM table the fixtures have.
TEST(MyisamLayout, TheDefinitionGivesTheIndexFilesLayout) {
  size_t tables = 0;
  for (const std::string& folder : {rowsFolder(), test::fixtureData("salvage") + "/salvage",
                                    test::realFixtures() + "/mariadb-10.1.9-datadir/mysql"}) {
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      if (e.path().extension() != ".MYI") continue;
      SCOPED_TRACE(e.path().string());
      auto table = readFrm(e.path().parent_path().string() + "/" + e.path().stem().string() + ".frm",
                           test::shippedCatalogue());
      auto stored = readMyiState(e.path().string());
      ASSERT_TRUE(table && stored);
      auto derived = stateFromDefinition(*table);
      ASSERT_TRUE(derived) << derived.reason();
      EXPECT_EQ(derived->recordFormat, stored->recordFormat);
      EXPECT_EQ(derived->options & 0x21, stored->options & 0x21);  // packed rows, checksums
      EXPECT_EQ(derived->recordLength, stored->recordLength);
      EXPECT_EQ(derived->packedRecordLength, stored->packedRecordLength);
      EXPECT_EQ(derived->minPackLength, stored->minPackLength);
      EXPECT_EQ(derived->maxPackLength, stored->maxPackLength);
      EXPECT_EQ(derived->packBits, stored->packBits);
      ASSERT_EQ(derived->columnDefs.size(), stored->columnDefs.size());
      for (size_t i = 0; i < derived->columnDefs.size(); ++i) {
        const MyisamColumnDef &d = derived->columnDefs[i], &s = stored->columnDefs[i];
        EXPECT_EQ(std::tuple(d.type, d.length, d.nullBit, d.nullPos), std::tuple(s.type, s.length, s.nullBit, s.nullPos))
            << "column " << i;
      }
      ++tables;
    }
  }
  EXPECT_GT(tables, 40u);
}

// A copy of a table's files in a scratch folder, to damage.
struct TableCopy {
  test::ScratchFolder folder;
  std::vector<uint8_t> frm, myi, myd;
  explicit TableCopy(const std::string& name, const std::string& folder = rowsFolder()) {
    const std::string from = folder + "/" + name;
    frm = test::readBytes(from + ".frm");
    myi = test::readBytes(from + ".MYI");
    myd = test::readBytes(from + ".MYD");
  }
  std::unique_ptr<TableRows> open() {
    auto write = [&](const char* ext, const std::vector<uint8_t>& b) {
      folder.write(std::string("t") + ext, std::string(b.begin(), b.end()));
    };
    write(".frm", frm);
    write(".MYI", myi);
    write(".MYD", myd);
    auto rows = TableRows::open(folder.path(), "t", test::shippedCatalogue());
    if (!rows) {
      reason = rows.reason();
      return nullptr;
    }
    return std::move(*rows);
  }
  std::string reason;
};

// Walks every page; every walk must end, moving forward, with the rows so far.
std::string walkAll(TableRows& table, size_t& rows) {
  PageStart start;
  std::string damage;
  for (size_t pages = 0; pages < 100000; ++pages) {
    Page page = readPage(table, start);
    rows += page.rows.size();
    if (!test::problems(page.end).empty() && damage.empty()) damage = test::problems(page.end);
    if (page.end.atEnd) return damage;
    EXPECT_GT(page.end.next.position, start.position);
    if (page.end.next.position <= start.position) return "no progress";
    start = page.end.next;
  }
  return "too many pages";
}

// The position of the first block of `type` in a dynamic data file, after
// `skip` others of that type.
size_t findBlock(const std::vector<uint8_t>& myd, uint8_t wanted, size_t skip = 0) {
  size_t p = 0;
  while (p < myd.size()) {
    BlockInfo block;
    uint32_t flags = decodeBlockHeader(ByteView(myd).sub(p, kBlockHeaderBytes), block);
    if (block.type == wanted && skip-- == 0) return p;
    p += (flags & BlockFlag::Deleted) ? block.blockLength : block.headerLength + block.blockLength;
  }
  return SIZE_MAX;
}

TEST(MyisamDamage, WalksEndWithAReason) {
  {
    TableCopy copy("reuse");
    const size_t split = findBlock(copy.myd, 5);
    ASSERT_NE(split, SIZE_MAX);
    // The row's next block is the block itself: a loop.
    for (int i = 0; i < 8; ++i) copy.myd[split + 5 + i] = uint8_t(uint64_t(split) >> (8 * (7 - i)));
    auto table = copy.open();
    ASSERT_TRUE(table);
    size_t rows = 0;
    EXPECT_NE(walkAll(*table, rows).find("breaks off or loops"), std::string::npos);
  }
  {
    TableCopy copy("reuse");
    copy.myd[0] = 14;
    auto table = copy.open();
    size_t rows = 0;
    // The walk goes on at the next row, and the index's count shows the loss.
    EXPECT_EQ(walkAll(*table, rows), "20 bytes passed over: a block of unknown type 14 (from byte 0 of " +
                                         copy.folder.path() + "/t.MYD); 1 row passed over: the index file counts 240 "
                                                              "rows, the data file gave 239");
    EXPECT_EQ(rows, 239u);
  }
  {
    TableCopy copy("reuse");
    const size_t start = findBlock(copy.myd, 5);
    copy.myd[start + 1] = 0xFF;  // a row of 65 kB, longer than the table allows
    copy.myd[start + 2] = 0xFF;
    auto table = copy.open();
    size_t rows = 0;
    EXPECT_NE(walkAll(*table, rows).find("longer than the table allows"), std::string::npos);
  }
  {
    TableCopy copy("pages_fixed");
    copy.myd.resize(copy.myd.size() - 3);
    auto table = copy.open();
    size_t rows = 0;
    EXPECT_NE(walkAll(*table, rows).find("the data file ends inside a row"), std::string::npos);
    EXPECT_EQ(rows, 2499u);
  }
}

TEST(MyisamDamage, ADamagedRowIsPassedOverAndReported) {
  TableCopy copy("reuse");
  auto intact = copy.open();
  ASSERT_TRUE(intact);
  size_t all = 0;
  ASSERT_EQ(walkAll(*intact, all), "");
  // The VARCHAR lengths of two one-block rows (after their NULL byte and
  // INT) claim more bytes than the rows hold.
  auto state = readMyiState(rowsFolder() + "/reuse.MYI");
  ASSERT_TRUE(state);
  const size_t first = findBlock(copy.myd, 1), second = findBlock(copy.myd, 1, 1);
  ASSERT_NE(second, SIZE_MAX);
  for (size_t block : {first, second}) copy.myd[block + 3 + state->packBits + 1 + 4] = 254;
  auto damaged = copy.open();
  ASSERT_TRUE(damaged);
  size_t rows = 0;
  const std::string report = walkAll(*damaged, rows);
  // The second is followed by a block that starts no row: its bytes up to
  // the next sound row are passed over.
  EXPECT_EQ(report.rfind("1 row passed over: a damaged row (a row's columns run past its end) (at byte " +
                             std::to_string(first) + " of ",
                         0),
            0u)
      << report;
  EXPECT_NE(report.find("bytes passed over: a damaged block (a row's columns run past its end) (from byte " +
                        std::to_string(second) + " of "),
            std::string::npos)
      << report;
  EXPECT_EQ(rows, all - 2);
}

// Random damage: what these rounds prove (no crash, no hang, no read outside
// a buffer) is judged by the sanitizer build, which runs them too.
TEST(MyisamDamage, RandomlyChangedDataFiles) {
  std::mt19937 random(test::fuzzSeed(3));
  for (const char* name : {"reuse", "every_type", "every_type_fixed", "binaries", "lists"}) {
    TableCopy original(name);
    for (int round = 0; round < 150; ++round) {
      TableCopy copy(name);
      int changes = 1 + int(random() % 16);
      for (int i = 0; i < changes; ++i) copy.myd[random() % copy.myd.size()] = uint8_t(random());
      auto table = copy.open();
      ASSERT_TRUE(table);
      size_t rows = 0;
      EXPECT_NE(walkAll(*table, rows), "no progress");
    }
  }
}

// Compressed data files changed at random, in their header (the packing
// of the columns and the trees) or anywhere.
TEST(MyisamDamage, RandomlyChangedCompressedFiles) {
  const std::string folder = test::fixtureData("myisam_packed") + "/packed";
  std::mt19937 random(test::fuzzSeed(5));
  for (const char* name : {"every_type", "fixed_source", "dynamic_source", "spaces", "constant"}) {
    const TableCopy original(name, folder);
    const size_t header = le32(ByteView(original.myd), 4);
    ASSERT_LT(header, original.myd.size());
    for (int round = 0; round < 200; ++round) {
      TableCopy copy(name, folder);
      const size_t span = round % 2 ? header : copy.myd.size();
      for (int i = 1 + int(random() % 4); i > 0; --i) copy.myd[random() % span] = uint8_t(random());
      auto table = copy.open();
      if (!table) {
        EXPECT_NE(copy.reason.find("t.MYD"), std::string::npos) << copy.reason;
        continue;
      }
      size_t rows = 0;
      EXPECT_NE(walkAll(*table, rows), "no progress");
    }
  }
}

TEST(MyisamDamage, IndexFiles) {
  {
    TableCopy copy("reuse");
    copy.myi.resize(24);
    auto table = copy.open();
    ASSERT_TRUE(table);
    size_t rows = 0;
    EXPECT_EQ(walkAll(*table, rows), "1 index file passed over: " + copy.folder.path() +
                                         "/t.MYI: the index file is too short for its header (24 bytes); the layout "
                                         "of the rows comes from the table's definition");
    EXPECT_EQ(rows, 240u);
  }
  {
    // The index file says the rows are compressed, the data file has no header of compressed rows.
    TableCopy copy("reuse");
    copy.myi[5] |= 0x04;
    auto table = copy.open();
    ASSERT_TRUE(table);
    size_t rows = 0;
    EXPECT_NE(walkAll(*table, rows).find("the layout of the rows comes from the table's definition"), std::string::npos);
    EXPECT_EQ(rows, 240u);
  }
  std::mt19937 random(test::fuzzSeed(4));
  for (int round = 0; round < 500; ++round) {
    TableCopy copy("every_type");
    copy.myi.resize(std::min<size_t>(copy.myi.size(), 2048));
    for (int i = 0; i < 4; ++i) copy.myi[random() % copy.myi.size()] = uint8_t(random());
    if (auto table = copy.open()) {
      size_t rows = 0;
      walkAll(*table, rows);
    } else {
      EXPECT_FALSE(copy.reason.empty());
    }
  }
}

// Column descriptions of a damaged index file must not make a row unpack
// outside its bytes or its image (the sanitizer build checks the bounds).
TEST(MyisamDamage, ColumnDescriptionsThatDoNotFitTheRow) {
  using namespace MyisamColumnType;
  struct Case {
    const char* what;
    MyisamState state;
    std::vector<uint8_t> packed;
    const char* reason;
  };
  MyisamState zeroVarchar;
  zeroVarchar.columnDefs = {{Varchar, 0, 0, 0}};
  MyisamState manyFlags;  // a shortest row shorter than the flag bytes
  manyFlags.packBits = 10;
  manyFlags.recordLength = 10;
  manyFlags.columnDefs = {{SkipEndSpace, 10, 0, 0}};
  MyisamState strippedTooLong = manyFlags;
  MyisamState twoBytes;
  twoBytes.recordLength = 2;
  twoBytes.columnDefs = {{Normal, 2, 0, 0}};
  MyisamState oneZeroSkipped;
  oneZeroSkipped.packBits = 1;
  oneZeroSkipped.recordLength = 4;
  oneZeroSkipped.columnDefs = {{SkipZero, 4, 0, 0}};
  Case cases[] = {
      {"a VARCHAR of no width", zeroVarchar, {5, 'a', 'b', 'c', 'd', 'e'}, "a VARCHAR column is narrower than its length"},
      {"a full-width value past the row", manyFlags, std::vector<uint8_t>(12, 0), "a row's columns run past its end"},
      {"a stripped value past the row", strippedTooLong, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 'x'},
       "a row's columns run past its end"},
      // The server takes no row whose columns leave bytes or flags over.
      {"a byte after the columns", twoBytes, {1, 2, 3}, "a row's columns do not fill it"},
      {"a flag after the columns'", oneZeroSkipped, {0x03}, "a row has flags for columns it does not have"},
  };
  for (const Case& c : cases) {
    auto exact = std::make_unique<uint8_t[]>(c.packed.size());
    std::copy(c.packed.begin(), c.packed.end(), exact.get());
    RowImage image;
    EXPECT_EQ(unpackDynamicRow(ByteView(exact.get(), c.packed.size()), c.state, image).reason(), c.reason) << c.what;
  }
}

// A damaged definition may give a BIT column more bits than a value holds,
// and put its odd bits past their byte: values keep to 64 bits.
TEST(MyisamDamage, BitColumnsWiderThanAnyValue) {
  auto table = readFrm(rowsFolder() + "/every_type.frm", test::shippedCatalogue());
  auto state = readMyiState(rowsFolder() + "/every_type.MYI");
  ASSERT_TRUE(table && state);
  size_t bits = 0;
  while (bits < table->columns.size() && table->columns[bits].name != "c_bit13") ++bits;
  ASSERT_LT(bits, table->columns.size());
  table->columns[bits].fieldLength = 13 + 8 * 200;
  table->columns[bits].bitsShift = 200;
  auto rows = MyisamTable::open(*table, *state, rowsFolder() + "/every_type.MYD");
  ASSERT_TRUE(rows) << rows.reason();
  size_t read = 0;
  const WalkEnd end = (*rows)->read((*rows)->firstPage(), kRowsPerPage, [&](const RowValues& row) {
    EXPECT_LE(row[bits].bytes.size(), 8u);
    ++read;
  }, {});
  EXPECT_EQ(read, 6u) << test::problems(end);
}

}  // namespace
}  // namespace tavrin
