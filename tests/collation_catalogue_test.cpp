#include <gtest/gtest.h>

#include "tabledef/collation_catalogue.h"
#include "test_support.h"

namespace tavrin {
namespace {

std::string record(int32_t id, int32_t min, int32_t max, const std::string& n1, const std::string& n2) {
  std::string r;
  auto put = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) r.push_back(char(v >> (8 * i)));
  };
  put(uint32_t(id));
  put(uint32_t(min));
  put(uint32_t(max));
  put(uint32_t(n1.size()));
  r += n1;
  put(uint32_t(n2.size()));
  r += n2;
  return r;
}

TEST(CollationCatalogue, LaterRecordOfAnIdWins) {
  std::string file = record(33, 1, 3, "utf8mb3", "utf8mb3_general_ci") + record(33, 1, 4, "x", "y");
  CollationCatalogue c = CollationCatalogue::parse(ByteView(file));
  EXPECT_EQ(c.size(), 1u);
  EXPECT_EQ(c.maxBytesPerChar(33), 4);
  EXPECT_EQ(c.charsetName(33), "x");
}

TEST(CollationCatalogue, EmptyAndShortFiles) {
  CollationCatalogue empty = CollationCatalogue::parse(ByteView());
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty.minBytesPerChar(8), 0);
  EXPECT_EQ(empty.maxBytesPerChar(8), 0);

  // A record without names is 20 bytes; the next one follows it.
  std::string twoRecords = record(1, 1, 2, "", "") + record(2, 2, 2, "ucs2", "ucs2_general_ci");
  EXPECT_EQ(record(1, 1, 2, "", "").size(), 20u);
  CollationCatalogue c = CollationCatalogue::parse(ByteView(twoRecords));
  EXPECT_EQ(c.maxBytesPerChar(1), 2);
  EXPECT_EQ(c.charsetName(2), "ucs2");

  // Cut inside a record: what could be read is kept, missing values are 0.
  std::string cut = record(5, 1, 3, "abc", "def").substr(0, 14);
  CollationCatalogue partial = CollationCatalogue::parse(ByteView(cut));
  EXPECT_EQ(partial.minBytesPerChar(5), 1);
  EXPECT_EQ(partial.maxBytesPerChar(5), 3);
  EXPECT_EQ(partial.charsetName(5), "");

  // A name length far past the end ends the walk.
  std::string huge = record(6, 1, 1, "abc", "") ;
  huge[12] = '\xFF';
  huge[13] = '\xFF';
  huge[14] = '\xFF';
  huge[15] = '\x7F';
  EXPECT_EQ(CollationCatalogue::parse(ByteView(huge)).minBytesPerChar(6), 1);

  // Names are cut at a zero byte.
  std::string zero = record(7, 1, 1, std::string("lat\0in", 6), "");
  EXPECT_EQ(CollationCatalogue::parse(ByteView(zero)).charsetName(7), "lat");

  EXPECT_TRUE(CollationCatalogue::load("/nonexistent/collation (2)").empty());
}

TEST(CollationCatalogue, ShippedFileHoldsTheServersCollations) {
  const CollationCatalogue& c = test::shippedCatalogue();
  EXPECT_GT(c.size(), 300u);
  struct Case {
    int32_t id;
    const char* charset;
    int32_t min, max;
  } cases[] = {
      {8, "latin1", 1, 1}, {33, "utf8mb3", 1, 3}, {45, "utf8mb4", 1, 4}, {35, "ucs2", 2, 2},
      {54, "utf16", 2, 4}, {60, "utf32", 4, 4},   {56, "utf16le", 2, 4}, {63, "binary", 1, 1},
      {13, "sjis", 1, 2},  {28, "gbk", 1, 2},     {7, "koi8r", 1, 1},    {224, "utf8mb4", 1, 4},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(c.charsetName(k.id), k.charset) << k.id;
    EXPECT_EQ(c.minBytesPerChar(k.id), k.min) << k.id;
    EXPECT_EQ(c.maxBytesPerChar(k.id), k.max) << k.id;
  }
  EXPECT_EQ(c.find(8)->name2, "latin1_swedish_ci");
}

}  // namespace
}  // namespace tavrin
