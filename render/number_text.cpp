#include "render/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "tabledef/field_layout.h"

namespace tavrin {

namespace {

// Significant digits and the position of the decimal point, as "d1d2...dn"
// with value 0.d1d2...dn * 10^point.
struct Digits {
  std::string digits;
  int point = 0;
};

Digits scientific(double magnitude, int precision /* -1: shortest */) {
  char buffer[64];
  auto r = precision < 0 ? std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific)
                         : std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific,
                                         precision - 1);
  std::string_view text(buffer, size_t(r.ptr - buffer));
  size_t e = text.find('e');
  Digits d;
  for (char c : text.substr(0, e)) {
    if (c != '.') d.digits.push_back(c);
  }
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), exponent);
  d.point = exponent + 1;
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// The shortest digits that give the value back, or, when those are more than
// `limit`, the value rounded to `limit` significant digits.
Digits significantDigits(double magnitude, int limit) {
  Digits shortest = scientific(magnitude, -1);
  if (int(shortest.digits.size()) <= limit) return shortest;
  return scientific(magnitude, limit);
}

constexpr int kFloatDigits = 6;  // FLT_DIG
constexpr int kDoubleDigits = 17;
// Beyond this many integer digits (for whole numbers) or leading zeros, the
// exponent form is used.
constexpr int kMaxPointForFixedForm = 15;  // DBL_DIG

constexpr uint32_t kPowers[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
constexpr uint32_t kLargestGroup = 999999999;

// What a DECIMAL of this scale shows when it is zero or its bytes are no decimal.
void appendZeroDecimal(std::string& out, int32_t scale) {
  out.push_back('0');
  if (scale > 0) {
    out.push_back('.');
    out.append(size_t(scale), '0');
  }
}

// The digit groups of a stored DECIMAL, front to back. The stored sign bit is
// set for values of at least zero, and a negative value has all its bits
// inverted.
class DecimalGroups {
 public:
  DecimalGroups(ByteView stored, uint32_t size) : size_(size) {
    for (uint32_t i = 0; i < size && i < sizeof bytes_; ++i) bytes_[i] = stored[i];
    negative_ = !(bytes_[0] & 0x80);
    bytes_[0] ^= 0x80;
    mask_ = negative_ ? 0xFFFFFFFF : 0;
  }

  bool negative() const { return negative_; }

  // The next group, of `width` bytes.
  uint32_t next(uint32_t width) {
    const ByteView v(bytes_, size_);
    uint32_t x = 0;
    for (uint32_t i = 0; i < width; ++i) x = x << 8 | v[p_ + i];
    p_ += width;
    // Bytes beyond the group width are sign bits; a 4-byte group needs none.
    const uint32_t widthMask = width == 4 ? 0xFFFFFFFF : (1u << (8 * width)) - 1;
    return (x ^ mask_) & widthMask;
  }

 private:
  uint8_t bytes_[64];
  uint32_t size_;
  bool negative_;
  uint32_t mask_;
  size_t p_ = 0;
};

// Appends a group as `digits` digits, zeros in front.
void appendGroup(std::string& s, uint32_t x, uint32_t digits) {
  char buffer[16];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, x);
  s.append(digits - std::min<uint32_t>(digits, uint32_t(r.ptr - buffer)), '0');
  s.append(buffer, r.ptr);
}

// A group of nine digits; false when it holds a larger number.
bool readWholeGroup(DecimalGroups& groups, std::string& digits) {
  const uint32_t x = groups.next(4);
  if (x > kLargestGroup) return false;
  appendGroup(digits, x, 9);
  return true;
}

// The integer digits, zeros in front as stored; false when a group holds more
// digits than it may.
bool readIntegerDigits(DecimalGroups& groups, uint32_t intg, std::string& digits) {
  if (uint32_t lead = intg % 9; lead > 0) {
    const uint32_t x = groups.next(kDecimalGroupBytes[lead]);
    if (x >= kPowers[lead] * 10) return false;  // one digit more than declared is accepted
    appendGroup(digits, x, lead + (x >= kPowers[lead] ? 1 : 0));
  }
  for (uint32_t i = 0; i < intg / 9; ++i) {
    if (!readWholeGroup(groups, digits)) return false;
  }
  return true;
}

