// The recovery session driven through a window without a window: Open and
// its log, the scan, clicks, pages, Stop, refusals while busy, and the CSV
// export. Run under ThreadSanitizer in CI.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>

#include "base/path.h"
#include "session/headless_ui.h"
#include "session/session_controller.h"
#include "session/texts.h"
#include "test_support.h"

namespace tavrin {
namespace {

// 7:05:09 on 3 March 2024, local time.
std::time_t fixedTime() {
  std::tm t{};
  t.tm_year = 124;
  t.tm_mon = 2;
  t.tm_mday = 3;
  t.tm_hour = 7;
  t.tm_min = 5;
  t.tm_sec = 9;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

std::string utf16(const std::string& text) {
  std::string out;
  for (char c : text) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

struct Session {
  HeadlessUi ui;
  SessionController controller{ui, test::shippedCatalogue()};
  test::ScratchFolder logs;

  Session() {
    controller.setClock(fixedTime);
    controller.start();
  }

  // Opens `folder` and waits for the scan.
  void open(const std::string& folder, const std::string& temporary = "/tmp") {
    ui.answerSettings({folder, temporary, logs.path()});
    ASSERT_EQ(controller.onOpen(), 1);
    controller.waitForScan();
  }

  NodeId node(const std::vector<std::string>& labels) const {
    const ObjectTree& tree = controller.session().tree;
    NodeId at = tree.roots().front();
    at = tree.node(at).children.front();  // the data folder
    for (const std::string& label : labels) {
      at = tree.findChild(at, label);
      if (at == kNoNode) {
        ADD_FAILURE() << "no node " << label;
        return kNoNode;
      }
    }
    return at;
  }

  void click(NodeId item) {
    ui.select(item);
    ASSERT_EQ(controller.onNodeClicked(item), 1);
  }

  std::string logText() const { return test::readText(logs.path() + "/TavrinMySQLDBRec_log_3-3-2024-7-5-9.txt"); }
};

std::string rowsFolder() { return test::fixtureData("myisam_rows") + "/rows"; }

TEST(Session, OpenScansAndLogs) {
  Session s;
  s.open(rowsFolder());
  EXPECT_FALSE(s.controller.isBusy());
  EXPECT_EQ(s.ui.outputLines(), (std::vector<std::string>{"Finding Database and tables", "Processing ibdata1 File",
                                                           "scanning completed."}));
  EXPECT_EQ(s.ui.messages(), std::vector<std::string>{texts::kScanningCompleted});
  EXPECT_EQ(s.ui.caption(), "Scanning completed for selected database file(s).\r\n");
  EXPECT_FALSE(s.ui.progressShown());
  // The database folder's ibdata1 is in the folder above it: no question asked.
  const std::string oneSession = "\r\n" + std::string(80, '*') + "\r\n" + rowsFolder() +
                                 " File is selected for recovery....\r\n" + "MySql database File Path:\t" +
                                 rowsFolder() + "\r\n" + "Processing ibdata1 File\r\n" +
                                 "Scanning completed for selected database file(s).\r\n";
  const std::string byteOrderMark("\xFF\xFE", 2);
  EXPECT_EQ(s.logText(), byteOrderMark + utf16(oneSession));
  // A second Open in the same second appends to the same file, without a
  // second byte order mark; the tree is built again from 1.
  s.open(rowsFolder());
  EXPECT_EQ(s.logText(), byteOrderMark + utf16(oneSession + oneSession));
  EXPECT_EQ(s.controller.session().tree.node(s.node({"rows", "Tables", "binaries"})).itemData, 1);
}

TEST(Session, SettingsAreCheckedAndTheLogMustOpen) {
  Session s;
  test::ScratchFolder empty;
  s.ui.answerSettings({empty.path() + "/missing", "/tmp", s.logs.path()});
  s.ui.answerSettings({empty.path(), "/tmp", s.logs.path()});
  s.ui.answerSettings({rowsFolder(), empty.path() + "/missing", s.logs.path()});
  s.ui.answerSettings({rowsFolder(), "/tmp", empty.path() + "/missing"});
  s.ui.cancelSettings();
  EXPECT_EQ(s.controller.onOpen(), 1);
  EXPECT_EQ(s.ui.messages(),
            (std::vector<std::string>{texts::kInvalidDatabasePath, texts::kInvalidDatabaseFolder,
                                      texts::kInvalidTemporaryPath, texts::kInvalidLogPath}));
  EXPECT_FALSE(s.controller.isBusy());

  // A log "folder" that is a file: the error is shown, nothing is scanned.
  const std::string file = empty.write("not-a-folder", "x");
  s.ui.clearCalls();
  s.ui.answerSettings({rowsFolder() + "//", "/tmp/", file});
  EXPECT_EQ(s.controller.onOpen(), 1);
  s.controller.waitForScan();
  ASSERT_EQ(s.ui.messages().size(), 1u);
  EXPECT_NE(s.ui.messages()[0].find("cannot create the log file"), std::string::npos);
  EXPECT_FALSE(s.controller.isBusy());
  EXPECT_FALSE(s.ui.progressShown());
  EXPECT_EQ(s.controller.settings().databasePath, rowsFolder());
  EXPECT_TRUE(s.controller.session().tables.empty());
}

TEST(Session, TheBrowseQuestionWhenNoIbdataIsFound) {
  test::ScratchFolder top;
  const std::string db = top.makeFolder("db");
  std::filesystem::copy(rowsFolder() + "/lists.frm", db + "/lists.frm");
  Session s;
  s.ui.answerMessage(MessageAnswer::Yes);
  s.ui.answerOpenFile(top.path() + "/nothing-here");
  s.open(db);
  EXPECT_EQ(s.ui.messages(), (std::vector<std::string>{texts::kBrowseIbdata, texts::kScanningCompleted}));
  EXPECT_NE(s.logText().find(utf16("ibdata1 File cannot be open\r\nManually browse ibdata1 File cannot be open\r\n")),
            std::string::npos);
}

TEST(Session, TheProgressBarCountsTheDatabaseFoldersScanned) {
  test::ScratchFolder top;
  std::filesystem::copy(rowsFolder() + "/lists.frm", top.path() + "/lists.frm");  // what Open asks of a folder
  for (const char* name : {"first", "second", "third"}) {
    std::filesystem::copy(rowsFolder() + "/lists.frm", top.makeFolder(name) + "/lists.frm");
  }
  Session s;
  s.ui.answerMessage(MessageAnswer::No);  // no ibdata1 to browse for
  s.open(top.path());
  EXPECT_EQ(s.ui.progress(), (std::pair<uint64_t, uint64_t>{3, 3}));
  EXPECT_EQ(s.controller.session().tables.size(), 3u);
}

TEST(Session, PagesOf2500RowsWithNextAndPrevious) {
  Session s;
  s.open(rowsFolder());
  s.click(s.node({"rows", "Tables", "pages_fixed"}));
  EXPECT_EQ(s.ui.gridRows().size(), 1000u);
  EXPECT_EQ(s.ui.caption(), "pages_fixed[1000]");
  EXPECT_TRUE(s.ui.nextEnabled());
  EXPECT_FALSE(s.ui.previousEnabled());
  EXPECT_EQ(s.ui.gridTitles(), (std::vector<std::string>{"id", "label", "amount"}));

  s.ui.clearCalls();
  s.controller.onNextPage();
  EXPECT_EQ(s.ui.caption(), "1000 rows to 2000");
  EXPECT_EQ(s.ui.gridRows().front()[0], "1001");
  EXPECT_TRUE(s.ui.previousEnabled());
  s.controller.onNextPage();
  EXPECT_EQ(s.ui.gridRows().size(), 500u);
  EXPECT_EQ(s.ui.messages(), std::vector<std::string>{texts::kNoMoreRecords});
  EXPECT_FALSE(s.ui.nextEnabled());
  EXPECT_EQ(s.ui.caption(), "2000 rows to 2500");
  s.controller.onPreviousPage();
  EXPECT_EQ(s.ui.caption(), "1000 rows to 2000");
  EXPECT_EQ(s.ui.gridRows().size(), 1000u);
  EXPECT_TRUE(s.ui.nextEnabled());
  EXPECT_TRUE(s.ui.previousEnabled());
  s.controller.onPreviousPage();
  EXPECT_EQ(s.ui.caption(), "0 rows to 1000");
  EXPECT_EQ(s.ui.gridRows().front()[0], "1");
  EXPECT_FALSE(s.ui.previousEnabled());
}

TEST(Session, ExactlyOnePageAndAFewRows) {
  Session s;
  s.open(rowsFolder());
  s.click(s.node({"rows", "Tables", "exactly_1000"}));
  s.ui.clearCalls();
  s.controller.onNextPage();
  EXPECT_TRUE(s.ui.gridRows().empty());
  EXPECT_EQ(s.ui.messages(), std::vector<std::string>{texts::kNoMoreRecords});
  EXPECT_EQ(s.ui.caption(), "1000 rows to 1000");

  s.click(s.node({"rows", "Tables", "every_type"}));
  EXPECT_EQ(s.ui.gridRows().size(), 6u);
  EXPECT_TRUE(s.ui.nextEnabled());
  s.ui.clearCalls();
  s.controller.onNextPage();
  EXPECT_FALSE(s.ui.nextEnabled());
  EXPECT_TRUE(s.ui.messages().empty());
}

TEST(Session, InnodbPagesThroughTheDictionary) {
  Session s;
  s.open(test::fixtureData("innodb_rows") + "/inno");
  s.click(s.node({"inno", "Tables", "big"}));
  EXPECT_EQ(s.ui.caption(), "big[1000]");
  for (int i = 0; i < 3; ++i) s.controller.onNextPage();
  EXPECT_EQ(s.ui.caption(), "3000 rows to 4000");
  EXPECT_EQ(s.ui.gridRows().front()[0], "3001");
  s.controller.onPreviousPage();
  EXPECT_EQ(s.ui.gridRows().front()[0], "2001");
}

// While a save mode is set, a value kept apart from its InnoDB row goes to
// a numbered file in the temporary folder, in full; the grid shows its path.
TEST(Session, ValuesKeptApartGoToFilesWhileSaving) {
  test::ScratchFolder temporary;
  Session s;
  s.open(test::fixtureData("innodb_rows") + "/inno", temporary.path());
  const std::string existing = temporary.write("blobdata/0", "kept");
  SaveSettings saving;
  saving.saveAsScript = true;
  s.controller.setSaveSettings(saving);
  s.click(s.node({"inno", "Tables", "apart_compact"}));
  const auto rows = s.ui.gridRows();
  ASSERT_FALSE(rows.empty());
  const std::string path = rows.front()[1];  // b LONGBLOB, kept apart
  EXPECT_EQ(path, temporary.path() + "/blobdata/1");  // the file of an earlier run is kept
  EXPECT_EQ(test::readText(existing), "kept");
  const std::string value = test::readText(path);
  EXPECT_EQ(value.substr(0, 8), "0x00FF41");
  EXPECT_EQ(value.size(), 2 + 2 * 3 * 20000u);
}

TEST(Session, KeysViewsAndTriggers) {
  Session s;
  s.open(test::fixtureData("definitions") + "/defs");
  s.click(s.node({"defs", "Tables", "items", "Keys"}));
  EXPECT_EQ(s.ui.gridTitles(), (std::vector<std::string>{"Column Name", "Data Type", "size", "Allow Nulls", "Key Name"}));
  EXPECT_EQ(s.ui.gridRows(), (std::vector<std::vector<std::string>>{{"id", "INT", "11", "False", "Primary Key"},
                                                                     {"name", "VARCHAR(40)", "40", "True", ""},
                                                                     {"note", "TEXT", "65535", "True", ""}}));
  EXPECT_EQ(s.ui.caption(), "Keys[3]");
  s.click(s.node({"defs", "Tables", "audit"}));
  EXPECT_EQ(s.ui.gridTitles(), (std::vector<std::string>{"id", "what"}));
  EXPECT_TRUE(s.ui.gridShown());

  s.click(s.node({"defs", "Views", "v_lines"}));
  EXPECT_FALSE(s.ui.gridShown());
  EXPECT_TRUE(s.ui.definitionShown());
  EXPECT_TRUE(s.ui.gridTitles().empty());
  EXPECT_EQ(s.ui.definitionText().rfind("CREATE ALGORITHM=UNDEFINED", 0), 0u);
  EXPECT_FALSE(s.ui.nextEnabled());
  EXPECT_FALSE(s.ui.previousEnabled());
  EXPECT_EQ(s.ui.caption(), "v_lines");
  s.click(s.node({"defs", "Trigger", "plain"}));
  EXPECT_EQ(s.ui.definitionText().rfind("DELIMITER $$\nCREATE TRIGGER plain_bi", 0), 0u);
  // Clicking a group node loads nothing.
  s.ui.clearCalls();
  s.click(s.node({"defs", "Tables"}));
  EXPECT_EQ(s.ui.outputLines().back(), texts::kScanningProcessCompleted);
}

// The window hands over its checked nodes; groups and Keys nodes are passed by.
TEST(Session, SaveOfTheCheckedNodesAsAScript) {
  Session s;
  s.open(test::fixtureData("definitions") + "/defs");
  test::ScratchFolder out;
  SaveRequest request;
  request.scriptFolder = out.path();
  const NodeId keys = s.node({"defs", "Tables", "items", "Keys"});
  EXPECT_EQ(s.controller.onSave({keys}, request), 1);
  EXPECT_EQ(s.ui.messages().back(), texts::kNothingToSave);
  EXPECT_FALSE(s.controller.isBusy());

  const std::vector<NodeId> checked = {s.node({"defs", "Tables"}), s.node({"defs", "Tables", "items"}), keys,
                                       s.node({"defs", "Views", "v_lines"})};
  ASSERT_EQ(s.controller.onSave(checked, request), 1);
  s.controller.waitForScan();
  const std::vector<std::string> lines = s.ui.outputLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3].rfind("table defs.items: saved, ", 0), 0u) << lines[lines.size() - 3];
  EXPECT_EQ(lines[lines.size() - 2].rfind("view defs.v_lines: saved", 0), 0u) << lines[lines.size() - 2];
  EXPECT_EQ(lines.back().rfind(texts::kSaveCompleted + std::string("3") + texts::kObjectsSavedOf + "3", 0), 0u)
      << lines.back();
  EXPECT_NE(test::readText(out.path() + "/defs.sql").find("CREATE TABLE `items`"), std::string::npos);
  EXPECT_FALSE(s.controller.isBusy());
  EXPECT_FALSE(s.ui.progressShown());
  EXPECT_EQ(s.ui.progress(), (std::pair<uint64_t, uint64_t>{1, 1}));  // one table, saved
}

TEST(Session, ReadersSayWhyATableHasNoRows) {
  test::ScratchFolder top;
  const std::string db = top.makeFolder("db");
  std::filesystem::copy(rowsFolder() + "/lists.frm", db + "/lists.frm");
  std::filesystem::copy(rowsFolder() + "/lists.MYI", db + "/lists.MYI");
  Session s;
  s.open(db);
  s.click(s.node({"db", "Tables", "lists"}));
  EXPECT_EQ(s.ui.gridTitles().size(), 8u);  // its columns, and no rows
  EXPECT_TRUE(s.ui.gridRows().empty());
  const auto lines = s.ui.outputLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "the data file lists.MYD of the MyISAM table is missing from " + db),
            lines.end());
  EXPECT_NE(s.logText().find(utf16("the data file lists.MYD")), std::string::npos);
  EXPECT_FALSE(s.ui.nextEnabled());
}

