#include "tabledef/type_text.h"

#include "base/text.h"

namespace tavrin {

namespace {

std::string withLength(const char* name, uint64_t length) {
  return std::string(name) + "(" + std::to_string(length) + ")";
}

std::string withScale(const char* name, int32_t precision, int32_t decimals) {
  return std::string(name) + "(" + std::to_string(precision) + "," + std::to_string(decimals) + ")";
}

const char* geometryName(int32_t subtype) {
  switch (subtype) {
    case 1: return "POINT";
    case 2: return "LINESTRING";
    case 3: return "POLYGON";
    case 4: return "MULTIPOINT";
    case 5: return "MULTILINESTRING";
    case 6: return "MULTIPOLYGON";
    case 7: return "GEOMETRYCOLLECTION";
    default: return "GEOMETRY";
  }
}

}  // namespace

std::string columnTypeText(const ColumnDefinition& c, int32_t tableCharsetId,
                           const CollationCatalogue& catalogue) {
  // Character lengths: the stored byte length divided by the widest character
  // of the column's set. Files without a table collation keep byte lengths.
  const uint32_t width = tableCharsetId == 0 ? 0 : uint32_t(catalogue.maxBytesPerChar(c.charsetId));
  const uint64_t chars = (width != 0 && c.fieldLength != 0) ? c.fieldLength / width : c.fieldLength;
  if (!c.dataTypeName.empty()) return asciiUpper(c.dataTypeName);
  const bool binary = c.charsetId == kBinaryCollation;
  const bool scaled = c.decimals != 0;

  switch (c.fieldType) {
    case FieldType::Decimal:
    case FieldType::NewDecimal: return withScale("DECIMAL", c.precision, c.decimals);
    case FieldType::Tiny: return "TINYINT";
    case FieldType::Short: return "SMALLINT";
    case FieldType::Long: return "INT";
    case FieldType::Float: return scaled ? withScale("FLOAT", c.precision, c.decimals) : "FLOAT";
    case FieldType::Double: return scaled ? withScale("DOUBLE", c.precision, c.decimals) : "DOUBLE";
    case FieldType::Timestamp:
    case FieldType::Timestamp2: return "TIMESTAMP";
    case FieldType::LongLong: return "BIGINT";
    case FieldType::Int24: return "MEDIUMINT";
    case FieldType::Date:
    case FieldType::NewDate: return "DATE";
    case FieldType::Time:
    case FieldType::Time2: return "TIME";
    case FieldType::DateTime:
    case FieldType::DateTime2: return "DATETIME";
    case FieldType::Year: return "YEAR";
    // The old VARCHAR of files written before 5.0.3 is a VARCHAR too.
    case FieldType::Varchar:
    case FieldType::VarString: return withLength(binary ? "VARBINARY" : "VARCHAR", chars);
    case FieldType::Bit: return withLength("BIT", c.fieldLength);
    case FieldType::Enum: return c.intervalText.empty() ? "ENUM" : "ENUM(" + c.intervalText + ")";
    case FieldType::Set: return c.intervalText.empty() ? "SET" : "SET(" + c.intervalText + ")";
    case FieldType::TinyBlob: return binary ? "TINYBLOB" : "TINYTEXT";
    case FieldType::MediumBlob: return binary ? "MEDIUMBLOB" : "MEDIUMTEXT";
    case FieldType::LongBlob: return binary ? "LONGBLOB" : "LONGTEXT";
    case FieldType::Blob: return binary ? "BLOB" : "TEXT";
    case FieldType::String: return binary ? withLength("BINARY", c.fieldLength) : withLength("CHAR", chars);
    case FieldType::Geometry: return geometryName(c.geometryType);
    case FieldType::Json: return "JSON";
    default: return "UNKNOWN DATATYPE";
  }
}

}  // namespace tavrin
