// Texts of single values: numbers as the server formats them (cases taken
// from its answers) and the stored layouts of DECIMAL, TIME and DATETIME.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>

#include "render/mysql_json.h"
#include "render/number_text.h"
#include "render/temporal_text.h"
#include "render/time_zone.h"
#include "render/value_renderer.h"
#include "session/table_rows.h"
#include "tabledef/field_layout.h"
#include "test_support.h"

namespace tavrin {
namespace {

std::string real(double value, bool single, int32_t decimals = kNotFixedDecimals) {
  std::string out;
  appendReal(out, single ? double(float(value)) : value, single, decimals);
  return out;
}

TEST(NumberText, FloatAndDoubleAsTheServerShowsThem) {
  struct Case {
    double value;
    bool single;
    int32_t decimals;
    const char* text;
  } cases[] = {
      {0.1, true, kNotFixedDecimals, "0.1"},
      {16777217, true, kNotFixedDecimals, "16777200"},
      {3.4e38, true, kNotFixedDecimals, "3.4e38"},
      {1e15, true, kNotFixedDecimals, "1e15"},
      {1234567, true, kNotFixedDecimals, "1234570"},
      {1e-10, true, kNotFixedDecimals, "0.0000000001"},
      {123456789, true, kNotFixedDecimals, "123457000"},
      {1.5, true, kNotFixedDecimals, "1.5"},
      {0, true, kNotFixedDecimals, "0"},
      {3.14159, true, 4, "3.1416"},
      {-1.1, true, 4, "-1.1000"},
      {0.1, false, kNotFixedDecimals, "0.1"},
      {1e20, false, kNotFixedDecimals, "1e20"},
      {1e-20, false, kNotFixedDecimals, "1e-20"},
      {123456789012345678.0, false, kNotFixedDecimals, "1.2345678901234568e17"},
      {1e16, false, kNotFixedDecimals, "1e16"},
      {0.00001, false, kNotFixedDecimals, "0.00001"},
      {1e-15, false, kNotFixedDecimals, "0.000000000000001"},
      {123456789012345.0, false, kNotFixedDecimals, "123456789012345"},
      {1234567890123456.0, false, kNotFixedDecimals, "1.234567890123456e15"},
      {1.2345678901234567e-15, false, kNotFixedDecimals, "0.0000000000000012345678901234568"},
      {-1.5e-300, false, kNotFixedDecimals, "-1.5e-300"},
      {5e-324, false, kNotFixedDecimals, "5e-324"},
      {1.7976931348623157e308, false, kNotFixedDecimals, "1.7976931348623157e308"},
      {1234.5674, false, 3, "1234.567"},
  };
  for (const Case& c : cases) EXPECT_EQ(real(c.value, c.single, c.decimals), c.text) << c.value;
}

TEST(NumberText, FloatLiteralsGiveTheStoredFloatBack) {
  for (const float value : {1.0f / 3, 4.0f / 3, 16777217.0f, 3.4e38f, -3.4e38f, 0.1f, 1e-10f, -2.5e-38f, 1.17549435e-38f,
                            123456789.0f, 0.0f, -7.0f}) {
    std::string text;
    appendFloatExactly(text, value);
    // The server parses a literal as a DOUBLE, then stores it as a FLOAT.
    EXPECT_EQ(float(std::strtod(text.c_str(), nullptr)), value) << text;
  }
}

TEST(NumberText, BinaryDecimals) {
  struct Case {
    std::vector<uint8_t> bytes;
    int32_t precision, scale;
    const char* text;
  } cases[] = {
      {{0x80, 0x00, 0x00, 0x0C, 0x32}, 10, 2, "12.50"},
      {{0x7F, 0xFF, 0xFF, 0xF3, 0xCD}, 10, 2, "-12.50"},
      {{0x7F, 0xFF, 0xFF, 0xFF, 0xFA}, 10, 2, "-0.05"},
      {{0x80, 0x00, 0x00}, 5, 0, "0"},
      {{0xA7, 0x0F}, 3, 0, "9999"},  // one digit more than declared is accepted
      {{0xA7, 0x10}, 3, 0, "0"},     // two are not
      {{0x80, 0x00, 0x00, 0x00, 0x3B, 0x9A, 0xCA, 0x00}, 18, 0, "0"},  // a group of 10^9
      {{0x80, 0x00}, 10, 2, "0.00"},  // cut short
  };
  for (const Case& c : cases) {
    std::string out;
    appendDecimal(out, ByteView(c.bytes), c.precision, c.scale);
    EXPECT_EQ(out, c.text);
  }
  std::string filled = "42";
  zeroFill(filled, 0, 6);
  EXPECT_EQ(filled, "000042");
}

TEST(TemporalText, StoredLayouts) {
  const uint8_t time[] = {0x80, 0x90, 0xC2};
  std::string out;
  appendTime(out, timeFromBinary(ByteView(time, 3), 0), 0);
  EXPECT_EQ(out, "09:03:02");
  const uint8_t dateTime[] = {0x99, 0x8F, 0x8E, 0x90, 0xC2};
  out.clear();
  appendDateTime(out, dateTimeFromBinary(ByteView(dateTime, 5), 0), 0);
  EXPECT_EQ(out, "2013-05-07 09:03:02");
  out.clear();
  appendDate(out, dateFromNewDate(2013 * 512 + 5 * 32 + 7));
  EXPECT_EQ(out, "2013-05-07");
  out.clear();
  appendDateTime(out, dateTimeFromNumber(99991231235959ULL), 0);
  EXPECT_EQ(out, "9999-12-31 23:59:59");
  out.clear();
  appendTime(out, timeFromNumber(-8385959), 0);
  EXPECT_EQ(out, "-838:59:59");
  out.clear();
  appendYear(out, yearFromStored(0), false);
  appendYear(out, yearFromStored(113), false);
  appendYear(out, yearFromStored(113), true);
  EXPECT_EQ(out, "0000201313");
}

// The export text of one stored value of a table of one column.
std::string exportText(const ColumnDefinition& column, const std::vector<uint8_t>& stored) {
  TableDefinition table;
  table.columns.push_back(column);
  ValueRenderer renderer(table, test::shippedCatalogue(), TextForm{true, 0, TimeZone::utc()});
  RowValues row(1);
  row[0].isNull = false;
  row[0].bytes = ByteView(stored);
  std::vector<std::string> cells;
  renderer.render(row, cells);
  return cells[0];
}

ColumnDefinition columnOf(FieldType type, uint32_t length, uint16_t packFlags = 0) {
  ColumnDefinition c;
  c.fieldType = type;
  c.fieldLength = length;
  c.packFlags = packFlags;
  c.charsetId = kBinaryCollation;
  return c;
}

// Damaged definitions claim lengths and scales no column has; values are
// shown within the limits of their types.
TEST(DamagedDefinitions, ValuesStayWithinTheLimitsOfTheirTypes) {
  // Twelve fractional digits by the display length: six are shown.
  EXPECT_EQ(exportText(columnOf(FieldType::Timestamp, 19 + 1 + 12), {0, 0, 0, 1, 0, 0, 2}),
            "1970-01-01 00:00:01.000002");
  EXPECT_EQ(exportText(columnOf(FieldType::Time, 10 + 1 + 12), {0x02, 0xBF, 0x3D, 0xED, 0xBE, 0x42}),
            "00:00:01.000002");
  // A BIT of 100 bits shows the 64 that a value holds.
  EXPECT_EQ(exportText(columnOf(FieldType::Bit, 100), std::vector<uint8_t>(13, 0xFF)), std::string(64, '1'));
  // A ZEROFILL width of 100000.
  EXPECT_EQ(exportText(columnOf(FieldType::Long, 100000, PackFlag::Zerofill), {42, 0, 0, 0}),
            std::string(253, '0') + "42");
  // A DECIMAL with a scale of a billion.
  ColumnDefinition decimal = columnOf(FieldType::NewDecimal, 12);
  decimal.precision = 10;
  decimal.decimals = 1000000000;
  EXPECT_EQ(exportText(decimal, {0x80, 0, 0, 0, 0}), "0." + std::string(kMaxDecimalScale, '0'));
}

// An opaque DECIMAL of 200 digits, more than any DECIMAL holds, in the 89
// bytes such a precision would take.
std::vector<uint8_t> widestDecimal() {
  const uint32_t bytes = decimalBinarySize(200, 0);
  std::vector<uint8_t> document = {0x0F, 246, uint8_t(2 + bytes), 200, 0};
  document.resize(document.size() + bytes, 0x80);
  return document;
}

// The stored documents of the real MySQL 5.7 table.
std::vector<std::vector<uint8_t>> realJsonDocuments() {
  auto table = TableRows::open(test::realFixtures() + "/mariadb-test-data", "mysql_json_test", test::shippedCatalogue());
  EXPECT_TRUE(table) << table.reason();
  std::vector<std::vector<uint8_t>> documents;
  if (!table) return documents;
  const WalkEnd end = (*table)->read((*table)->firstPage(), 1000, [&](const RowValues& row) {
    if (!row[2].isNull) documents.push_back(row[2].bytes.copy());
  });
  EXPECT_TRUE(test::problems(end).empty()) << test::problems(end);
  return documents;
}

TEST(MysqlJson, DamagedDocumentsFailWithAReason) {
  const auto documents = realJsonDocuments();
  ASSERT_EQ(documents.size(), 100u);
  struct Case {
    std::vector<uint8_t> bytes;
    const char* reason;
  } cases[] = {
      {{0x0C, 0x05, 'a', 'b'}, "the JSON value is damaged: a string runs past its end"},
      {{0x04, 0x07}, "the JSON value is damaged: an unknown literal"},
      {{0x09, 1, 2, 3}, "the JSON value is damaged: a number is cut short"},
      {{0x02, 0x01, 0x00, 0xFF, 0x00}, "the JSON value is damaged: an object or array is longer than its value"},
      {{0x0E}, "the JSON value is damaged: an unknown type"},
      {widestDecimal(), "the JSON value is damaged: a decimal does not fit its precision"},
  };
  for (const Case& c : cases) {
    std::string out = "kept";
    Status text = appendMysqlJson(out, ByteView(c.bytes));
    EXPECT_EQ(text.reason(), c.reason);
    EXPECT_EQ(out, "kept");
  }
  // Arrays nested 200 deep: the nesting limit ends the walk.
  std::vector<uint8_t> deep = {0x00, 0x00, 0x04, 0x00};  // the innermost, empty
  for (int i = 0; i < 200; ++i) {
    const size_t size = deep.size() + 7;
    const uint8_t header[] = {0x01, 0x00, uint8_t(size), uint8_t(size >> 8), 0x02, 0x07, 0x00};
    deep.insert(deep.begin(), std::begin(header), std::end(header));
  }
  deep.insert(deep.begin(), 0x02);
  std::string out;
  EXPECT_EQ(appendMysqlJson(out, ByteView(deep)).reason(), "the JSON value is damaged: it nests too deep");
  deep.erase(deep.begin() + 1, deep.begin() + 1 + 7 * 60);  // 140 deep is allowed
  EXPECT_TRUE(appendMysqlJson(out, ByteView(deep)));
  EXPECT_EQ(out, std::string(141, '[') + std::string(141, ']'));
}

// Random damage: what these rounds prove (no crash, no hang, no read outside
// a buffer) is judged by the sanitizer build, which runs them too.
TEST(MysqlJson, RandomlyChangedDocuments) {
  std::mt19937 random(test::fuzzSeed(12));
  for (const auto& document : realJsonDocuments()) {
    for (int round = 0; round < 200; ++round) {
      std::vector<uint8_t> damaged = document;
      if (round % 2) damaged.resize(random() % (damaged.size() + 1));
      for (int i = 0; i < 3 && !damaged.empty(); ++i) damaged[random() % damaged.size()] = uint8_t(random());
      auto copy = std::make_unique<uint8_t[]>(damaged.size() + 1);
      std::copy(damaged.begin(), damaged.end(), copy.get());
      std::string out;
      if (Status text = appendMysqlJson(out, ByteView(copy.get(), damaged.size())); !text) {
        EXPECT_TRUE(out.empty());
      }
    }
  }
}

// A named zone gives what the C library gives with that zone as TZ, at
// moments over the whole range of TIMESTAMP.
TEST(TimeZone, NamedZonesAgreeWithTheCLibrary) {
  const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
  for (const char* name : {"Europe/Berlin", "America/New_York", "Asia/Kolkata", "Australia/Lord_Howe", "UTC"}) {
    auto zone = TimeZone::named(name);
    ASSERT_TRUE(zone) << zone.reason();
    ::setenv("TZ", name, 1);
    ::tzset();
    const TimeZone local = TimeZone::local();
    for (int64_t t = 1; t < 2147483647; t += 86400 * 13 + 3607) {
      std::string ours, theirs;
      appendDateTime(ours, zone->fromUtc(t), 0);
      appendDateTime(theirs, local.fromUtc(t), 0);
      ASSERT_EQ(ours, theirs) << name << " at " << t;
    }
  }
  if (saved.empty()) ::unsetenv("TZ");
  else ::setenv("TZ", saved.c_str(), 1);
  ::tzset();
  const std::pair<const char*, const char*> fixed[] = {{"+03:00", "1970-01-01 03:00:00"}, {"-05:30", "1969-12-31 18:30:00"},
                                                       {"+0545", "1970-01-01 05:45:00"}, {"UTC", "1970-01-01 00:00:00"}};
  for (const auto& [name, text] : fixed) {
    auto zone = TimeZone::named(name);
    ASSERT_TRUE(zone) << name;
    std::string out;
    appendDateTime(out, zone->fromUtc(0), 0);
    EXPECT_EQ(out, text) << name;
  }
  for (const char* bad : {"+25:00", "3:00", "/etc/passwd", "Europe/../../etc/passwd", "", "Nowhere/City"}) {
    EXPECT_FALSE(TimeZone::named(bad)) << bad;
  }
}

TEST(TimeZone, DamagedZoneFilesFailWithAReason) {
  const std::vector<uint8_t> file = test::readBytes("/usr/share/zoneinfo/Europe/Berlin");
  ASSERT_GT(file.size(), 100u);
  for (size_t n = 0; n < file.size(); ++n) {
    auto copy = std::make_unique<uint8_t[]>(n + 1);
    std::copy(file.begin(), file.begin() + long(n), copy.get());
    auto rules = parseZoneFile(ByteView(copy.get(), n));
    if (!rules) {
      EXPECT_FALSE(rules.reason().empty());
    }
  }
  EXPECT_EQ(parseZoneFile(ByteView(std::string_view("TZjf0000000000000000000000000000000000000000"))).reason(),
            "not a time zone file");
}

}  // namespace
}  // namespace tavrin
