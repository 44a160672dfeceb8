#include "tabledef/type_text.h"

#include "base/text.h"
#include "tabledef/charset.h"
#include "tabledef/definition_file.h"
#include "tabledef/sql_text.h"
#include "tabledef/field_layout.h"

namespace tavrin {

namespace {

std::string withLength(std::string name, uint64_t length) {
  return name + "(" + std::to_string(length) + ")";
}

std::string withScale(std::string name, int32_t precision, int32_t decimals) {
  return name + "(" + std::to_string(precision) + "," + std::to_string(decimals) + ")";
}

const char* geometryName(int32_t subtype) {
  switch (subtype) {
    case 1: return "point";
    case 2: return "linestring";
    case 3: return "polygon";
    case 4: return "multipoint";
    case 5: return "multilinestring";
    case 6: return "multipolygon";
    case 7: return "geometrycollection";
    default: return "geometry";
  }
}

const char* blobName(FieldType type, bool binary) {
  switch (type) {
    case FieldType::TinyBlob: return binary ? "tinyblob" : "tinytext";
    case FieldType::MediumBlob: return binary ? "mediumblob" : "mediumtext";
    case FieldType::LongBlob: return binary ? "longblob" : "longtext";
    default: return binary ? "blob" : "text";
  }
}

// Character lengths: the stored byte length divided by the widest character
// of the column's set. Files without a table collation keep byte lengths.
uint64_t characterLength(const ColumnDefinition& c, int32_t tableCharsetId, const CollationCatalogue& catalogue) {
  const uint32_t width = tableCharsetId == 0 ? 0 : uint32_t(catalogue.maxBytesPerChar(c.charsetId));
  return (width != 0 && c.fieldLength != 0) ? c.fieldLength / width : c.fieldLength;
}

// " unsigned" and " zerofill", as the server adds them to numeric types.
std::string numericAttributes(const ColumnDefinition& c) {
  std::string text;
  if (c.isUnsigned) text += " unsigned";
  if (c.packFlags & PackFlag::Zerofill) text += " zerofill";
  return text;
}

// The values of an ENUM or SET as the server lists them: each a literal in
// its own character set.
std::string valueList(const ColumnDefinition& c) {
  std::string text;
  for (const std::string& value : c.intervalValues) {
    if (!text.empty()) text.push_back(',');
    text += quotedLiteral(asUtf8mb3(value));
  }
  return text;
}

std::string temporalText(const ColumnDefinition& c) {
  const uint32_t digits = fractionalDigits(c);
  std::string text = typeName(c);
  if (digits) text = withLength(text, digits);
  // The layouts of MariaDB 5.3 and of servers before 5.6, which the server
  // still reads and names.
  const bool oldLayout =
      c.fieldType == FieldType::Time || c.fieldType == FieldType::DateTime || c.fieldType == FieldType::Timestamp;
  return oldLayout ? text + " /* mariadb-5.3 */" : text;
}

}  // namespace

const char* typeName(const ColumnDefinition& c) {
  const bool binary = c.charsetId == kBinaryCollation;
  switch (c.fieldType) {
    case FieldType::Decimal:
    case FieldType::NewDecimal: return "decimal";
    case FieldType::Tiny: return "tinyint";
    case FieldType::Short: return "smallint";
    case FieldType::Int24: return "mediumint";
    case FieldType::Long: return "int";
    case FieldType::LongLong: return "bigint";
    case FieldType::Float: return "float";
    case FieldType::Double: return "double";
    case FieldType::Timestamp:
    case FieldType::Timestamp2: return "timestamp";
    case FieldType::Date:
    case FieldType::NewDate: return "date";
    case FieldType::Time:
    case FieldType::Time2: return "time";
    case FieldType::DateTime:
    case FieldType::DateTime2: return "datetime";
    case FieldType::Year: return "year";
    // The old VARCHAR of files written before 5.0.3 is a VARCHAR too.
    case FieldType::Varchar:
    case FieldType::VarString: return binary ? "varbinary" : "varchar";
    case FieldType::String: return binary ? "binary" : "char";
    case FieldType::Bit: return "bit";
    case FieldType::Enum: return "enum";
    case FieldType::Set: return "set";
    case FieldType::TinyBlob:
    case FieldType::Blob:
    case FieldType::MediumBlob:
    case FieldType::LongBlob: return blobName(c.fieldType, binary);
    case FieldType::Geometry: return geometryName(c.geometryType);
    case FieldType::Json: return "json";
    default: return nullptr;
  }
}

std::string columnTypeText(const ColumnDefinition& c, int32_t tableCharsetId,
                           const CollationCatalogue& catalogue) {
  if (!c.dataTypeName.empty()) return asciiUpper(c.dataTypeName);
  const char* name = typeName(c);
  if (!name) return "UNKNOWN DATATYPE";
  const std::string upper = asciiUpper(name);
  const bool scaled = c.decimals != 0;
  switch (c.fieldType) {
    case FieldType::Decimal:
    case FieldType::NewDecimal: return withScale(upper, c.precision, c.decimals);
    case FieldType::Float:
    case FieldType::Double: return scaled ? withScale(upper, c.precision, c.decimals) : upper;
    case FieldType::Varchar:
    case FieldType::VarString: return withLength(upper, characterLength(c, tableCharsetId, catalogue));
    case FieldType::String:
      return withLength(upper, c.charsetId == kBinaryCollation ? c.fieldLength
                                                                : characterLength(c, tableCharsetId, catalogue));
    case FieldType::Bit: return withLength(upper, c.fieldLength);
    case FieldType::Enum:
    case FieldType::Set: return c.intervalText.empty() ? upper : upper + "(" + c.intervalText + ")";
    default: return upper;
  }
}

std::string serverTypeText(const ColumnDefinition& c, int32_t tableCharsetId, const CollationCatalogue& catalogue) {
  if (!c.dataTypeName.empty()) return c.dataTypeName;
  const char* name = typeName(c);
  if (!name) return {};
  switch (c.fieldType) {
    case FieldType::Tiny:
    case FieldType::Short:
    case FieldType::Int24:
    case FieldType::Long:
    case FieldType::LongLong: return withLength(name, c.fieldLength) + numericAttributes(c);
    case FieldType::Float:
    case FieldType::Double:
      return (declaredScale(c) == PackFlag::NoDecimals ? name : withScale(name, int32_t(c.fieldLength), declaredScale(c))) +
             numericAttributes(c);
    case FieldType::Decimal:
    case FieldType::NewDecimal: return withScale(name, c.precision, c.decimals) + numericAttributes(c);
    case FieldType::Time:
    case FieldType::Time2:
    case FieldType::DateTime:
    case FieldType::DateTime2:
    case FieldType::Timestamp:
    case FieldType::Timestamp2: return temporalText(c);
    case FieldType::Year:
    case FieldType::Bit: return withLength(name, c.fieldLength);
    case FieldType::Varchar:
    case FieldType::VarString:
    case FieldType::String: return withLength(name, characterLength(c, tableCharsetId, catalogue));
    case FieldType::Enum:
    case FieldType::Set: return std::string(name) + "(" + valueList(c) + ")";
    default: return name;
  }
}

}  // namespace tavrin
