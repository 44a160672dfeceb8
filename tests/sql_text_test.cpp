// SQL text: quoting, the proof that a text is one statement, and the
// splitting of scripts as the client splits them.

#include <gtest/gtest.h>

#include "tabledef/sql_text.h"

namespace tavrin {
namespace {

using namespace std::string_literals;

const std::string kTrigger = "CREATE DEFINER=`root`@`localhost` TRIGGER tr BEFORE INSERT ON t FOR EACH ROW ";

struct StatementCase {
  std::string text;
  StatementKind kind;
  bool sound;
  QuoteMode mode = {};
};

TEST(SqlText, OnlyOneStatementThatEveryReaderReadsAlikePasses) {
  const StatementCase cases[] = {
      // What the server writes, and must pass.
      {"CREATE TABLE `t;x` (\n  `a` int DEFAULT 'x;y' COMMENT 'it''s'\n) ENGINE=InnoDB", StatementKind::Plain, true},
      {"CREATE VIEW `v` AS select 'a\\nb' AS `n`,'it\\'s' AS `q`,'back\\\\slash' AS `s`", StatementKind::Plain, true},
      {"CREATE VIEW v AS select 1 /* ; */ AS x", StatementKind::Plain, true},
      {"INSERT INTO `t` VALUES ('日本 😀')", StatementKind::Plain, true},
      {"USE `my-db`", StatementKind::Plain, true},
      {kTrigger + "SET NEW.a = 1", StatementKind::Compound, true},
      {kTrigger + "BEGIN\n  -- it's\n  SET @a = ';'; INSERT INTO x VALUES ('\\'');\nEND", StatementKind::Compound, true},
      {kTrigger + "FOLLOWS other BEGIN IF NEW.a > 0 THEN SET @a = CASE WHEN 1 THEN 2 END; END IF; END",
       StatementKind::Compound, true},
      {kTrigger + "lbl: BEGIN WHILE @i < 3 DO BEGIN SET @i = @i + 1; END; END WHILE; END lbl", StatementKind::Compound, true},
      {kTrigger + "IF NEW.a < 0 THEN SET NEW.a = 0; ELSEIF NEW.a > 9 THEN SET NEW.a = 9; END IF", StatementKind::Compound, true},
      {kTrigger + "BEGIN SET @a = 'x\\'; END", StatementKind::Compound, true, {true, false}},
      // A second statement after a text of the file's.
      {"CREATE VIEW v AS select 1 AS x; DROP DATABASE victim", StatementKind::Plain, false},
      {"CREATE VIEW v AS select 1 /*! ; DROP DATABASE victim */", StatementKind::Plain, false},
      {kTrigger + "SET @a=1; DROP DATABASE victim", StatementKind::Compound, false},
      {kTrigger + "BEGIN END; DROP DATABASE victim; SELECT 1 END", StatementKind::Compound, false},
      {kTrigger + "DO begin; DROP DATABASE victim; END", StatementKind::Compound, false},
      {kTrigger + "SELECT x FROM do begin; DROP DATABASE victim; END", StatementKind::Compound, false},
      {kTrigger + "BEGIN SET @a = 'x\\'; END; DROP DATABASE victim; SELECT '", StatementKind::Compound, false},
      {kTrigger + "BEGIN SELECT 1 INTO @a; END lbl", StatementKind::Compound, true},
      {kTrigger + "BEGIN SELECT 1 INTO @a; END x y", StatementKind::Compound, false},
      // Readers that take a backslash differently see different quotes.
      {"CREATE VIEW v AS select 'a\\'; DROP DATABASE victim; -- '", StatementKind::Plain, false, {true, false}},
      {"CREATE VIEW v AS select \"a\\\"; DROP DATABASE victim; -- \"", StatementKind::Plain, false, {false, true}},
      {"CREATE VIEW v AS select `a\\`; DROP DATABASE victim; -- `", StatementKind::Plain, false},
      // The client's own commands.
      {"CREATE VIEW v AS select 1\n\\! touch PWNED", StatementKind::Plain, false},
      {"CREATE VIEW v AS select 1 AS delimiter", StatementKind::Plain, false},
      {"system touch PWNED", StatementKind::Plain, false},
      {" \n", StatementKind::Plain, false},
      {"\n/* x */\nCREATE VIEW v AS select 1", StatementKind::Plain, false},
      {"USE `a\\b`", StatementKind::Plain, false},
      {"CREATE VIEW v AS select 1\n--x; DROP DATABASE victim", StatementKind::Plain, false},
      {"CREATE VIEW v AS select 1 --\x1c; DROP DATABASE victim", StatementKind::Plain, false},
      // Bytes no reader takes alike.
      {"CREATE VIEW v AS select '\0'"s, StatementKind::Plain, false},
      {"CREATE VIEW v AS select '\xff'", StatementKind::Plain, false},
      {"CREATE VIEW v AS select 'open", StatementKind::Plain, false},
      {"CREATE VIEW v AS select 1 /* open", StatementKind::Plain, false},
      {"CREATE VIEW v AS select 1 /* a /* b */ */", StatementKind::Plain, false},
      {"CREATE VIEW v AS select 1 -- a comment over the terminator", StatementKind::Plain, false},
  };
  for (const StatementCase& c : cases) {
    const Status checked = checkStatement(c.text, c.kind, c.mode);
    EXPECT_EQ(bool(checked), c.sound) << c.text << ": " << checked.reason();
  }
}

TEST(SqlText, FragmentsStayInsideTheirPlace) {
  const std::pair<std::string, bool> cases[] = {
      {"current_timestamp()", true},
      {"concat(`a`,'(;)')", true},
      {"PARTITION BY RANGE (`a`)\n(PARTITION `p0` VALUES LESS THAN (10) ENGINE = InnoDB)", true},
      {"1) SELECT load_file('/etc/shadow'", false},
      {"(1", false},
      {"1 -- ", false},
      {"1; DROP DATABASE victim", false},
      {"'a\\'", false},
      {"PARTITION BY HASH (a)\0"s, false},
  };
  for (const auto& [fragment, sound] : cases) EXPECT_EQ(bool(checkFragment(fragment)), sound) << fragment;
}

TEST(SqlText, LiteralsAndNamesAreOneTokenWhateverTheyHold) {
  const std::string hostile = "x'); DROP DATABASE v; --\\\0\x1A\r\n`\"*/"s;
  EXPECT_EQ(quotedLiteral(hostile), "'x''); DROP DATABASE v; --\\\\\\0\\Z\\r\\n`\"*/'");
  EXPECT_EQ(quoteIdentifier("we`ird"), "`we``ird`");
  EXPECT_EQ(quotedList({"a", "b'c"}), "'a','b''c'");
  for (const std::string& text : {quotedLiteral(hostile), quoteIdentifier("a`;b")}) {
    const std::string statement = "INSERT INTO x VALUES (" + text + ")";
    EXPECT_TRUE(checkStatement(statement, StatementKind::Plain)) << statement;
    const auto split = splitScript(statement + ";\nSET @a = 1;\n");
    ASSERT_EQ(split.size(), 2u) << statement;
    EXPECT_EQ(split[0].text, statement);
  }
}

TEST(SqlText, ScriptsSplitAsTheClientSplitsThem) {
  const std::string script =
      "-- a comment; not a statement\n"
      "SET @a = 'x;y';\n"
      "/* c; */ SELECT 1;  SELECT \"q;\" -- tail;\n"
      ";\n"
      "DELIMITER $$\n"
      "CREATE TRIGGER t BEFORE INSERT ON x FOR EACH ROW BEGIN SET @b = 1; END$$\n"
      "delimiter ;\n"
      "SELECT `a;b`;";
  const auto statements = splitScript(script);
  ASSERT_EQ(statements.size(), 5u);
  EXPECT_EQ(statements[0].text, "SET @a = 'x;y'");
  EXPECT_EQ(statements[0].line, 2u);
  EXPECT_EQ(statements[1].text, "SELECT 1");
  EXPECT_EQ(statements[2].text, "SELECT \"q;\"");
  EXPECT_EQ(statements[3].text, "CREATE TRIGGER t BEFORE INSERT ON x FOR EACH ROW BEGIN SET @b = 1; END");
  EXPECT_EQ(statements[3].line, 6u);
  EXPECT_EQ(statements[4].text, "SELECT `a;b`");
}

}  // namespace
}  // namespace tavrin
