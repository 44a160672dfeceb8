// The save job over a fixture's files, with a server that records what it is
// sent and answers as it is told: what is skipped, replaced, stopped and
// reported; and the statements of views and triggers.

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>

#include "base/path.h"
#include "export/sql_definitions.h"
#include "export/sql_script.h"
#include "session/save_job.h"
#include "tabledef/trigger_definition.h"
#include "tabledef/view_definition.h"
#include "test_support.h"

namespace tavrin {
namespace {

// A server that keeps every statement; objects listed in `existing` exist,
// statements holding a text of `refusals` fail with that text's reason.
struct ScriptedServer {
  std::mutex mutex;
  std::vector<std::string> sent;
  std::set<std::string> existing;
  std::map<std::string, std::string> refusals;
  int connections = 0;

  bool sentHolding(const std::string& text) {
    for (const std::string& s : sent) {
      if (s.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

class ScriptedConnection : public ServerConnection {
 public:
  explicit ScriptedConnection(ScriptedServer& server) : server_(server) {}
  Status send(std::string_view statement, StatementKind) override {
    std::lock_guard<std::mutex> lock(server_.mutex);
    for (const auto& [text, reason] : server_.refusals) {
      if (statement.find(text) != std::string_view::npos) return ioFailure(reason);
    }
    server_.sent.emplace_back(statement);
    return Ok{};
  }
  Result<std::optional<std::string>> firstValue(std::string_view query) override {
    std::lock_guard<std::mutex> lock(server_.mutex);
    for (const std::string& name : server_.existing) {
      if (query.find("NAME = '" + name + "'") != std::string_view::npos) return std::optional<std::string>("BASE TABLE");
    }
    return std::optional<std::string>();
  }

 private:
  ScriptedServer& server_;
};

struct Saving {
  RecoverySession session;
  ScriptedServer server;
  SaveRequest request;

  explicit Saving(const std::string& script) {
    BuildObjectTree(session, test::fixtureData(script));
    request.mode = SaveRequest::Mode::Server;
    request.connect = [this](const ServerAddress&) -> Result<std::unique_ptr<ServerConnection>> {
      std::lock_guard<std::mutex> lock(server.mutex);
      ++server.connections;
      return std::unique_ptr<ServerConnection>(new ScriptedConnection(server));
    };
  }
  void all(const std::string& database) {
    for (size_t d = 0; d < session.databaseFolders.size(); ++d) {
      if (lastComponent(session.databaseFolders[d]) != database) continue;
      request.databases.push_back(d);
      request.objects = objectsOfDatabase(session, d);
    }
  }
  SaveReport run(const std::atomic<bool>& stop = std::atomic<bool>(false)) {
    SaveJob job(session, test::shippedCatalogue(), {});
    return job.run(request, stop);
  }
};

std::map<std::string, std::string> linesByObject(const SaveReport& report) {
  std::map<std::string, std::string> lines;
  for (const SavedObject& o : report.objects) lines[std::string(o.kind) + " " + o.name] = o.line();
  return lines;
}

TEST(SaveJob, SavesEveryObjectInItsOrderAndSaysSo) {
  Saving s("definitions");
  s.all("defs");
  const SaveReport report = s.run();
  EXPECT_TRUE(report.allSaved());
  EXPECT_EQ(s.server.sent[0].rfind("CREATE DATABASE IF NOT EXISTS `defs`", 0), 0u);
  // Views after the tables; the view that reads another after it; triggers last.
  auto at = [&](const std::string& text) {
    for (size_t i = 0; i < s.server.sent.size(); ++i) {
      if (s.server.sent[i].find(text) != std::string::npos) return i;
    }
    return size_t(-1);
  };
  EXPECT_LT(at("CREATE TABLE `plain`"), at("VIEW `v_lines`"));
  EXPECT_LT(at("VIEW `v_lines`"), at("VIEW `v_nested`"));
  EXPECT_LT(at("VIEW `v_nested`"), at("TRIGGER items_bi "));
  EXPECT_LT(at("TRIGGER items_bi "), at("TRIGGER items_bi2"));
  EXPECT_EQ(linesByObject(report)["trigger items_au"], "trigger defs.items_au: saved");
}

TEST(SaveJob, LeavesWhatExistsUnlessReplacing) {
  for (bool replace : {false, true}) {
    Saving s("definitions");
    s.all("defs");
    s.request.replace = replace;
    s.server.existing = {"plain", "v_lines"};
    const SaveReport report = s.run();
    auto lines = linesByObject(report);
    EXPECT_EQ(report.allSaved(), replace);
    if (replace) {
      EXPECT_TRUE(s.server.sentHolding("DROP TABLE IF EXISTS `plain`"));
      EXPECT_TRUE(s.server.sentHolding("CREATE TABLE `plain`"));
    } else {
      EXPECT_EQ(lines["table plain"], "table defs.plain: skipped: it exists on the target and is left as it is");
      EXPECT_EQ(lines["view v_lines"], "view defs.v_lines: skipped: it exists on the target and is left as it is");
      EXPECT_FALSE(s.server.sentHolding("CREATE TABLE `plain`"));
      EXPECT_FALSE(s.server.sentHolding("DROP"));
      EXPECT_EQ(lines["table items"], "table defs.items: saved, 0 rows");
    }
  }
}

TEST(SaveJob, AFailureCostsOnlyItsObjectAndADefinerRefusalSaysWhy) {
  Saving s("definitions");
  s.all("defs");
  s.server.refusals = {{"CREATE TABLE `audit`", "Table 'audit' is read only"},
                       {"VIEW `v with space`", "Access denied; you need (at least one of) the SUPER, SET USER "
                                               "privilege(s) for this operation"}};
  const SaveReport report = s.run();
  auto lines = linesByObject(report);
  EXPECT_FALSE(report.allSaved());
  EXPECT_EQ(lines["table audit"], "table defs.audit: failed: Table 'audit' is read only");
  EXPECT_NE(lines["view v with space"].find("the target refuses the definer"), std::string::npos);
  EXPECT_EQ(lines["view v_nested"], "view defs.v_nested: saved");
  EXPECT_EQ(lines["trigger plain_bi"], "trigger defs.plain_bi: saved");
}

TEST(SaveJob, ACutConnectionLosesTheDatabaseAndNamesEachObject) {
  Saving s("definitions");
  s.all("defs");
  s.request.connect = [](const ServerAddress&) -> Result<std::unique_ptr<ServerConnection>> {
    return ioFailure("Can't connect to server on 'nowhere'");
  };
  const SaveReport report = s.run();
  auto lines = linesByObject(report);
  EXPECT_EQ(lines["database defs"], "database defs: failed: Can't connect to server on 'nowhere'");
  EXPECT_EQ(lines["table items"], "table defs.items: not saved: its database could not be saved");
  EXPECT_EQ(report.objects.size(), 1u + 3u + 4u + 2u);  // the database, tables, views, trigger files
}

TEST(SaveJob, RowsGoInStatementsAndStopLeavesTheRestUnsaved) {
  Saving s("innodb_rows");
  s.all("inno");
  std::atomic<bool> stop{false};
  uint64_t seen = 0;
  SaveJob job(s.session, test::shippedCatalogue(), {});
  job.onProgress([&](const SaveProgress& p) {
    seen = p.totalRows;
    if (p.table == "big" && p.tableRows > 0) stop = true;
  });
  s.request.workers = 1;
  const SaveReport report = job.run(s.request, stop);
  EXPECT_TRUE(report.stopped);
  EXPECT_FALSE(report.allSaved());
  auto lines = linesByObject(report);
  EXPECT_EQ(lines["table apart_compact"], "table inno.apart_compact: saved, 4 rows");
  EXPECT_NE(lines["table big"].find("table inno.big: not saved: after "), std::string::npos) << lines["table big"];
  EXPECT_EQ(lines["table unique_key"], "table inno.unique_key: not saved: the save was stopped");
  EXPECT_GT(seen, 0u);
}

TEST(SaveJob, AScriptIsWrittenWholeOrNotAtAll) {
  test::ScratchFolder out;
  for (bool stopAtOnce : {false, true}) {
    Saving s("definitions");
    s.all("defs");
    s.request.mode = SaveRequest::Mode::Script;
    s.request.scriptFolder = out.path();
    s.request.force = true;
    const std::atomic<bool> stop(stopAtOnce);
    const SaveReport report = s.run(stop);
    const std::string path = joinPath(out.path(), "defs.sql");
    if (stopAtOnce) {
      EXPECT_FALSE(report.allSaved());
      EXPECT_EQ(linesByObject(report)["database defs"],
                "database defs: not saved: " + path + " was not written: the save was stopped");
      continue;
    }
    EXPECT_TRUE(report.allSaved());
    const std::string text = test::readText(path);
    EXPECT_NE(text.find("SET NAMES utf8mb4;\n"), std::string::npos);
    EXPECT_NE(text.find("DELIMITER ;;\nCREATE DEFINER=`root`@`localhost` TRIGGER items_bd"), std::string::npos);
    EXPECT_NE(text.rfind("SET SQL_MODE=@OLD_SQL_MODE;\n"), std::string::npos);
  }
  // Without --force an existing script is kept and nothing is saved.
  Saving s("definitions");
  s.all("defs");
  s.request.mode = SaveRequest::Mode::Script;
  s.request.scriptFolder = out.path();
  const std::string before = test::readText(joinPath(out.path(), "defs.sql"));
  EXPECT_EQ(linesByObject(s.run())["database defs"],
            "database defs: failed: " + joinPath(out.path(), "defs.sql") + " exists already");
  EXPECT_EQ(test::readText(joinPath(out.path(), "defs.sql")), before);
}

TEST(SaveStatements, ViewsKeepTheirDefinerAlgorithmAndCheckOption) {
  const std::string file =
      "TYPE=VIEW\nquery=select `d`.`t`.`a` AS `a` from `d`.`t`\nalgorithm=2\ndefiner_user=o\\'k\n"
      "definer_host=%\nsuid=0\nwith_check_option=2\n";
  auto view = storedView(file);
  ASSERT_TRUE(view) << view.reason();
  EXPECT_EQ(createViewStatement("v", *view),
            "CREATE ALGORITHM=TEMPTABLE DEFINER=`o'k`@`%` SQL SECURITY INVOKER VIEW `v` AS select `d`.`t`.`a` AS "
            "`a` from `d`.`t` WITH CASCADED CHECK OPTION");
  EXPECT_EQ(viewsReadBy(*view, "d", {"u", "t", "v"}), std::vector<size_t>{1});
  EXPECT_FALSE(storedView("TYPE=VIEW\nmd5=x\n"));
}

TEST(SaveStatements, TriggersKeepTheirNamesModesAndText) {
  const std::string file =
      "TYPE=TRIGGERS\ntriggers='CREATE DEFINER=`root`@`localhost` TRIGGER `a``b` BEFORE INSERT ON t FOR EACH ROW "
      "SET @x = 1' 'CREATE TRIGGER db.plain AFTER DELETE ON t FOR EACH ROW SET @y = \\'TRIGGER x\\''\n"
      "sql_modes=1411383296 0\n";
  auto triggers = storedTriggers(file);
  ASSERT_TRUE(triggers) << triggers.reason();
  ASSERT_EQ(triggers->size(), 2u);
  EXPECT_EQ((*triggers)[0].name, "a`b");
  EXPECT_EQ((*triggers)[1].name, "plain");
  EXPECT_EQ((*triggers)[1].statement, "CREATE TRIGGER db.plain AFTER DELETE ON t FOR EACH ROW SET @y = 'TRIGGER x'");
  EXPECT_EQ(sqlModeNames((*triggers)[0].sqlMode),
            "STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_AUTO_CREATE_USER,NO_ENGINE_SUBSTITUTION");
  EXPECT_TRUE((*triggers)[1].hasSqlMode);
  EXPECT_EQ(sqlModeNames(0), "");
}

TEST(SaveStatements, AScriptPicksADelimiterTheTriggerDoesNotHold) {
  test::ScratchFolder out;
  const std::string path = joinPath(out.path(), "x.sql");
  auto script = ScriptFile::create(path, "here");
  ASSERT_TRUE(script);
  const std::string trigger = "CREATE TRIGGER t BEFORE INSERT ON x FOR EACH ROW BEGIN SET @a = ';;'; END";
  ASSERT_TRUE((*script)->execute(trigger, StatementKind::Compound));
  ASSERT_TRUE((*script)->complete(false));
  EXPECT_NE(test::readText(path).find("DELIMITER $$\n" + trigger + "\n$$\nDELIMITER ;\n"), std::string::npos);
  // Not over an existing file unless told to; the file stays as it was.
  auto again = ScriptFile::create(path, "there");
  ASSERT_TRUE(again);
  EXPECT_FALSE((*again)->complete(false));
  EXPECT_NE(test::readText(path).find("from 'here'"), std::string::npos);
  EXPECT_EQ(listFolder(out.path())->size(), 1u);
}

}  // namespace
}  // namespace tavrin
