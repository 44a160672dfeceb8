#pragma once
// Texts of numbers, as the server's client shows them.

#include <cstdint>
#include <string>

#include "base/bytes.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// A FLOAT or DOUBLE declared without a scale.
inline constexpr int32_t kNotFixedDecimals = PackFlag::NoDecimals;

void appendInteger(std::string& out, int64_t value);
void appendUnsigned(std::string& out, uint64_t value);

// FLOAT and DOUBLE: with a declared scale, exactly that many decimals;
// without one, the shortest text that gives the value back (for FLOAT at most
// 6 significant digits), in exponent form for very large and very small
// numbers (1e20, 1e-20).
void appendReal(std::string& out, double value, bool singlePrecision, int32_t decimals);

// The shortest text that a server reads back as the same FLOAT: the six
// digits the server shows lose most FLOATs' last bits.
void appendFloatExactly(std::string& out, float value);

// A binary DECIMAL of this precision and scale: sign, integer digits, and
// exactly `scale` decimals. Bytes that are no decimal give 0.
void appendDecimal(std::string& out, ByteView stored, int32_t precision, int32_t scale);

// ZEROFILL: zeros in front of the text up to the display width.
void zeroFill(std::string& out, size_t textStart, uint32_t width);

}  // namespace tavrin
