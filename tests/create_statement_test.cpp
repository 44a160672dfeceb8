// The default record of a definition where no fixture can show it: cut
// short, out of its file, damaged. Every case gives a statement or a reason,
// and never reads outside the bytes (run under AddressSanitizer in CI).

#include <gtest/gtest.h>

#include <random>

#include "base/bytes.h"
#include "export/create_table.h"
#include "tabledef/frm_reader.h"
#include "test_support.h"

namespace tavrin {
namespace {

std::string definitionPath() { return test::fixtureData("create_table") + "/made/defaults_myisam.frm"; }

Result<std::string> statementOf(const TableDefinition& def) {
  return createTableStatement("t", def, test::shippedCatalogue(), std::nullopt, TimeZone::named("UTC").value());
}

TEST(CreateStatement, DefaultRecordCutShortNamesTheColumnItFailsAt) {
  const std::vector<uint8_t> file = test::readBytes(definitionPath());
  auto def = parseFrm(ByteView(file), test::shippedCatalogue());
  ASSERT_TRUE(def) << def.reason();
  ASSERT_TRUE(statementOf(*def)) << statementOf(*def).reason();
  const std::vector<uint8_t> whole = def->defaultRecord;
  struct Case {
    size_t length;
    const char* reason;
  } cases[] = {
      {0, "column i: the default record (0 bytes) is too short for its value"},
      {1, "column i: the default record (1 bytes) is too short for its value"},
      {whole.size() - 1, "column y: the default record"},
  };
  for (const Case& c : cases) {
    def->defaultRecord.assign(whole.begin(), whole.begin() + long(c.length));
    auto statement = statementOf(*def);
    ASSERT_FALSE(statement) << c.length;
    EXPECT_EQ(statement.reason().rfind(c.reason, 0), 0u) << statement.reason();
  }
}

TEST(CreateStatement, RecordPastTheEndOfTheFileLeavesTheColumnsReadable) {
  std::vector<uint8_t> file = test::readBytes(definitionPath());
  // The default record follows the key section, whose length is at byte 14.
  file[14] = 0xF0;
  file[15] = 0x7F;
  auto def = parseFrm(ByteView(file), test::shippedCatalogue());
  ASSERT_TRUE(def) << def.reason();
  EXPECT_EQ(def->columns.size(), 39u);
  EXPECT_TRUE(def->defaultRecord.empty());
  auto statement = statementOf(*def);
  ASSERT_FALSE(statement);
  EXPECT_EQ(statement.reason().rfind("the default record runs past the end of the file at byte ", 0), 0u)
      << statement.reason();
}

TEST(CreateStatement, DefaultsOfTheOldestFilesAreNull) {
  const std::vector<uint8_t> file = test::readBytes(definitionPath());
  auto def = parseFrm(ByteView(file), test::shippedCatalogue());
  ASSERT_TRUE(def);
  def->defaultsAreNull = true;
  auto statement = statementOf(*def);
  ASSERT_TRUE(statement) << statement.reason();
  EXPECT_NE(statement->find("`i` int(11) DEFAULT NULL,"), std::string::npos) << *statement;
  EXPECT_NE(statement->find("`nid` int(11) NOT NULL DEFAULT -3,"), std::string::npos) << *statement;
}

// Random damage to the default record and the extra segment after it.
TEST(CreateStatement, DamagedRecordsGiveAStatementOrAReason) {
  const std::vector<uint8_t> file = test::readBytes(definitionPath());
  const size_t record = le16(ByteView(file), 6) + le16(ByteView(file), 14);
  std::mt19937 random(test::fuzzSeed(20261211));
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> damaged = file;
    for (int i = 0, changes = 1 + int(random() % 8); i < changes; ++i) {
      damaged[record + random() % (damaged.size() - record)] = uint8_t(random());
    }
    auto copy = std::make_unique<uint8_t[]>(damaged.size());
    std::copy(damaged.begin(), damaged.end(), copy.get());
    auto def = parseFrm(ByteView(copy.get(), damaged.size()), test::shippedCatalogue());
    if (!def) continue;
    auto statement = statementOf(*def);
    if (!statement) {
      EXPECT_FALSE(statement.reason().empty());
    }
  }
}

}  // namespace
}  // namespace tavrin
