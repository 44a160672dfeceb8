// The user's SQL script of CREATE TABLE statements: which tables it leaves
// defined, in which database, and what the parser makes of the texts dumps
// and schema files hold that the fixtures' servers do not write.
#include <gtest/gtest.h>

#include "tabledef/definitions_script.h"
#include "tabledef/field_layout.h"
#include "test_support.h"

namespace tavrin {
namespace {

const CollationCatalogue& catalogue() { return test::shippedCatalogue(); }

std::vector<std::string> namesOf(const DefinitionsScript& script) {
  std::vector<std::string> names;
  for (const ScriptTable& t : script.tables) names.push_back(t.database + "." + t.name);
  return names;
}

TEST(DefinitionsScript, TablesItLeavesDefinedAndWhere) {
  struct Case {
    const char* what;
    const char* script;
    std::vector<std::string> tables;
  };
  const Case cases[] = {
      {"pasted texts", "CREATE TABLE a (x int);\nCREATE TABLE `b` (y int)", {".a", ".b"}},
      {"USE names the database", "USE shop;\nCREATE TABLE a (x int);\nUSE `other db`;\nCREATE TABLE a (x int);",
       {"shop.a", "other db.a"}},
      {"CREATE DATABASE before any USE", "CREATE DATABASE /*!32312 IF NOT EXISTS*/ `s`;\nCREATE TABLE a (x int);",
       {"s.a"}},
      {"a qualified name", "USE s;\nCREATE TABLE t.a (x int);", {"t.a"}},
      {"a later statement replaces", "CREATE TABLE a (x int);\nCREATE TABLE a (x int, y int);", {".a"}},
      {"DROP TABLE ends it", "CREATE TABLE a (x int);\nCREATE TABLE b (x int);\nDROP TABLE IF EXISTS `a`, c;",
       {".b"}},
      {"a view ends a dump's stand-in",
       "/*!50001 CREATE TABLE `v` (\n  `x` tinyint NOT NULL\n) ENGINE=MyISAM */;\n"
       "/*!50001 CREATE ALGORITHM=UNDEFINED */\n/*!50013 DEFINER=`root`@`localhost` SQL SECURITY DEFINER */\n"
       "/*!50001 VIEW `v` AS select 1 AS `x` */;",
       {}},
      {"DELIMITER blocks and routines pass by",
       "DELIMITER ;;\nCREATE TRIGGER t BEFORE INSERT ON a FOR EACH ROW BEGIN SET @x = 1; END;;\n"
       "CREATE PROCEDURE p() BEGIN SELECT 1; END ;;\nDELIMITER ;\nCREATE TABLE a (x int);",
       {".a"}},
      {"comments and a TEMPORARY table pass by",
       "-- a comment\n/* another; with a semicolon */ CREATE TEMPORARY TABLE tmp (x int);\n# hash\nCREATE TABLE a (x int);",
       {".a"}},
  };
  for (const Case& c : cases) {
    auto script = readDefinitionsScript(c.script, catalogue());
    if (c.tables.empty()) {
      EXPECT_FALSE(script) << c.what;
      continue;
    }
    ASSERT_TRUE(script) << c.what << ": " << script.reason();
    EXPECT_EQ(namesOf(*script), c.tables) << c.what;
  }
}

TEST(DefinitionsScript, FindPrefersTheDatabaseThenTablesOfNone) {
  auto script = readDefinitionsScript("CREATE TABLE a (x int);\nUSE s;\nCREATE TABLE A (y int, z int);", catalogue());
  ASSERT_TRUE(script) << script.reason();
  ASSERT_NE(script->find("S", "a"), nullptr);
  EXPECT_EQ(script->find("S", "a")->definition.columns.size(), 2u);
  EXPECT_EQ(script->find("other", "a")->definition.columns.size(), 1u);
  EXPECT_EQ(script->find("other", "b"), nullptr);
}

TEST(DefinitionsScript, StatementsNotReadAreNotedWithTheirLine) {
  auto script = readDefinitionsScript("CREATE TABLE a (x int);\n\nCREATE TABLE b (x wibble);\nCREATE TABLE c LIKE a;\n"
                                      "CREATE TABLE d (x int, KEY (y));\nCREATE TABLE e (x int",
                                      catalogue(), "s.sql");
  ASSERT_TRUE(script) << script.reason();
  ASSERT_EQ(script->notes.size(), 4u);
  EXPECT_EQ(script->notes[0], "s.sql line 3: CREATE TABLE b is not read: column x: the type wibble is not one the tool reads");
  EXPECT_NE(script->notes[1].find("line 4: CREATE TABLE c is not read: the table is made LIKE another"), std::string::npos);
  EXPECT_NE(script->notes[2].find("names column y, which the table does not have"), std::string::npos);
  EXPECT_NE(script->notes[3].find("line 6: CREATE TABLE e is not read: expected"), std::string::npos);
}

TEST(DefinitionsScript, NoScriptIsRefused) {
  EXPECT_NE(readDefinitionsScript(std::string("CREATE TABLE a (x int);\0", 24), catalogue()).reason().find("zero bytes"),
            std::string::npos);
  EXPECT_NE(readDefinitionsScript("SELECT 1; INSERT INTO a VALUES (1);", catalogue()).reason().find("no CREATE TABLE"),
            std::string::npos);
}

TEST(DefinitionsScript, TheDumpsServerSaysWhichTemporalLayout) {
  const std::string table = "CREATE TABLE a (d datetime, t time, s timestamp(3) NULL);\n";
  struct Case {
    std::string header;
    FieldType datetime;
  };
  const Case cases[] = {
      {"", FieldType::DateTime2},
      {"-- Server version\t5.5.38-MariaDB-log\n", FieldType::DateTime},
      {"-- Server version\t10.1.48-MariaDB\n", FieldType::DateTime2},
      {"-- Server version\t5.6.3\n", FieldType::DateTime},
      {"-- Server version\t5.7.44\n", FieldType::DateTime2},
      {"-- Server version\t5.5..8-MariaDB-log\n", FieldType::DateTime},  // more parts than a version has
  };
  for (const Case& c : cases) {
    auto script = readDefinitionsScript(c.header + table, catalogue());
    ASSERT_TRUE(script) << script.reason();
    EXPECT_EQ(script->tables[0].definition.columns[0].fieldType, c.datetime) << c.header;
  }
}

// What the fixtures' servers never write: older and other spellings.
TEST(CreateTableParser, SpellingsOfOtherServersAndUsers) {
  struct Case {
    const char* statement;
    FieldType type;
    uint32_t fieldLength;
    bool nullable;
    std::string defaultExpression;
  };
  const Case cases[] = {
      {"CREATE TABLE t (c INTEGER UNSIGNED)", FieldType::Long, 10, true, "NULL"},
      {"CREATE TABLE t (c bool NOT NULL DEFAULT '1')", FieldType::Tiny, 1, false, "1"},
      {"CREATE TABLE t (c double precision(10,2))", FieldType::Double, 10, true, "NULL"},
      {"CREATE TABLE t (c float(30))", FieldType::Double, 22, true, "NULL"},
      {"CREATE TABLE t (c national varchar(10)) DEFAULT CHARSET=latin1", FieldType::Varchar, 30, true, "NULL"},
      {"CREATE TABLE t (c varchar(10) CHARACTER SET utf8mb4 COLLATE utf8mb4_0900_ai_ci)", FieldType::Varchar, 40,
       true, "NULL"},
      {"CREATE TABLE t (c text(300)) DEFAULT CHARSET=utf8", FieldType::Blob, 65535, true, "NULL"},
      {"CREATE TABLE t (c timestamp)", FieldType::Timestamp2, 19, false, ""},
      {"CREATE TABLE t (c int NOT NULL DEFAULT -1)", FieldType::Long, 11, false, "-1"},
      {"CREATE TABLE t (c char(3) DEFAULT _latin1'ab' COMMENT 'x')", FieldType::String, 3, true, "_latin1'ab'"},
      {"CREATE TABLE t (c decimal(10,2) unsigned zerofill DEFAULT '0.00')", FieldType::NewDecimal, 11, true, "0.00"},
      {"CREATE TABLE t (c bit(5) DEFAULT b'101')", FieldType::Bit, 5, true, "b'101'"},
      {"CREATE TABLE t (c SERIAL)", FieldType::LongLong, 20, false, ""},
  };
  for (const Case& c : cases) {
    auto parsed = parseCreateTable(c.statement, catalogue());
    ASSERT_TRUE(parsed) << c.statement << ": " << parsed.reason();
    const ColumnDefinition& column = parsed->definition.columns.at(0);
    EXPECT_EQ(column.fieldType, c.type) << c.statement;
    EXPECT_EQ(column.fieldLength, c.fieldLength) << c.statement;
    EXPECT_EQ(column.nullable, c.nullable) << c.statement;
    EXPECT_EQ(column.defaultExpression, c.defaultExpression) << c.statement;
  }
}

TEST(CreateTableParser, KeysAreOrderedNamedAndSizedAsTheServerDoes) {
  auto parsed = parseCreateTable(
      "CREATE TABLE t (a int, b varchar(20), c text, KEY (b), UNIQUE (b(5), a DESC), KEY (b), PRIMARY KEY (a),"
      " FULLTEXT (c), CONSTRAINT fk FOREIGN KEY (a) REFERENCES o (id) ON DELETE CASCADE) DEFAULT CHARSET=utf8mb4",
      catalogue());
  ASSERT_TRUE(parsed) << parsed.reason();
  const TableDefinition& def = parsed->definition;
  std::vector<std::string> names;
  for (const KeyDefinition& k : def.keys) names.push_back(k.name);
  EXPECT_EQ(names, (std::vector<std::string>{"PRIMARY", "b", "b_2", "b_3", "c"}));
  EXPECT_FALSE(def.columns[0].nullable);  // in the primary key
  EXPECT_EQ(def.keys[1].parts[0].length, 20u);  // 5 characters of 4 bytes
  EXPECT_TRUE(def.keys[1].parts[1].isDescending());
  EXPECT_EQ(def.keys[2].parts[0].length, 80u);
}

}  // namespace
}  // namespace tavrin
