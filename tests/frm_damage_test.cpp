// Damaged definition files: a reason, and no crash, hang or read outside the
// bytes (run under AddressSanitizer in CI).

#include <gtest/gtest.h>

#include <random>

#include "base/bytes.h"
#include "export/create_table.h"
#include "tabledef/frm_reader.h"
#include "test_support.h"

namespace tavrin {
namespace {

std::vector<std::vector<uint8_t>> sampleFiles() {
  const std::string shapes = test::fixtureData("structure") + "/shapes/";
  const std::string versions = test::realFixtures() + "/frm-versions/";
  std::vector<std::vector<uint8_t>> files;
  for (const std::string& path :
       {shapes + "commented.frm", shapes + "enum_lists.frm", shapes + "key_unique.frm",
        shapes + "computed_myisam.frm", versions + "em_subscriber.frm", versions + "char_varchar_test.frm",
        test::fixtureData("create_table") + "/made/defaults_innodb.frm",
        test::fixtureData("create_table") + "/made/keys_myisam.frm"}) {
    files.push_back(test::readBytes(path));
  }
  return files;
}

// Parses a damaged copy, and writes the CREATE TABLE statement of what it
// gives; a failure must say why.
void parseDamaged(const std::vector<uint8_t>& bytes) {
  // An exact-size heap copy, so that a read past the end is caught.
  auto copy = std::make_unique<uint8_t[]>(bytes.size() + (bytes.empty() ? 1 : 0));
  std::copy(bytes.begin(), bytes.end(), copy.get());
  auto def = parseFrm(ByteView(copy.get(), bytes.size()), test::shippedCatalogue());
  if (!def) {
    EXPECT_FALSE(def.reason().empty());
    return;
  }
  static const TimeZone utc = TimeZone::named("UTC").value();
  auto statement = createTableStatement("t", *def, test::shippedCatalogue(), std::nullopt, utc);
  if (!statement) {
    EXPECT_FALSE(statement.reason().empty());
  }
}

TEST(FrmDamage, SamplesReadWhole) {
  for (const auto& file : sampleFiles()) {
    auto def = parseFrm(ByteView(file), test::shippedCatalogue());
    EXPECT_TRUE(def) << def.reason();
  }
}

TEST(FrmDamage, CutAtEveryLength) {
  for (const auto& file : sampleFiles()) {
    for (size_t n = 0; n < file.size(); ++n) {
      std::vector<uint8_t> cut(file.begin(), file.begin() + long(n));
      parseDamaged(cut);
      if (n < 64) {
        EXPECT_FALSE(parseFrm(ByteView(cut), test::shippedCatalogue()));
      }
    }
  }
}

// Random damage: what these rounds prove (no crash, no hang, no read outside
// a buffer) is judged by the sanitizer build, which runs them too.
TEST(FrmDamage, RandomBytesChanged) {
  std::mt19937 random(test::fuzzSeed(20261210));
  for (const auto& file : sampleFiles()) {
    for (int round = 0; round < 3000; ++round) {
      std::vector<uint8_t> damaged = file;
      int changes = 1 + int(random() % 8);
      for (int i = 0; i < changes; ++i) {
        // Mostly the header, the form and the key section, where the counts are.
        size_t limit = (random() % 2) ? std::min<size_t>(damaged.size(), 1200) : damaged.size();
        damaged[random() % limit] = uint8_t(random());
      }
      parseDamaged(damaged);
    }
  }
}

TEST(FrmDamage, CountsThatRunPastTheData) {
  const std::vector<uint8_t> file = test::readBytes(test::fixtureData("structure") + "/shapes/commented.frm");
  const size_t formPosition = le32(ByteView(file), 64 + le16(ByteView(file), 4));
  struct Case {
    size_t offset;
    const char* what;
  } cases[] = {
      {formPosition + 258, "field count"},   {formPosition + 260, "screen length"},
      {formPosition + 268, "names length"},  {formPosition + 270, "value list count"},
      {formPosition + 274, "value lists length"}, {formPosition + 284, "comments length"},
      {28, "key section length"},            {6, "key section position"},
      {64 + size_t(le16(ByteView(file), 4)), "form position"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> damaged = file;
    damaged[c.offset] = 0xFF;
    damaged[c.offset + 1] = 0xFF;
    auto def = parseFrm(ByteView(damaged), test::shippedCatalogue());
    EXPECT_FALSE(def) << c.what;
    EXPECT_FALSE(def.reason().empty()) << c.what;
  }
}

// Random damage: what these rounds prove (no crash, no hang, no read outside
// a buffer) is judged by the sanitizer build, which runs them too.
TEST(FrmDamage, ForeignFiles) {
  std::mt19937 random(test::fuzzSeed(7));
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> bytes(64 + random() % 2048);
    for (auto& b : bytes) b = uint8_t(random());
    bytes[0] = 0xFE;
    bytes[1] = 0x01;
    bytes[2] = uint8_t(9 + random() % 3);
    parseDamaged(bytes);
  }
  auto text = parseFrm(ByteView(std::string_view("TYPE=VIEW\nquery=select 1\n")), test::shippedCatalogue());
  EXPECT_FALSE(text);
  EXPECT_EQ(text.reason(), "too short for a table definition (25 bytes)");
  std::string view(100, ' ');
  view.replace(0, 9, "TYPE=VIEW");
  EXPECT_EQ(parseFrm(ByteView(view), test::shippedCatalogue()).reason(), "not a table definition file");
  std::string version(100, '\0');
  version[0] = char(0xFE);
  version[1] = 1;
  version[2] = 8;
  EXPECT_EQ(parseFrm(ByteView(version), test::shippedCatalogue()).reason(), "unknown table definition layout 8");
}

}  // namespace
}  // namespace tavrin