// The `frac` decimals; false when a group holds more digits than it may.
bool readFractionDigits(DecimalGroups& groups, uint32_t frac, std::string& digits) {
  for (uint32_t i = 0; i < frac / 9; ++i) {
    if (!readWholeGroup(groups, digits)) return false;
  }
  if (uint32_t trail = frac % 9; trail > 0) {
    const uint32_t x = groups.next(kDecimalGroupBytes[trail]);
    if (x >= kPowers[trail]) return false;
    appendGroup(digits, x, trail);
  }
  return true;
}

// The sign, unless the value is zero, the integer digits without leading
// zeros, and the decimals.
void appendDecimalText(std::string& out, bool negative, std::string intDigits, const std::string& fracDigits,
                       int32_t scale) {
  size_t firstDigit = intDigits.find_first_not_of('0');
  intDigits = firstDigit == std::string::npos ? "0" : intDigits.substr(firstDigit);
  const bool isZero = intDigits == "0" && fracDigits.find_first_not_of('0') == std::string::npos;
  if (negative && !isZero) out.push_back('-');
  out += intDigits;
  if (scale > 0) {
    out.push_back('.');
    out += fracDigits;
  }
}

}  // namespace

void appendInteger(std::string& out, int64_t value) {
  char buffer[24];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

void appendUnsigned(std::string& out, uint64_t value) {
  char buffer[24];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

void appendFloatExactly(std::string& out, float value) {
  if (!std::isfinite(value)) {
    out.push_back('0');
    return;
  }
  char buffer[32];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

void appendReal(std::string& out, double value, bool singlePrecision, int32_t decimals) {
  if (!std::isfinite(value)) {
    out.push_back('0');
    return;
  }
  if (decimals < kNotFixedDecimals) {
    char buffer[400];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    out.append(buffer, r.ptr);
    return;
  }
  if (std::signbit(value)) out.push_back('-');
  if (value == 0) {
    out.push_back('0');
    return;
  }
  const Digits d = significantDigits(std::fabs(value), singlePrecision ? kFloatDigits : kDoubleDigits);
  const int len = int(d.digits.size());
  const bool fixedForm = d.point >= -kMaxPointForFixedForm + 1 && (d.point <= kMaxPointForFixedForm || len > d.point);
  if (fixedForm) {
    if (d.point <= 0) {
      out += "0.";
      out.append(size_t(-d.point), '0');
      out += d.digits;
    } else if (d.point < len) {
      out.append(d.digits, 0, size_t(d.point));
      out.push_back('.');
      out.append(d.digits, size_t(d.point));
    } else {
      out += d.digits;
      out.append(size_t(d.point - len), '0');
    }
    return;
  }
  out.push_back(d.digits[0]);
  if (len > 1) {
    out.push_back('.');
    out.append(d.digits, 1);
  }
  out.push_back('e');
  appendInteger(out, d.point - 1);
}

void appendDecimal(std::string& out, ByteView stored, int32_t precision, int32_t scale) {
  const uint32_t size = decimalBinarySize(precision, scale);
  // A damaged definition may give a scale of billions: its zero has no more
  // decimals than any DECIMAL.
  if (size == 0 || stored.size() < size || precision > kMaxDecimalPrecision || scale > kMaxDecimalScale) {
    return appendZeroDecimal(out, std::min(scale, kMaxDecimalScale));
  }
  DecimalGroups groups(stored, size);
  std::string intDigits, fracDigits;
  if (!readIntegerDigits(groups, uint32_t(precision - scale), intDigits) ||
      !readFractionDigits(groups, uint32_t(scale), fracDigits)) {
    return appendZeroDecimal(out, scale);
  }
  appendDecimalText(out, groups.negative(), std::move(intDigits), fracDigits, scale);
}

void zeroFill(std::string& out, size_t textStart, uint32_t width) {
  const size_t length = out.size() - textStart;
  if (length < width) out.insert(textStart, width - length, '0');
}

}  // namespace tavrin