// A window whose ibdata1 question waits until the test lets it go, so that
// the scan is still running.
class WaitingUi : public HeadlessUi {
 public:
  MessageAnswer messageBox(const std::string& text, MessageButtons buttons, MessageIcon icon) override {
    if (text == texts::kBrowseIbdata) {
      std::unique_lock<std::mutex> lock(mutex_);
      asked_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
    }
    return HeadlessUi::messageBox(text, buttons, icon);
  }
  void waitUntilAsked() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return asked_; });
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool asked_ = false, released_ = false;
};

TEST(Session, CommandsAreRefusedWhileBusyAndStopEndsTheScan) {
  test::ScratchFolder top, logs;
  const std::string db = top.makeFolder("db");
  std::filesystem::copy(rowsFolder() + "/lists.frm", db + "/lists.frm");
  WaitingUi ui;
  SessionController controller(ui, test::shippedCatalogue());
  controller.setClock(fixedTime);
  ui.answerSettings({db, "/tmp", logs.path()});
  ASSERT_EQ(controller.onOpen(), 1);
  ui.waitUntilAsked();
  EXPECT_TRUE(controller.isBusy());
  EXPECT_EQ(controller.onOpen(), 0);
  EXPECT_EQ(controller.onNodeClicked(3), 0);
  EXPECT_EQ(controller.onNextPage(), 0);
  EXPECT_EQ(controller.onPreviousPage(), 0);
  EXPECT_EQ(controller.onExportCsv(), 0);
  const auto refusals = ui.messages();
  EXPECT_EQ(refusals, std::vector<std::string>(5, texts::kWaitForRunningProcess));
  ui.answerMessage(MessageAnswer::Yes);  // "Are you sure to stop the running process?"
  EXPECT_EQ(controller.onStop(), 1);
  // The worker still runs, so the session is still busy until it has ended.
  EXPECT_TRUE(controller.isBusy());
  EXPECT_EQ(controller.onOpen(), 0);
  ui.release();
  controller.waitForScan();
  EXPECT_FALSE(controller.isBusy());
  EXPECT_EQ(ui.outputLines().back(), texts::kScanningStopped);
  ui.answerSettings({db, "/tmp", logs.path()});
  EXPECT_EQ(controller.onOpen(), 1);
  controller.waitForScan();
  const auto lines = ui.outputLines();
  EXPECT_EQ(lines.back(), "scanning completed.");
  EXPECT_EQ(controller.session().tables.size(), 1u);
}

