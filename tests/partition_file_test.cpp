// Partitioned tables: the partition file's list, damaged ones, and the
// partitions a PARTITION BY clause makes when there is no partition file.

#include <gtest/gtest.h>

#include "tabledef/partition_file.h"
#include "test_support.h"

namespace tavrin {
namespace {

// A partition file as the server writes it, its checksum made to fit.
std::vector<uint8_t> partitionFile(const std::vector<std::string>& names, uint8_t engine) {
  std::vector<uint8_t> f(12, 0);
  f[8] = uint8_t(names.size());
  const size_t engineWords = (names.size() + 3) / 4;
  f.resize(12 + engineWords * 4, 0);
  for (size_t i = 0; i < names.size(); ++i) f[12 + i] = engine;
  std::string packed;
  for (const std::string& n : names) packed += n + '\0';
  f.push_back(uint8_t(packed.size()));
  f.insert(f.end(), 3, 0);
  f.insert(f.end(), packed.begin(), packed.end());
  while (f.size() % 4) f.push_back(0);
  f[0] = uint8_t(f.size() / 4);
  uint32_t x = 0;
  for (size_t i = 0; i < f.size(); i += 4) x ^= le32(ByteView(f), i);
  for (int k = 0; k < 4; ++k) f[4 + k] = uint8_t(x >> (8 * k));
  return f;
}

TEST(PartitionFile, NamesAndEnginesInOrder) {
  const std::vector<uint8_t> f = partitionFile({"p0", "p@002d1", "q#SP#qsp0"}, 12);
  auto read = decodePartitionFile(ByteView(f));
  ASSERT_TRUE(read) << read.reason();
  ASSERT_EQ(read->size(), 3u);
  EXPECT_EQ((*read)[1].name, "p@002d1");
  EXPECT_EQ((*read)[2].engine, 12);
  EXPECT_EQ(partitionFileBase("t", (*read)[2]), "t#P#q#SP#qsp0");
}

TEST(PartitionFile, DamageIsNamed) {
  const std::vector<uint8_t> sound = partitionFile({"p0", "p1"}, 9);
  struct Case {
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* reason;
  } cases[] = {
      {[](auto& f) { f.resize(8); }, "shorter than its header"},
      {[](auto& f) { f[0] = 200; }, "says it holds 200 words"},
      {[](auto& f) { f[20] ^= 1; }, "fails its checksum"},
      {[](auto& f) { f[8] = 0; f[4] ^= 2; }, "counts 0 partitions"},
      {[](auto& f) { f[8] = 3; f[4] ^= 1; }, "names 2 of its 3 partitions"},
      {[](auto& f) { f[16] = 250; f[4] ^= 250 ^ 6; }, "run past the end"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> f = sound;
    c.damage(f);
    auto read = decodePartitionFile(ByteView(f));
    ASSERT_FALSE(read) << c.reason;
    EXPECT_NE(read.reason().find(c.reason), std::string::npos) << read.reason();
  }
}

TEST(PartitionFile, PartitionsOfAClause) {
  struct Case {
    const char* clause;
    std::vector<std::string> names;
  } cases[] = {
      {" PARTITION BY HASH (`id`)\nPARTITIONS 3", {"p0", "p1", "p2"}},
      {" PARTITION BY KEY (id)", {"p0"}},
      {" PARTITION BY RANGE (`id`)\n(PARTITION `p0` VALUES LESS THAN (100) ENGINE = InnoDB,\n"
       " PARTITION `p-x``y` VALUES LESS THAN MAXVALUE ENGINE = InnoDB)",
       {"p0", "p-x`y"}},
      {" PARTITION BY LIST (a) (PARTITION one VALUES IN ('PARTITION z', 1), PARTITION two VALUES IN (2))", {"one", "two"}},
      {" PARTITION BY RANGE (year(`d`))\nSUBPARTITION BY HASH (`id`)\nSUBPARTITIONS 2\n"
       "(PARTITION `old` VALUES LESS THAN (2000) ENGINE = InnoDB,\n PARTITION `new` VALUES LESS THAN MAXVALUE ENGINE = InnoDB)",
       {"old#SP#oldsp0", "old#SP#oldsp1", "new#SP#newsp0", "new#SP#newsp1"}},
      {" PARTITION BY RANGE (a) SUBPARTITION BY HASH (a) (PARTITION p VALUES LESS THAN (5) "
       "(SUBPARTITION s1, SUBPARTITION s2))",
       {"p#SP#s1", "p#SP#s2"}},
  };
  for (const Case& c : cases) EXPECT_EQ(partitionNamesFromClause(c.clause), c.names) << c.clause;
}

}  // namespace
}  // namespace tavrin
