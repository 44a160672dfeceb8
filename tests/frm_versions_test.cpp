// Definition files of older servers (MySQL 5.0 to 5.6, MariaDB 10.0 and 10.1,
// Percona Server) agree with the SHOW CREATE TABLE each server wrote beside them.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "base/path.h"
#include "structure_expectation.h"
#include "tabledef/frm_reader.h"
#include "tabledef/type_text.h"
#include "tabledef/view_definition.h"
#include "test_support.h"

namespace tavrin {
namespace {

struct ShownColumn {
  std::string name, type;
  bool nullable = true;
};

struct ShownTable {
  std::vector<ShownColumn> columns;
  std::set<std::string> primary, unique;
};

// The backquoted names of a key's column list, such as (`a`(10),`b`).
std::vector<std::string> keyColumns(const std::string& line) {
  std::vector<std::string> names;
  size_t p = line.find('(');
  while ((p = line.find('`', p)) != std::string::npos) {
    size_t end = line.find('`', p + 1);
    names.push_back(line.substr(p + 1, end - p - 1));
    p = end + 1;
  }
  return names;
}

ShownTable parseShowCreateTable(const std::string& sql) {
  ShownTable t;
  std::istringstream in(sql);
  std::string line;
  std::getline(in, line);  // CREATE TABLE `name` (
  while (std::getline(in, line)) {
    if (line.rfind("  `", 0) == 0) {
      ShownColumn c;
      size_t end = line.find('`', 3);
      c.name = line.substr(3, end - 3);
      // The type runs to the first space outside parentheses and quotes.
      size_t p = end + 2;
      int depth = 0;
      bool quoted = false;
      size_t q = p;
      for (; q < line.size(); ++q) {
        char ch = line[q];
        if (quoted) {
          if (ch == '\'' && q + 1 < line.size() && line[q + 1] == '\'') ++q;
          else if (ch == '\'') quoted = false;
        } else if (ch == '\'') quoted = true;
        else if (ch == '(') ++depth;
        else if (ch == ')') --depth;
        else if ((ch == ' ' || ch == ',') && depth == 0) break;
      }
      c.type = line.substr(p, q - p);
      std::string rest = line.substr(q);
      if (rest.rfind(" unsigned", 0) == 0) c.type += " unsigned";
      c.nullable = rest.find(" NOT NULL") == std::string::npos;
      t.columns.push_back(c);
    } else if (line.rfind("  PRIMARY KEY", 0) == 0) {
      for (auto& n : keyColumns(line.substr(13))) t.primary.insert(n);
    } else if (line.rfind("  UNIQUE KEY", 0) == 0) {
      size_t nameEnd = line.find('`', line.find('`') + 1);
      for (auto& n : keyColumns(line.substr(nameEnd + 1))) t.unique.insert(n);
    }
  }
  return t;
}

std::vector<std::string> definitionsOf(const char* kind) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(test::realFixtures() + "/frm-versions")) {
    if (e.path().extension() != ".sql") continue;
    if (test::readText(e.path().string()).rfind(kind, 0) == 0) names.push_back(e.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FrmVersions, TablesAgreeWithShowCreateTable) {
  const std::string folder = test::realFixtures() + "/frm-versions";
  const std::vector<std::string> tables = definitionsOf("CREATE TABLE");
  ASSERT_GE(tables.size(), 35u);
  std::set<int> layouts;
  for (const std::string& name : tables) {
    SCOPED_TRACE(name);
    const ShownTable shown = parseShowCreateTable(test::readText(folder + "/" + name + ".sql"));
    auto def = readFrm(folder + "/" + name + ".frm", test::shippedCatalogue());
    ASSERT_TRUE(def) << def.reason();
    layouts.insert(def->layoutVersion);
    ASSERT_EQ(def->columns.size(), shown.columns.size());
    for (size_t i = 0; i < shown.columns.size(); ++i) {
      const ColumnDefinition& c = def->columns[i];
      SCOPED_TRACE(c.name);
      EXPECT_EQ(c.name, shown.columns[i].name);
      EXPECT_EQ(columnTypeText(c, def->tableCharsetId, test::shippedCatalogue()),
                test::expectedTypeText(shown.columns[i].type));
      EXPECT_EQ(c.nullable, shown.columns[i].nullable);
      EXPECT_EQ(c.inPrimaryKey, shown.primary.count(c.name) == 1);
      EXPECT_EQ(c.inUniqueKey, shown.unique.count(c.name) == 1);
    }
  }
  EXPECT_EQ(layouts, (std::set<int>{9, 10}));
}

TEST(FrmVersions, ViewsGiveTheirQuery) {
  const std::string folder = test::realFixtures() + "/frm-versions";
  const std::vector<std::string> views = definitionsOf("CREATE ALGORITHM");
  ASSERT_GE(views.size(), 5u);
  for (const std::string& name : views) {
    SCOPED_TRACE(name);
    std::string shown = test::readText(folder + "/" + name + ".sql");
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == ';')) shown.pop_back();
    auto text = viewDefinitionText(folder + "/" + name + ".frm");
    ASSERT_TRUE(text) << text.reason();
    const std::string as = "` AS ";
    EXPECT_EQ(text->substr(0, text->find(as)), "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW `" + name);
    EXPECT_EQ(text->substr(text->find(as)), shown.substr(shown.find(as)) + ";");
  }
}

TEST(FrmVersions, TemporalLayoutFollowsTheWritingServer) {
  const std::string folder = test::realFixtures() + "/frm-versions/";
  struct Case {
    const char* table;
    uint32_t serverVersion;
    bool newTemporal;
  } cases[] = {
      {"actor", 50537, false},        // MySQL 5.5.37
      {"tokudb_test_0", 50634, true},  // Percona Server 5.6.34
      {"uc_test", 100119, true},       // MariaDB 10.1.19
      {"em_subscriber", 0, false},     // written before the version was stored
  };
  for (const Case& c : cases) {
    auto def = readFrm(folder + c.table + ".frm", test::shippedCatalogue());
    ASSERT_TRUE(def) << c.table << ": " << def.reason();
    EXPECT_EQ(def->serverVersion, c.serverVersion) << c.table;
    EXPECT_EQ(def->newTemporalFormat, c.newTemporal) << c.table;
  }
}

}  // namespace
}  // namespace tavrin
