#pragma once
// A column's value as it is, decoded once from its stored bytes: a number, a
// date or time, text, bytes, or NULL. Formatters make text of it: the
// display form of the grid, the export form and SQL literals.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "render/temporal_text.h"

namespace tavrin {

enum class ValueKind : uint8_t {
  Null,
  External,   // kept apart from its row by InnoDB and not read
  Signed,     // integer
  Unsigned,   // unsignedInteger
  Float,      // real, of single precision
  Double,     // real
  Number,     // text: DECIMAL digits as the server shows them
  Year,       // unsignedInteger: the year, 0 for the zero year
  Date,       // time
  Time,       // time
  DateTime,   // time
  Timestamp,  // integer: seconds since 1970 UTC (0 for the zero value); time.microsecond
  Bits,       // unsignedInteger: BIT values up to 64 bits
  Text,       // text (UTF-8): strings, ENUM, SET, JSON, UUID, INET
  Binary,     // bytes: binary strings and BLOBs
  Geometry,   // bytes
};

struct Value {
  ValueKind kind = ValueKind::Null;
  int64_t integer = 0;
  uint64_t unsignedInteger = 0;
  double real = 0;
  CalendarTime time;
  std::string_view text;
  ByteView stored;  // the stored bytes, whatever the kind; for Binary and Geometry the value

  bool isNull() const { return kind == ValueKind::Null; }
};

// False for a date or time no server stores (month 13, minute 62, a TIME
// past 838 hours...): the bytes are damaged, or read by another table's
// definition. Such a value is still shown as its bytes give it.
bool isPlausible(const Value& v);

// The values of one row, one per column of the table; text values point
// into `arena`, which the row owns.
struct DecodedRow {
  std::vector<Value> values;
  std::string arena;
  // The columns with text and where it starts in the arena, while the row
  // is decoded (the arena may move as it grows); kept to reuse its storage.
  std::vector<std::pair<size_t, size_t>> textSpans;
};

}  // namespace tavrin
