// Table definitions read from .frm files written by the server agree with what
// the server itself reports for the same tables.

#include <gtest/gtest.h>

#include <set>

#include "base/path.h"
#include "structure_expectation.h"
#include "tabledef/frm_reader.h"
#include "session/structure_view.h"
#include "test_support.h"

namespace tavrin {
namespace {

using test::readAnswer;

const std::string kScript = "structure";

TableDefinition readShape(const std::string& table) {
  const std::string folder = test::fixtureData(kScript) + "/shapes";
  auto path = findTableFile(folder, table, ".frm");
  EXPECT_TRUE(path) << table;
  auto def = readFrm(path.value_or(""), test::shippedCatalogue());
  EXPECT_TRUE(def) << def.reason();
  return def ? *def : TableDefinition{};
}

const ColumnDefinition& column(const TableDefinition& def, const std::string& name) {
  for (const ColumnDefinition& c : def.columns) {
    if (c.name == name) return c;
  }
  static const ColumnDefinition none;
  ADD_FAILURE() << "no column " << name;
  return none;
}

TEST(FrmServer, EveryTableAgreesWithTheServer) {
  const test::Answer tables = readAnswer(kScript, "tables");
  const test::Answer columns = readAnswer(kScript, "columns");
  const test::Answer keys = readAnswer(kScript, "keys");
  ASSERT_GT(tables.rows.size(), 10u);

  // Columns of the primary key and of other unique keys, per table.
  std::map<std::string, std::set<std::string>> primary, unique;
  for (const auto& k : keys.rows) {
    if (k.at("INDEX_NAME") == "PRIMARY") primary[k.at("TABLE_NAME")].insert(k.at("COLUMN_NAME"));
    else if (k.at("NON_UNIQUE") == "0") unique[k.at("TABLE_NAME")].insert(k.at("COLUMN_NAME"));
  }

  size_t checked = 0;
  for (const auto& t : tables.rows) {
    const std::string table = t.at("TABLE_NAME");
    SCOPED_TRACE(table);
    const TableDefinition def = readShape(table);
    EXPECT_EQ(def.engineCode, t.at("ENGINE") == "InnoDB" ? kEngineInnodb : kEngineMyisam);
    EXPECT_TRUE(def.newTemporalFormat);
    std::vector<const std::map<std::string, std::string>*> server;
    for (const auto& c : columns.rows) {
      if (c.at("TABLE_NAME") == table) server.push_back(&c);
    }
    const std::vector<StructureRow> rows = structureRows(def, test::shippedCatalogue());
    ASSERT_EQ(rows.size(), server.size());
    std::vector<const ColumnDefinition*> shown;
    for (const ColumnDefinition& c : def.columns) {
      if (!c.isSystemHidden()) shown.push_back(&c);
    }
    for (size_t i = 0; i < server.size(); ++i) {
      const auto& s = *server[i];
      const StructureRow& row = rows[i];
      const ColumnDefinition& c = *shown[i];
      SCOPED_TRACE(s.at("COLUMN_NAME"));
      EXPECT_EQ(row[0], s.at("COLUMN_NAME"));
      EXPECT_EQ(test::asUtf8mb3(row[1]), test::expectedTypeText(s.at("COLUMN_TYPE")));
      long long size = test::expectedSize(s.at("COLUMN_TYPE"), s.at("CHARACTER_OCTET_LENGTH"));
      if (size >= 0) {
        EXPECT_EQ(row[2], std::to_string(size));
      }
      EXPECT_EQ(row[3], s.at("IS_NULLABLE") == "YES" ? "True" : "False");
      EXPECT_EQ(row[4], primary[table].count(c.name) ? "Primary Key" : unique[table].count(c.name) ? "Unique Key" : "");
      EXPECT_EQ(c.inPrimaryKey, primary[table].count(c.name) == 1);
      EXPECT_EQ(c.inUniqueKey, unique[table].count(c.name) == 1);
      EXPECT_EQ(c.comment, s.at("COLUMN_COMMENT"));
      EXPECT_EQ(c.isVirtual, s.at("EXTRA") == "VIRTUAL GENERATED");
      EXPECT_EQ(c.invisibility == 1, s.at("EXTRA") == "INVISIBLE");
      ++checked;
    }
    // NULL bits come first in the row image: the first stored column follows them.
    uint32_t firstStored = UINT32_MAX;
    for (const ColumnDefinition& c : def.columns) {
      if (!c.isVirtual) firstStored = std::min(firstStored, uint32_t(c.recordPosition));
    }
    EXPECT_EQ(firstStored - 1, def.nullBytes);
  }
  EXPECT_GT(checked, 300u);
}

TEST(FrmServer, ValueListsAreTheTableWideListAndEachColumnsOwn) {
  const TableDefinition def = readShape("enum_lists");
  // e1 and e2 have the same names and share one stored list.
  const std::vector<std::string> all = {"a", "b", "x", "y", "z", "it's", "back\\slash", "", "ü", "a,b", "p", "q"};
  EXPECT_EQ(def.intervalNames, all);
  EXPECT_EQ(column(def, "e2").intervalValues, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(column(def, "s1").intervalValues, (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_EQ(column(def, "s2").intervalText, "'p','q'");
  EXPECT_EQ(column(def, "e3").intervalText, "'it''s','back\\\\slash','','ü','a,b'");

  const TableDefinition ucs2 = readShape("enum_ucs2");
  EXPECT_EQ(column(ucs2, "e").intervalValues, (std::vector<std::string>{"a", "é", "中"}));
  const TableDefinition mb4 = readShape("enum_utf8mb4");
  EXPECT_EQ(column(mb4, "e").intervalValues, (std::vector<std::string>{"plain", "ümlaut", "😀"}));
}

TEST(FrmServer, ColumnAttributesBeyondTheStructureView) {
  const TableDefinition def = readShape("all_types_latin1");
  EXPECT_EQ(column(def, "c_binary").charsetId, kBinaryCollation);
  EXPECT_EQ(column(def, "c_varbinary").charsetId, kBinaryCollation);
  EXPECT_EQ(column(def, "c_char").charsetId, 8);  // latin1_swedish_ci
  EXPECT_EQ(def.tableCharsetId, 8);
  EXPECT_TRUE(column(def, "c_utinyint").isUnsigned);
  EXPECT_FALSE(column(def, "c_tinyint").isUnsigned);
  EXPECT_TRUE(column(def, "c_usmallint").isUnsigned);
  EXPECT_TRUE(column(def, "c_udecimal").isUnsigned);
  EXPECT_FALSE(column(def, "c_decimal").isUnsigned);
  EXPECT_EQ(column(def, "c_decimal65").precision, 65);
  EXPECT_EQ(column(def, "c_decimal65").decimals, 30);
  EXPECT_EQ(column(def, "c_float74").precision, 7);
  EXPECT_EQ(column(def, "c_float74").decimals, 4);
  EXPECT_EQ(column(def, "c_float").decimals, 0);
  EXPECT_EQ(column(def, "c_point").geometryType, 1);
  EXPECT_EQ(column(def, "c_geomcollection").geometryType, 7);
  EXPECT_EQ(column(def, "c_bit13").fieldLength, 13u);

  // Fixed-length rows keep one reserved NULL bit: 1 + 2 nullable columns.
  const TableDefinition fixed = readShape("fixed_row");
  EXPECT_EQ(fixed.nullBytes, 1u);
  EXPECT_EQ(fixed.createOptions & 1, 0);
}

TEST(FrmServer, KeysKeepTheirPartsInDeclarationOrder) {
  const TableDefinition def = readShape("key_composite");
  ASSERT_EQ(def.keys.size(), 1u);
  EXPECT_TRUE(def.keys[0].isPrimary());
  ASSERT_EQ(def.keys[0].parts.size(), 2u);
  EXPECT_EQ(def.keys[0].parts[0].fieldNumber, 3);  // c
  EXPECT_EQ(def.keys[0].parts[1].fieldNumber, 1);  // a

  const TableDefinition both = readShape("key_both");
  EXPECT_TRUE(column(both, "a").inPrimaryKey);
  EXPECT_TRUE(column(both, "a").inUniqueKey);
  EXPECT_FALSE(column(both, "b").inPrimaryKey);
  EXPECT_TRUE(column(both, "b").inUniqueKey);

  const TableDefinition none = readShape("key_none");
  EXPECT_TRUE(none.keys.empty());
}

TEST(FrmServer, ColumnsTheServerHides) {
  const TableDefinition hidden = readShape("hidden_columns");
  ASSERT_EQ(hidden.columns.size(), 4u);  // a, b, c and the hash of the long unique key
  EXPECT_EQ(column(hidden, "b").invisibility, 1);
  EXPECT_TRUE(hidden.columns[3].isSystemHidden());
  const TableDefinition versioned = readShape("versioned");
  EXPECT_EQ(column(versioned, "row_start").invisibility, 2);
  EXPECT_EQ(column(versioned, "row_end").invisibility, 2);
  const TableDefinition plugin = readShape("plugin_types");
  EXPECT_EQ(column(plugin, "a").dataTypeName, "inet6");
  EXPECT_EQ(column(plugin, "d").dataTypeName, "");
}

TEST(FrmServer, NewestLayoutMarksVirtualColumns) {
  const TableDefinition myisam = readShape("computed_myisam");
  EXPECT_EQ(myisam.layoutVersion, 11);
  EXPECT_TRUE(column(myisam, "b").isVirtual);
  EXPECT_FALSE(column(myisam, "c").isVirtual);  // stored
  EXPECT_FALSE(column(myisam, "d").isVirtual);  // an expression default
  // A virtual column's bytes follow every stored column in the row image.
  for (const ColumnDefinition& c : myisam.columns) {
    if (!c.isVirtual) {
      EXPECT_LT(c.recordPosition, column(myisam, "b").recordPosition) << c.name;
    }
  }
  const TableDefinition innodb = readShape("computed_innodb");
  EXPECT_TRUE(column(innodb, "b").isVirtual);
  EXPECT_TRUE(column(innodb, "v").isVirtual);
  EXPECT_FALSE(column(innodb, "w").isVirtual);
  EXPECT_FALSE(column(innodb, "c").isVirtual);
}

// MySQL 5.7 marks a generated column in its field record and keeps its
// expression in a section of its own. Built from the server's file of the
// same table by writing those two places as MySQL 5.7 writes them.
TEST(FrmServer, MysqlGeneratedColumns) {
  std::vector<uint8_t> file = test::readBytes(test::fixtureData("structure") + "/shapes/computed_innodb.frm");
  auto original = parseFrm(ByteView(file), test::shippedCatalogue());
  ASSERT_TRUE(original) << original.reason();
  const ByteView view(file);
  const size_t form = le32(view, 64 + le16(view, 4));
  const size_t fields = form + 288 + le16(view, form + 260);
  const size_t expressions = fields + original->columns.size() * 17 + le16(view, form + 268) +
                             le16(view, form + 274) + le16(view, form + 284);
  file.resize(expressions);
  for (size_t i = 0; i < 4; ++i) file[51 + i] = uint8_t(50728 >> (8 * i));
  std::string section;
  for (const auto& [name, stored] : std::vector<std::pair<std::string, bool>>{{"b", false}, {"v", false}, {"w", true}}) {
    size_t index = 0;
    while (original->columns[index].name != name) ++index;
    file[fields + index * 17 + 10] |= 128;
    const std::string expression = "`a` * 3";
    section += std::string{char(1), char(expression.size()), char(0), char(stored)} + expression;
  }
  file.insert(file.end(), section.begin(), section.end());
  file[form + 286] = uint8_t(section.size());
  file[form + 287] = uint8_t(section.size() >> 8);
  auto mysql = parseFrm(ByteView(file), test::shippedCatalogue());
  ASSERT_TRUE(mysql) << mysql.reason();
  EXPECT_TRUE(column(*mysql, "b").isVirtual);
  EXPECT_TRUE(column(*mysql, "v").isVirtual);
  EXPECT_FALSE(column(*mysql, "w").isVirtual);
  EXPECT_FALSE(column(*mysql, "c").isVirtual);
  file[expressions] = 2;  // an entry of a kind MySQL 5.7 never wrote
  EXPECT_EQ(parseFrm(ByteView(file), test::shippedCatalogue()).reason(),
            "the expression of column b is damaged at byte " + std::to_string(expressions));
}

}  // namespace
}  // namespace tavrin
