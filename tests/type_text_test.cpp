#include <gtest/gtest.h>

#include "tabledef/type_text.h"
#include "test_support.h"

namespace tavrin {
namespace {

ColumnDefinition column(FieldType type, uint32_t length, int32_t charsetId = 8) {
  ColumnDefinition c;
  c.fieldType = type;
  c.fieldLength = length;
  c.charsetId = charsetId;
  return c;
}

TEST(TypeText, CharacterLengthsUseTheWidestCharacterOfTheSet) {
  const CollationCatalogue& catalogue = test::shippedCatalogue();
  const CollationCatalogue empty;
  constexpr int32_t utf8mb3 = 33, ucs2 = 35, latin1 = 8;
  struct Case {
    ColumnDefinition column;
    int32_t tableCharset;
    const CollationCatalogue* catalogue;
    const char* text;
  } cases[] = {
      {column(FieldType::Varchar, 60, utf8mb3), utf8mb3, &catalogue, "VARCHAR(20)"},
      {column(FieldType::Varchar, 60, utf8mb3), utf8mb3, &empty, "VARCHAR(60)"},
      {column(FieldType::Varchar, 60, utf8mb3), 0, &catalogue, "VARCHAR(60)"},  // no table collation
      {column(FieldType::String, 16, kBinaryCollation), latin1, &catalogue, "BINARY(16)"},
      {column(FieldType::String, 32, ucs2), ucs2, &catalogue, "CHAR(16)"},
      {column(FieldType::Varchar, 20, kBinaryCollation), latin1, &catalogue, "VARBINARY(20)"},
      // The VARCHAR of servers before 5.0.3.
      {column(FieldType::VarString, 750, utf8mb3), utf8mb3, &catalogue, "VARCHAR(250)"},
      {column(FieldType::VarString, 8, kBinaryCollation), latin1, &catalogue, "VARBINARY(8)"},
      {column(FieldType::Varchar, 10, 9999), latin1, &catalogue, "VARCHAR(10)"},  // unknown collation
  };
  for (const Case& c : cases) {
    EXPECT_EQ(columnTypeText(c.column, c.tableCharset, *c.catalogue), c.text);
  }
}

TEST(TypeText, EveryTypeCode) {
  ColumnDefinition floatScaled = column(FieldType::Float, 7);
  floatScaled.precision = 7;
  floatScaled.decimals = 4;
  ColumnDefinition floatUnscaled = column(FieldType::Float, 7);
  floatUnscaled.precision = 7;
  ColumnDefinition doubleScaled = column(FieldType::Double, 10);
  doubleScaled.precision = 10;
  doubleScaled.decimals = 3;
  ColumnDefinition decimal = column(FieldType::NewDecimal, 12);
  decimal.precision = 10;
  decimal.decimals = 2;
  ColumnDefinition enumeration = column(FieldType::Enum, 1);
  enumeration.intervalText = "'a','b'";
  ColumnDefinition point = column(FieldType::Geometry, 8, kBinaryCollation);
  point.geometryType = 1;
  ColumnDefinition geometry = column(FieldType::Geometry, 8, kBinaryCollation);
  geometry.geometryType = 9;
  struct Case {
    ColumnDefinition column;
    const char* text;
  } cases[] = {
      {decimal, "DECIMAL(10,2)"},
      {column(FieldType::Tiny, 4), "TINYINT"},
      {column(FieldType::Short, 6), "SMALLINT"},
      {column(FieldType::Int24, 9), "MEDIUMINT"},
      {column(FieldType::Long, 11), "INT"},
      {column(FieldType::LongLong, 20), "BIGINT"},
      {floatScaled, "FLOAT(7,4)"},
      {floatUnscaled, "FLOAT"},
      {column(FieldType::Float, 12), "FLOAT"},
      {doubleScaled, "DOUBLE(10,3)"},
      {column(FieldType::Double, 22), "DOUBLE"},
      {column(FieldType::Timestamp, 19), "TIMESTAMP"},
      {column(FieldType::Timestamp2, 22), "TIMESTAMP"},
      {column(FieldType::Date, 10), "DATE"},
      {column(FieldType::NewDate, 10), "DATE"},
      {column(FieldType::Time2, 14), "TIME"},
      {column(FieldType::DateTime2, 26), "DATETIME"},
      {column(FieldType::Year, 4), "YEAR"},
      {column(FieldType::Bit, 13), "BIT(13)"},
      {enumeration, "ENUM('a','b')"},
      {column(FieldType::Enum, 1), "ENUM"},
      {column(FieldType::Set, 1), "SET"},
      {column(FieldType::TinyBlob, 255, kBinaryCollation), "TINYBLOB"},
      {column(FieldType::Blob, 65535), "TEXT"},
      {column(FieldType::MediumBlob, 16777215), "MEDIUMTEXT"},
      {column(FieldType::LongBlob, 4294967295u, kBinaryCollation), "LONGBLOB"},
      {point, "POINT"},
      {geometry, "GEOMETRY"},
      {column(FieldType::Null, 0), "UNKNOWN DATATYPE"},
      {column(FieldType(200), 0), "UNKNOWN DATATYPE"},
      {column(FieldType(244), 0), "UNKNOWN DATATYPE"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(columnTypeText(c.column, 8, test::shippedCatalogue()), c.text) << int(c.column.fieldType);
  }
}

}  // namespace
}  // namespace tavrin
