#include "render/temporal_text.h"

#include <algorithm>

#include "render/number_text.h"
#include "tabledef/field_layout.h"

namespace tavrin {

namespace {

// Writes `value` with at least `width` digits at `p` (room for 20 digits or
// `width`, whichever is more); returns the end.
char* putPadded(char* p, uint64_t value, size_t width) {
  char digits[20];
  size_t n = 0;
  do {
    digits[n++] = char('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (size_t i = n; i < width; ++i) *p++ = '0';
  while (n > 0) *p++ = digits[--n];
  return p;
}

char* putFraction(char* p, uint32_t microsecond, uint32_t digits) {
  if (digits == 0) return p;
  if (digits > kMaxFractionalDigits) digits = kMaxFractionalDigits;
  uint32_t value = microsecond;
  for (uint32_t i = digits; i < 6; ++i) value /= 10;
  *p++ = '.';
  return putPadded(p, value, digits);
}

char* putDate(char* p, const CalendarTime& t) {
  p = putPadded(p, t.year, 4);
  *p++ = '-';
  p = putPadded(p, t.month, 2);
  *p++ = '-';
  return putPadded(p, t.day, 2);
}

char* putTime(char* p, const CalendarTime& t, uint32_t digits) {
  if (t.negative) *p++ = '-';
  p = putPadded(p, t.hour, 2);
  *p++ = ':';
  p = putPadded(p, t.minute, 2);
  *p++ = ':';
  p = putPadded(p, t.second, 2);
  return putFraction(p, t.microsecond, digits);
}

// Room for a date and a time of any field values, fraction included.
constexpr size_t kTemporalTextRoom = 160;

constexpr uint32_t kPowers[kMaxFractionalDigits + 1] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// The fractional part that follows the whole seconds of the 5.6 layouts:
// (digits + 1) / 2 bytes, big-endian, counting units of 10^-2, 10^-4 or 10^-6.
int64_t binaryFraction(ByteView bytes, size_t at, uint32_t digits, bool isSigned) {
  switch ((digits + 1) / 2) {
    case 1: return (isSigned ? int64_t(int8_t(bytes[at])) : int64_t(bytes[at])) * 10000;
    case 2: {
      uint32_t v = be16(bytes, at);
      return (isSigned ? int64_t(int16_t(v)) : int64_t(v)) * 100;
    }
    case 3: {
      uint32_t v = be24(bytes, at);
      return isSigned && (v & 0x800000) ? int64_t(v) - 0x1000000 : int64_t(v);
    }
    default: return 0;
  }
}

}  // namespace

// Each text is put together in a buffer and appended once: millions of
// values are written this way when rows are saved.
void appendDate(std::string& out, const CalendarTime& t) {
  char text[kTemporalTextRoom];
  out.append(text, size_t(putDate(text, t) - text));
}

void appendTime(std::string& out, const CalendarTime& t, uint32_t digits) {
  char text[kTemporalTextRoom];
  out.append(text, size_t(putTime(text, t, digits) - text));
}

void appendDateTime(std::string& out, const CalendarTime& t, uint32_t digits) {
  char text[kTemporalTextRoom];
  char* p = putDate(text, t);
  *p++ = ' ';
  out.append(text, size_t(putTime(p, t, digits) - text));
}

CalendarTime dateFromNewDate(uint32_t v) {
  CalendarTime t;
  t.day = v & 31;
  t.month = (v >> 5) & 15;
  t.year = v >> 9;
  return t;
}

CalendarTime dateFromNumber(uint32_t v) {
  CalendarTime t;
  t.year = v / 10000;
  t.month = v / 100 % 100;
  t.day = v % 100;
  return t;
}

CalendarTime timeFromNumber(int32_t v) {
  CalendarTime t;
  t.negative = v < 0;
  uint32_t a = uint32_t(v < 0 ? -int64_t(v) : v);
  t.hour = a / 10000;
  t.minute = a / 100 % 100;
  t.second = a % 100;
  return t;
}

CalendarTime timeFromBinary(ByteView bytes, uint32_t digits) {
  // Whole seconds as hour (10 bits), minute (6), second (6), offset by 2^23;
  // a negative time keeps its fraction counted down from the next second.
  int64_t whole = int64_t(be24(bytes, 0)) - 0x800000;
  int64_t fraction = 0;
  if (digits >= 5) {
    int64_t packed = int64_t(be48(bytes, 0)) - 0x800000000000LL;
    whole = packed >> 24;
    fraction = packed - (whole << 24);
  } else if (digits > 0) {
    fraction = binaryFraction(bytes, 3, digits, false);
    const int64_t unit = digits <= 2 ? 10000 : 100;
    if (whole < 0 && fraction != 0) {
      ++whole;
      fraction -= (digits <= 2 ? 0x100 : 0x10000) * unit;
    }
  }
  int64_t packed = whole * (int64_t(1) << 24) + fraction;
  CalendarTime t;
  t.negative = packed < 0;
  if (packed < 0) packed = -packed;
  const uint64_t hms = uint64_t(packed) >> 24;
  t.hour = uint32_t(hms >> 12) % 1024;
  t.minute = uint32_t(hms >> 6) % 64;
  t.second = uint32_t(hms) % 64;
  t.microsecond = uint32_t(uint64_t(packed) % (1u << 24));
  return t;
}

CalendarTime dateTimeFromNumber(uint64_t v) {
  CalendarTime t;
  const uint64_t date = v / 1000000, time = v % 1000000;
  t.year = uint32_t(date / 10000);
  t.month = uint32_t(date / 100 % 100);
  t.day = uint32_t(date % 100);
  t.hour = uint32_t(time / 10000);
  t.minute = uint32_t(time / 100 % 100);
  t.second = uint32_t(time % 100);
  return t;
}

CalendarTime dateTimeFromBinary(ByteView bytes, uint32_t digits) {
  // year*13+month (17 bits), day (5), hour (5), minute (6), second (6),
  // offset by 2^39, then the fraction.
  // Damaged bytes can make any value: the sum wraps instead of overflowing,
  // and the magnitude is taken without negating the smallest number.
  const int64_t whole = int64_t(be40(bytes, 0)) - 0x8000000000LL;
  const int64_t packed =
      int64_t(uint64_t(whole) * (uint64_t(1) << 24) + uint64_t(binaryFraction(bytes, 5, digits, true)));
  const uint64_t magnitude = packed < 0 ? uint64_t(0) - uint64_t(packed) : uint64_t(packed);
  CalendarTime t;
  t.microsecond = uint32_t(magnitude % (1u << 24));
  const uint64_t ymdhms = magnitude >> 24;
  const uint64_t ymd = ymdhms >> 17, ym = ymd >> 5, hms = ymdhms % (1 << 17);
  t.day = uint32_t(ymd % 32);
  t.month = uint32_t(ym % 13);
  t.year = uint32_t(ym / 13);
  t.second = uint32_t(hms % 64);
  t.minute = uint32_t((hms >> 6) % 64);
  t.hour = uint32_t(hms >> 12);
  return t;
}

namespace {
uint64_t countOf(ByteView bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes.size() && i < 8; ++i) v = v << 8 | bytes[i];
  return v;
}
}  // namespace

CalendarTime timeFromCount(ByteView bytes, uint32_t digits) {
  // Units of 10^-digits seconds, offset by half the range so that negative
  // times sort first.
  constexpr int64_t kMaxHours = 838 * 3600LL + 59 * 60 + 59;
  digits = std::min(digits, kMaxFractionalDigits);
  const int64_t offset = (kMaxHours + 1) * int64_t(kPowers[digits]);
  int64_t units = int64_t(countOf(bytes)) - offset;
  CalendarTime t;
  t.negative = units < 0;
  if (units < 0) units = -units;
  const int64_t seconds = units / kPowers[digits];
  t.microsecond = uint32_t(units % kPowers[digits]) * kPowers[6 - digits];
  t.hour = uint32_t(seconds / 3600);
  t.minute = uint32_t(seconds / 60 % 60);
  t.second = uint32_t(seconds % 60);
  return t;
}

CalendarTime dateTimeFromCount(ByteView bytes, uint32_t digits) {
  // Units of 10^-digits seconds of the number YYYYMMDDhhmmss read as
  // ((year*13+month)*32+day)*24... : see the packing below.
  digits = std::min(digits, kMaxFractionalDigits);
  const uint64_t units = countOf(bytes);
  const uint64_t packed = units / kPowers[digits];
  CalendarTime t;
  t.microsecond = uint32_t(units % kPowers[digits]) * kPowers[6 - digits];
  uint64_t rest = packed;
  t.second = uint32_t(rest % 60);
  rest /= 60;
  t.minute = uint32_t(rest % 60);
  rest /= 60;
  t.hour = uint32_t(rest % 24);
  rest /= 24;
  t.day = uint32_t(rest % 32);
  rest /= 32;
  t.month = uint32_t(rest % 13);
  t.year = uint32_t(rest / 13);
  return t;
}

uint32_t timestampMicroseconds(ByteView fraction, uint32_t digits) {
  return uint32_t(binaryFraction(fraction, 0, digits, false));
}

uint32_t yearFromStored(uint8_t stored) { return stored == 0 ? 0 : 1900u + stored; }

void appendYear(std::string& out, uint32_t year, bool twoDigits) {
  char text[kTemporalTextRoom];
  out.append(text, size_t(putPadded(text, twoDigits ? year % 100 : year, twoDigits ? 2 : 4) - text));
}

}  // namespace tavrin
