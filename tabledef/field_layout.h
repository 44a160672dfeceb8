#pragma once
// How many bytes each column takes in the server's row image, and the facts
// of the stored layouts that decide it.

#include <cstdint>

#include "base/bytes.h"
#include "base/result.h"

#include "tabledef/row_values.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// The declared scale of a FLOAT or DOUBLE, or 31 when none was declared.
int32_t declaredScale(const ColumnDefinition& column);

// A binary DECIMAL keeps its digits in groups of nine, four bytes each; a
// shorter leading or trailing group takes the bytes this table gives.
inline constexpr uint32_t kDecimalDigitsPerGroup = 9;
inline constexpr uint32_t kDecimalGroupBytes[kDecimalDigitsPerGroup + 1] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4};

// The most digits a DECIMAL can have, and the most decimals among them.
inline constexpr int32_t kMaxDecimalPrecision = 65;
inline constexpr int32_t kMaxDecimalScale = 38;

// Bytes of a binary DECIMAL of this precision and scale.
uint32_t decimalBinarySize(int32_t precision, int32_t scale);

// No TIME, DATETIME or TIMESTAMP keeps more fractional-second digits.
inline constexpr uint32_t kMaxFractionalDigits = 6;

// Fractional-second digits of a TIME, DATETIME or TIMESTAMP column, from its
// display length; a damaged length gives no more than the most there are.
uint32_t fractionalDigits(const ColumnDefinition& column);

// The most bits a BIT column holds.
inline constexpr uint32_t kMaxBitWidth = 64;

// TIME, DATETIME and TIMESTAMP with fractional seconds written by MariaDB 5.3
// to 10.0, which keep the old type codes with a longer display length.
bool isHighResolutionTemporal(const ColumnDefinition& column);

// True for the types kept as a length and a pointer in the row image, their
// bytes apart: BLOB/TEXT, GEOMETRY and MySQL's JSON.
bool keptLikeBlob(FieldType type);

// Bytes of the length prefix of a BLOB/TEXT/GEOMETRY value.
uint32_t blobLengthBytes(const ColumnDefinition& column);

// Bytes of the length prefix of a VARCHAR in the row image.
uint32_t varcharLengthBytes(const ColumnDefinition& column);

// Bytes of an ENUM or SET value, from the number of names.
uint32_t enumPackLength(size_t names);
uint32_t setPackLength(size_t names);

// MariaDB's UUID columns written by servers before 10.11.5 (and the like of
// the other series) keep every value's five groups in reverse order; later
// servers reverse only the time-based values of RFC variant.
bool uuidAlwaysReversed(uint32_t serverVersion);
// Whether a stored UUID's groups are reversed, by the layout of its server.
bool uuidGroupsReversed(ByteView stored, bool alwaysReversed);

// Bytes of the column at its position in the row image (a BLOB keeps its
// length and a pointer there; a BIT keeps its odd bits among the NULL bits).
uint32_t packLength(const ColumnDefinition& column);

// Whether `next`, an AUTO_INCREMENT counter from a table's files, can be the
// table's: not past one beyond the largest value its integer column holds,
// which only damage writes.
Status checkAutoIncrement(const TableDefinition& table, uint64_t next);

// True when a key part of `length` bytes holds only the first bytes of its column.
bool isPrefixPart(const ColumnDefinition& column, uint32_t length);

// Gives each nullable column its NULL bit and each BIT column that keeps
// its odd bits among them their place, from bit `firstBit` of the row image
// on (1 in fixed-length rows, whose first bit is reserved); sets nullBytes.
void placeNullBits(TableDefinition& def, uint32_t firstBit);

// How a column's value is taken from the server's row image, the layout of
// MyISAM's fixed-length rows and of a definition file's default record.
struct RecordColumn {
  enum class Take { Skip, Fixed, Varchar, Blob, Bits };
  Take take = Take::Skip;
  uint32_t offset = 0;
  uint32_t width = 0;   // Fixed: bytes; Varchar: length bytes; Bits: whole bytes
  uint32_t limit = 0;   // Varchar: the longest value
  uint32_t nullByte = 0;
  uint8_t nullMask = 0;  // 0 when the column cannot be NULL
  uint32_t bitsByte = 0;
  uint8_t bitsShift = 0;
  uint32_t oddBits = 0;
};

RecordColumn recordColumn(const ColumnDefinition& column);

// The value of a column in a row image. A BIT value is put together from its
// two places into `bits` (8 bytes); a BLOB's bytes are not in the image, and
// come back empty.
FieldValue recordValue(const RecordColumn& column, ByteView image, uint8_t* bits);

}  // namespace tavrin