TEST(Session, CsvOfAPageAndOfAStructure) {
  Session s;
  s.open(test::fixtureData("definitions") + "/defs");
  test::ScratchFolder out;
  EXPECT_EQ(s.controller.onExportCsv(), 1);
  EXPECT_EQ(s.ui.messages().back(), texts::kSelectTableToSave);
  s.click(s.node({"defs", "Tables", "items", "Keys"}));
  s.ui.answerSaveFile(out.path() + "/keys.csv");
  EXPECT_EQ(s.controller.onExportCsv(), 1);
  EXPECT_EQ(s.ui.messages().back(), texts::kFileSaved);
  EXPECT_EQ(s.ui.calls()[s.ui.calls().size() - 2], "save file dialog: Keys_.csv");
  EXPECT_EQ(test::readText(out.path() + "/keys.csv"),
            utf16("Column Name,Data Type,size,Allow Nulls,Key Name\r\nid,INT,11,False,Primary Key\r\n"
                  "name,VARCHAR(40),40,True,\r\nnote,TEXT,65535,True,\r\n"));
  s.ui.answerSaveFile(out.path() + "/missing/folder.csv");
  s.controller.onExportCsv();
  EXPECT_EQ(s.ui.messages().back(), std::string(texts::kFileCannotBeCreated) + "\ncannot create a file beside " +
                                        out.path() + "/missing/folder.csv: No such file or directory");
}

TEST(Session, NothingIsWrittenIntoTheFolderBeingRecovered) {
  test::ScratchFolder top;
  const std::string db = top.makeFolder("db");
  std::filesystem::copy(rowsFolder() + "/lists.frm", db + "/lists.frm");
  std::filesystem::copy(rowsFolder() + "/lists.MYD", db + "/lists.MYD");
  std::filesystem::copy(rowsFolder() + "/lists.MYI", db + "/lists.MYI");
  const std::vector<uint8_t> data = test::readBytes(db + "/lists.MYD");
  Session s;
  s.open(db);
  s.click(s.node({"db", "Tables", "lists"}));
  for (const std::string& target : {db + "/lists.MYD", db + "/new.csv", top.path() + "/db/../db/x.csv"}) {
    s.ui.answerSaveFile(target);
    s.controller.onExportCsv();
    EXPECT_EQ(s.ui.messages().back(),
              std::string(texts::kFileCannotBeCreated) + "\n" + target + texts::kNotIntoDataFolder);
  }
  EXPECT_EQ(test::readBytes(db + "/lists.MYD"), data);
  EXPECT_FALSE(std::filesystem::exists(db + "/new.csv"));
}

}  // namespace
}  // namespace tavrin
