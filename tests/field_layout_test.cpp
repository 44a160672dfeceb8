// Column widths in the row image agree with the positions the server stored
// for every column of real definition files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tabledef/field_layout.h"
#include "tabledef/frm_reader.h"
#include "test_support.h"

namespace tavrin {
namespace {

void expectWidthsFillTheRow(const TableDefinition& def, const std::string& name) {
  std::vector<const ColumnDefinition*> columns;
  for (const ColumnDefinition& c : def.columns) columns.push_back(&c);
  std::stable_sort(columns.begin(), columns.end(), [](auto* a, auto* b) { return a->recordPosition < b->recordPosition; });
  uint32_t end = def.nullBytes;
  for (const ColumnDefinition* c : columns) {
    EXPECT_EQ(c->recordOffset(), end) << name << "." << c->name;
    end = c->recordOffset() + packLength(*c);
  }
  EXPECT_EQ(end, def.recordLength) << name;
}

TEST(FieldLayout, WidthsOfEveryColumnOfRealFiles) {
  std::vector<std::string> folders = {test::fixtureData("structure") + "/shapes", test::realFixtures() + "/frm-versions",
                                      test::realFixtures() + "/mysql-5.5.35-sakila",
                                      test::realFixtures() + "/mariadb-10.1.9-datadir/mysql"};
  size_t tables = 0;
  for (const std::string& folder : folders) {
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      if (e.path().extension() != ".frm") continue;
      const std::vector<uint8_t> bytes = test::readBytes(e.path().string());
      if (!hasTableDefinitionSignature(ByteView(bytes))) continue;  // a view
      auto def = readFrm(e.path().string(), test::shippedCatalogue());
      ASSERT_TRUE(def) << e.path() << ": " << def.reason();
      expectWidthsFillTheRow(*def, e.path().string());
      ++tables;
    }
  }
  EXPECT_GT(tables, 100u);
}

TEST(FieldLayout, DecimalSizes) {
  EXPECT_EQ(decimalBinarySize(10, 2), 5u);
  EXPECT_EQ(decimalBinarySize(65, 30), 30u);
  EXPECT_EQ(decimalBinarySize(18, 0), 8u);
  EXPECT_EQ(decimalBinarySize(3, 0), 2u);
  EXPECT_EQ(setPackLength(64), 8u);
  EXPECT_EQ(setPackLength(33), 8u);
  EXPECT_EQ(setPackLength(17), 3u);
  EXPECT_EQ(enumPackLength(255), 1u);
  EXPECT_EQ(enumPackLength(256), 2u);
}

}  // namespace
}  // namespace tavrin
