#pragma once
// Turns the stored bytes of a row's columns into typed values, once per row:
// integers from their widths, dates and times from each of their layouts,
// text from each character set, DECIMAL digits, ENUM and SET names, JSON.

#include <string>
#include <vector>

#include "render/value.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/row_values.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// How a column's values are written out beyond their kind.
enum class ColumnShape : uint8_t {
  Plain,     // numbers, dates and times, BIT, ENUM, SET, UUID, INET
  String,    // CHAR, VARCHAR and their binary kin
  Blob,      // BLOB/TEXT and JSON
  Geometry,
};
struct ColumnFormat {
  ColumnShape shape = ColumnShape::Plain;
  uint32_t zerofillWidth = 0;  // ZEROFILL: pad numbers with zeros to this width
  int32_t scale = 0;           // FLOAT and DOUBLE: declared decimals, or "none"
  uint32_t digits = 0;         // fractional seconds
  uint32_t bits = 0;           // BIT width
  bool twoDigitYear = false;   // YEAR(2)
  // Text that is the column's stored bytes in `charset` (CHAR, VARCHAR,
  // TEXT), not a name or a form made of them (ENUM, SET, JSON, UUID, INET).
  bool textIsStoredBytes = false;
  std::string charset;
  // How the character set holds text, settled once per column.
  enum class Encoding { Utf8, Wide, Other } encoding = Encoding::Other;
};

class ValueDecoder {
 public:
  ValueDecoder(const TableDefinition& table, const CollationCatalogue& catalogue);
  ~ValueDecoder();
  ValueDecoder(ValueDecoder&&) noexcept;

  // The values of one row (one per table column); `row` reuses its storage.
  void decode(const RowValues& stored, DecodedRow& row) const;
  // The value of one column; its text is put in `arena` (emptied first) and
  // stays valid until the arena changes.
  void decodeOne(size_t column, const FieldValue& stored, Value& value, std::string& arena) const;
  const ColumnFormat& format(size_t column) const;
  size_t columnCount() const;

 private:
  struct Column;
  // Decodes into `v`; text is appended to `arena`.
  void decodeValue(const Column& c, const FieldValue& stored, Value& v, std::string& arena) const;
  // CHAR text without the spaces that pad it.
  static void appendUnpadded(const Column& c, ByteView b, std::string& arena);
  std::vector<Column> columns_;
};

}  // namespace tavrin
