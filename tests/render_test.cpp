// Texts of single values: numbers as the server formats them (cases taken
// from its answers) and the stored layouts of DECIMAL, TIME and DATETIME.

#include <gtest/gtest.h>

#include "render/number_text.h"
#include "render/temporal_text.h"

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
  appendYear(out, 0, false);
  appendYear(out, 113, false);
  appendYear(out, 113, true);
  EXPECT_EQ(out, "0000201313");
}

}  // namespace
}  // namespace tavrin
