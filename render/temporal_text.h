#pragma once
// Texts of dates and times, as the server's client shows them, from every
// stored layout of DATE, TIME, DATETIME, TIMESTAMP and YEAR.

#include <cstdint>
#include <string>

#include "base/bytes.h"

namespace tavrin {

struct CalendarTime {
  bool negative = false;  // TIME only
  uint32_t year = 0, month = 0, day = 0;
  uint32_t hour = 0, minute = 0, second = 0;
  uint32_t microsecond = 0;
};

// 2013-05-07
void appendDate(std::string& out, const CalendarTime& t);
// -838:59:59.000 with `digits` fractional digits
void appendTime(std::string& out, const CalendarTime& t, uint32_t digits);
// 2013-05-07 09:03:02.500
void appendDateTime(std::string& out, const CalendarTime& t, uint32_t digits);

// The stored layouts, each from its bytes in the row image.
CalendarTime dateFromNewDate(uint32_t value);            // 3 bytes: day, month, year bit fields
CalendarTime dateFromNumber(uint32_t yyyymmdd);          // the DATE of servers before 5.0
CalendarTime timeFromNumber(int32_t hhmmss);             // TIME before 5.6
CalendarTime timeFromBinary(ByteView bytes, uint32_t digits);      // TIME of 5.6
CalendarTime dateTimeFromNumber(uint64_t yyyymmddhhmmss);          // DATETIME before 5.6
CalendarTime dateTimeFromBinary(ByteView bytes, uint32_t digits);  // DATETIME of 5.6
// MariaDB 5.3 to 10.0 TIME and DATETIME with fractional seconds: a count of
// units since a zero point, big-endian.
CalendarTime timeFromCount(ByteView bytes, uint32_t digits);
CalendarTime dateTimeFromCount(ByteView bytes, uint32_t digits);

// The fractional part of a TIMESTAMP of 5.6, after its 4 big-endian seconds.
uint32_t timestampMicroseconds(ByteView fraction, uint32_t digits);

// YEAR: the stored byte counts from 1900, with 0 for the zero year 0000;
// YEAR(2) of old servers shows two digits.
uint32_t yearFromStored(uint8_t stored);
void appendYear(std::string& out, uint32_t year, bool twoDigits);

}  // namespace tavrin
