#pragma once
// The texts of a typed value: the display form of the grid (markers for
// large values), the export form (every value in full) and SQL literals.

#include <string>
#include <string_view>

#include "render/time_zone.h"
#include "render/value.h"
#include "render/value_decoder.h"

namespace tavrin {

inline constexpr const char* kNullText = "NULL";
inline constexpr const char* kBinaryMarker = "0x<Binarydata>";
inline constexpr const char* kLargeBlobMarker = "Large Blob Data";
inline constexpr const char* kExternalBlobMarker = "Large Size Blob Data";
inline constexpr const char* kSpatialMarker = "Spatial Data";

struct TextForm {
  bool exportForm = false;
  // Display form: BLOB/TEXT values of at least this many bytes show a
  // marker; 0 for no limit.
  size_t largeValueLimit = 0;
  TimeZone zone;  // where TIMESTAMP values are shown
};

// The text of a value as the server's client shows it, with the tool's own
// forms for what text cannot hold: binary strings and BLOBs as 0x and
// hexadecimal, BIT as its bits.
void appendValueText(std::string& out, const Value& value, const ColumnFormat& format, const TextForm& form);

// The value as an SQL literal that gives it back: NULL, numbers, quoted and
// escaped strings, dates and times (TIMESTAMP in `zone`), binary values as
// hexadecimal, BIT as b'...'. A value kept apart and not read has none:
// false, and nothing is appended.
bool appendSqlLiteral(std::string& out, const Value& value, const ColumnFormat& format, const TimeZone& zone);

}  // namespace tavrin
