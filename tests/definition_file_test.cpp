// View and trigger definition files: the server's escaping and the texts made
// of them.

#include <gtest/gtest.h>

#include "export/sql_definitions.h"
#include "tabledef/database_options.h"
#include "tabledef/definition_file.h"
#include "tabledef/sql_text.h"
#include "tabledef/trigger_definition.h"
#include "tabledef/view_definition.h"
#include "test_support.h"

namespace tavrin {
namespace {

TEST(DefinitionFile, ValuesAreUnescapedAsTheServerEscapesThem) {
  struct Case {
    std::string stored, value;
  } cases[] = {
      {R"(select 'a\nb')", "select 'a\nb'"},
      {R"(select \'x\')", "select 'x'"},
      {R"(c:\\dir)", "c:\\dir"},
      {R"(a\0b\z)", std::string("a\0b\x1A", 4)},
      {"line\rend", "line\rend"},  // a CR is not escaped
      {R"(select 'a\\nb')", "select 'a\\nb'"},
  };
  for (const Case& c : cases) {
    auto value = unescapeDefinitionValue(c.stored);
    ASSERT_TRUE(value) << c.stored;
    EXPECT_EQ(*value, c.value);
  }
  EXPECT_FALSE(unescapeDefinitionValue(R"(bad \q)"));
  EXPECT_FALSE(unescapeDefinitionValue("ends in \\"));
}

TEST(DefinitionFile, ListsOfQuotedValues) {
  auto items = splitDefinitionList(R"('a b' 'it\'s' '' 'x\\')");
  ASSERT_TRUE(items);
  EXPECT_EQ(*items, (std::vector<std::string>{"a b", "it's", "", "x\\"}));
  EXPECT_FALSE(splitDefinitionList("'open"));
  EXPECT_FALSE(splitDefinitionList("bare"));
  EXPECT_FALSE(splitDefinitionList("'a''b'"));
}

TEST(DefinitionFile, FirstMatchingLineWins) {
  std::string text = "TYPE=VIEW\n\nqueryx=no\nquery=select 1\nquery=select 2\n";
  EXPECT_EQ(definitionValue(text, "query").value(), "select 1");
  EXPECT_FALSE(definitionValue(text, "missing"));
}

TEST(DefinitionFile, FileNamesOfObjects) {
  const std::pair<const char*, const char*> cases[] = {
      {"v_orders", "v_orders"},
      {"my@0020view", "my view"},
      {"x@0024host_summary", "x$host_summary"},
      {"@65e5@672c", "\u65e5\u672c"},
      {"@0G@0p@1j", "\u00c0\u00e9\u00df"},  // the two-character forms
      {"@1Obersicht", "\u00dcbersicht"},
      {"a@002db@", "a-b@"},   // a lone @ at the end stays
      {"a@0", "a@0"},         // cut short
      {"a@zz12", "a@zz12"},   // neither form
  };
  for (const auto& [file, name] : cases) EXPECT_EQ(objectNameFromFileName(file), name) << file;
  EXPECT_EQ(quoteIdentifier("we`ird"), "`we``ird`");
}

TEST(CToken, SplitsAtTheSeparator) {
  CToken t("a b c");
  std::vector<std::string> tokens;
  while (t.hasMoreTokens()) tokens.push_back(t.nextToken());
  EXPECT_EQ(tokens, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_FALSE(t.hasMoreTokens());

  CToken last("x--y");
  last.setSeparator("--");
  EXPECT_TRUE(last.hasMoreTokens(true));
  EXPECT_EQ(last.nextToken(), "x");
  EXPECT_FALSE(last.hasMoreTokens(true));  // only the pending last token is left
  EXPECT_TRUE(last.hasMoreTokens(false));
  EXPECT_EQ(last.nextToken(), "y");
}

TEST(ViewDefinition, StatementFromNameAndQuery) {
  auto text = viewStatement("v_orders", "TYPE=VIEW\nquery=select 1\nmd5=x\nalgorithm=2\ndefiner_user=bob\n");
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW `v_orders` AS select 1;");
  auto lines = viewStatement("v", "TYPE=VIEW\nquery=select \\'a\\nb\\' AS `x`\n");
  EXPECT_EQ(*lines, "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW `v` AS select 'a\nb' AS `x`;");
  auto noQuery = viewStatement("v", "TYPE=VIEW\nmd5=x\n");
  EXPECT_EQ(*noQuery, "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW `v` AS ;");
  EXPECT_EQ(viewStatement("v", "TYPE=VIEW\nquery=bad \\q\n").reason(), "the view's query is damaged: a value holds the unknown escape \\q");
  EXPECT_EQ(viewStatement("v", "TYPE=TRIGGERS\n").reason(), "not a view definition file");
}

TEST(ViewDefinition, TextsThatAreNotOneStatementAreRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"TYPE=VIEW\nquery=select 1 AS `x`; DROP DATABASE canary\n", "the view is not one statement"},
      {"TYPE=TRIGGERS\ntriggers='CREATE TRIGGER a BEFORE INSERT ON t FOR EACH ROW SET @a = 1; DROP DATABASE canary'\n",
       "a trigger is not one statement"},
      {"TYPE=TRIGGERS\ntriggers='CREATE TRIGGER a BEFORE INSERT ON t FOR EACH ROW SET @a = \\'$$\\''\n",
       "it holds the delimiter $$"},
  };
  for (const auto& [file, reason] : cases) {
    const auto text = hasViewSignature(file) ? viewStatement("v", file) : triggerScript(file);
    ASSERT_FALSE(text) << file;
    EXPECT_NE(text.reason().find(reason), std::string::npos) << text.reason();
  }
}

TEST(ViewDefinition, QueriesInTheCharacterSetOfTheirFile) {
  const std::string prefix = "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW `v` AS ";
  const std::pair<const char*, const char*> cases[] = {
      {"TYPE=VIEW\nquery=select \'gr\xC3\xBC\xC3\x9F\'\nclient_cs_name=latin1\n", "select 'gr\u00fc\u00df'"},
      {"TYPE=VIEW\nquery=select \'gr\xFC\xDF\'\n", "select 'gr\u00fc\u00df'"},
      {"TYPE=VIEW\nquery=select \'gr\xFC\xDF\'\nclient_cs_name=latin1\n", "select 'gr\u00fc\u00df'"},
      {"TYPE=VIEW\nquery=select \'\xC4\xE3\'\nclient_cs_name=gbk\n", "select '\u4f60'"},
  };
  for (const auto& [file, query] : cases) {
    auto text = viewStatement("v", file);
    ASSERT_TRUE(text) << text.reason();
    EXPECT_EQ(*text, prefix + query + ";") << file;
  }
}

TEST(ViewDefinition, RealViewFiles) {
  const std::string folder = test::realFixtures() + "/triggers-views/";
  for (const char* name : {"v1", "v2", "v3"}) {
    auto text = viewDefinitionText(folder + name + ".frm");
    ASSERT_TRUE(text) << text.reason();
    EXPECT_EQ(text->substr(0, 94), "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW `" + std::string(name) + "` AS select");
  }
  EXPECT_EQ(*viewDefinitionText(folder + "v1.frm"),
            "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW `v1` AS select `test`.`t1`.`a` AS `a` from `test`.`t1`;");
  EXPECT_FALSE(viewDefinitionText(folder + "missing.frm"));
}

TEST(TriggerDefinition, OneBlockPerTrigger) {
  const std::string file =
      "TYPE=TRIGGERS\n"
      "triggers='CREATE DEFINER=`root`@`localhost` TRIGGER t1_bi BEFORE INSERT ON t1 FOR EACH ROW SET NEW.a = \\'it\\\\\\'s\\''"
      " 'CREATE DEFINER=`u`@`%` TRIGGER t1_au AFTER UPDATE ON t1 FOR EACH ROW BEGIN\\n  SET @x = \\'a\\\\nb\\';\\nEND'\n"
      "sql_modes=0 0\n";
  auto script = triggerScript(file);
  ASSERT_TRUE(script) << script.reason();
  EXPECT_EQ(*script,
            "DELIMITER $$\nCREATE TRIGGER t1_bi BEFORE INSERT ON t1 FOR EACH ROW SET NEW.a = 'it\\'s'\n$$\nDELIMITER ;\n"
            "DELIMITER $$\nCREATE TRIGGER t1_au AFTER UPDATE ON t1 FOR EACH ROW BEGIN\n  SET @x = 'a\\nb';\nEND\n$$\nDELIMITER ;\n");
}

TEST(TriggerDefinition, EdgesOfTheList) {
  EXPECT_EQ(*triggerScript("TYPE=TRIGGERS\nsql_modes=0\n"), "");
  EXPECT_EQ(*triggerScript("TYPE=TRIGGERS\ntriggers=\n"), "");
  // Servers before 5.0.17 wrote no DEFINER clause; the trigger is still there.
  EXPECT_EQ(*triggerScript("TYPE=TRIGGERS\ntriggers='CREATE TRIGGER a BEFORE INSERT ON t FOR EACH ROW SET @a = 1'\n"),
            "DELIMITER $$\nCREATE TRIGGER a BEFORE INSERT ON t FOR EACH ROW SET @a = 1\n$$\nDELIMITER ;\n");
  // The same words inside a body stay.
  EXPECT_EQ(*triggerScript("TYPE=TRIGGERS\ntriggers='CREATE DEFINER=`r`@`h` TRIGGER a BEFORE INSERT ON t FOR EACH ROW SET @s = \\'CREATE DEFINER=x\\''\n"),
            "DELIMITER $$\nCREATE TRIGGER a BEFORE INSERT ON t FOR EACH ROW SET @s = 'CREATE DEFINER=x'\n$$\nDELIMITER ;\n");
  EXPECT_FALSE(triggerScript("TYPE=TRIGGERS\ntriggers='unclosed\n"));
  EXPECT_FALSE(triggerScript("TYPE=VIEW\n"));
}

TEST(TriggerDefinition, RealTriggerFiles) {
  const std::string folder = test::realFixtures() + "/triggers-views/";
  auto one = triggerDefinitionText(folder + "bug18311187_account.TRG");
  ASSERT_TRUE(one) << one.reason();
  EXPECT_EQ(*one,
            "DELIMITER $$\nCREATE TRIGGER ins_sum BEFORE INSERT ON account FOR EACH ROW SET @sum = @sum + NEW.amount\n$$\nDELIMITER ;\n");
  auto two = triggerDefinitionText(folder + "sys_config.TRG");
  ASSERT_TRUE(two) << two.reason();
  EXPECT_EQ(*two,
            "DELIMITER $$\nCREATE TRIGGER sys_config_insert_set_user BEFORE INSERT on sys_config FOR EACH ROW BEGIN IF "
            "@sys.ignore_sys_config_triggers != true AND NEW.set_by IS NULL THEN SET NEW.set_by = USER(); END IF; END\n"
            "$$\nDELIMITER ;\n"
            "DELIMITER $$\nCREATE TRIGGER sys_config_update_set_user BEFORE UPDATE on sys_config FOR EACH ROW BEGIN IF "
            "@sys.ignore_sys_config_triggers != true AND NEW.set_by IS NULL THEN SET NEW.set_by = USER(); END IF; END\n"
            "$$\nDELIMITER ;\n");
}

// The database's options give the statement the server itself shows.
TEST(DatabaseOptions, CreateDatabaseAsTheServerShowsIt) {
  struct Case {
    const char* folder;
    const char* name;
    const char* answer;
  } cases[] = {{"my@002ddb", "my-db", "create_database_my_db"}, {"klein", "klein", "create_database_klein"}};
  for (const auto& [folder, name, answer] : cases) {
    auto options = readDatabaseOptions(test::fixtureData("objects") + "/" + folder);
    ASSERT_TRUE(options) << options.reason();
    const test::Answer shown = test::readAnswer("objects", answer);
    ASSERT_EQ(shown.rows.size(), 1u);
    EXPECT_EQ(createDatabaseStatement(name, *options, false), shown.rows[0].at("Create Database"));
  }
  auto none = readDatabaseOptions(test::fixtureData("objects") + "/nonexistent");
  ASSERT_TRUE(none);
  EXPECT_EQ(createDatabaseStatement("x", *none, true), "CREATE DATABASE IF NOT EXISTS `x`");
  const DatabaseOptions windows = parseDatabaseOptions("default-character-set=utf8mb4\r\ndefault-collation=utf8mb4_bin\r\n");
  EXPECT_EQ(windows.collation, "utf8mb4_bin");
}

}  // namespace
}  // namespace tavrin
