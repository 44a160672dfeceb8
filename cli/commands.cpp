#include "cli/commands.h"

#include "cli/check_command.h"
#include "cli/command_support.h"
#include "cli/save_command.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include <stdlib.h>
#include <unistd.h>

#include "base/file.h"
#include "base/path.h"
#include "base/text.h"
#include "export/create_table.h"
#include "export/delimited.h"
#include "export/mariadb_link.h"
#include "export/sql_rows.h"
#include "innodb/system_tablespace.h"
#include "render/time_zone.h"
#include "render/value_renderer.h"
#include "session/headless_ui.h"
#include "session/save_options.h"
#include "session/scan.h"
#include "session/session_controller.h"
#include "session/structure_view.h"
#include "session/table_rows.h"
#include "session/texts.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/definition_file.h"
#include "tabledef/field_layout.h"
#include "tabledef/trigger_definition.h"
#include "tabledef/view_definition.h"

namespace tavrin::cli {

namespace {


constexpr const char* kHelp = R"(tavrin-recover: recovers MySQL and MariaDB tables from the files of a data folder,
without a server. Files are only read, never changed.

Usage:
  tavrin-recover list FOLDER
      The object tree of the folder: each database with its tables (each with
      its "Keys" node), views and triggers, one node per line, indented by
      level.
  tavrin-recover structure FOLDER DATABASE TABLE [--sql] [--time-zone ZONE]
      The columns of a table, read from its .frm file: a heading line, then one
      line per column with its name, data type, size, whether it allows NULL
      and its key ("Primary Key" or "Unique Key"), separated by tabs.
      --sql prints instead the table's CREATE TABLE statement, ended by ";",
      as MariaDB's SHOW CREATE TABLE writes it: every column with its type,
      character set, default and attributes, every key, CHECK constraint and
      table option, and the AUTO_INCREMENT value kept in the table's data
      files (an InnoDB table needs MariaDB 10.2.4 or later to keep it).
      TIMESTAMP defaults are written in the local time zone, or in ZONE.
  tavrin-recover view FOLDER DATABASE VIEW
      The CREATE VIEW statement of a view.
  tavrin-recover trigger FOLDER DATABASE TABLE
      The triggers of a table (its .TRG file), as a script for a MySQL client.
  tavrin-recover rows FOLDER DATABASE TABLE [--page N | --all] [--full]
                 [--deleted] [--format tsv|csv|sql] [--ibdata FILE]
                 [--time-zone ZONE]
      The rows of a MyISAM or InnoDB table: a line with the column names, then
      one line per row. Rows come in pages of 1000, in the order of the data
      file (MyISAM) or of the primary key (InnoDB): --page N gives the N-th
      page (the first by default), --all every row. --deleted gives instead
      the rows of an InnoDB table that were deleted but are still on its
      pages (not yet purged). An InnoDB table is read with the dictionary of
      the system tablespace ibdata1, looked for beside the databases or, when
      FOLDER is one database folder, in the folder above it; --ibdata names
      it. Without it, a table with its own .ibd file is read by its
      definition alone.
      Values are shown as the server's client shows them; binary strings and
      BLOBs as 0x and hexadecimal, BIT values as their bits. Without --full,
      large values show a marker ("0x<Binarydata>" for binary strings of 100
      bytes or more, "Large Blob Data" for BLOB/TEXT values of 1000 bytes or
      more, "Large Size Blob Data" for InnoDB values kept apart from their
      row, "Spatial Data" for GEOMETRY); --full gives every value in full.
      --format tsv (the default) separates values by tabs and escapes them as
      the client's batch mode does (\0 \t \n \\); --format csv writes
      RFC 4180; --format sql writes INSERT statements (many rows each, every
      value in full) that give the rows back to a server. NULL is written
      NULL. TIMESTAMP values are shown in the local
      time zone, or in ZONE: an IANA name (Europe/Berlin), UTC or +HH:MM.
      Rows, pages and values passed over because they are damaged are
      counted and named on stderr after the rows; when damage stops the
      walk, the rows before it are written and the reason follows them.
      A page past the last one is named on stderr.
  tavrin-recover scan FOLDER [--log-folder DIR]
      Runs an Open and its scan as the window does and prints the lines of
      its output pane. The scan log (TavrinMySQLDBRec_log_....txt) is written
      to DIR, by default the desktop folder (else the home folder, else the
      current folder); stderr names it. FOLDER must directly hold a .frm
      file, as the window's Open asks.
  tavrin-recover export-csv FOLDER DATABASE TABLE OUT.csv [--page N] [--force]
                 [--time-zone ZONE]
      Writes the N-th page of rows (the first by default), as the window
      shows it, to OUT.csv exactly as the window's export does: UTF-16
      little-endian, CR LF line ends, the column names first, values quoted
      as RFC 4180 says where needed. An existing OUT.csv is replaced only
      with --force; nothing is written into the folder being read. The file
      is written beside OUT.csv under another name and then renamed.
  tavrin-recover test-connection [--server HOST] [--port N] [--socket PATH]
                 --user USER [--password-file FILE]
      Tests a connection to a MySQL or MariaDB server as the save options
      do (server localhost and port 3306 unless given; a socket path may
      be given too) and prints "Connection is successful", or the server's
      reason. The password is taken from the environment variable
      TAVRIN_PASSWORD or the first line of FILE, never from the command
      line; it may be empty.
  tavrin-recover save FOLDER [DATABASE [OBJECT...]]
                 (--script DIR [--force] | --server HOST [--port N]
                 [--socket PATH] --user USER [--password-file FILE])
                 [--replace] [--ibdata FILE]
      Saves tables with their rows, views and triggers: every database of
      FOLDER but the system schemas (mysql, performance_schema, sys, saved
      only when named), one DATABASE whole, or its tables and views named
      as OBJECT (a table with its triggers). Per database, the database is
      made if it is missing, then each table and its rows, the views in the
      order they read each other, and the triggers last, so that they do not
      fire on the saved rows. Views and triggers keep their definer.
      --script writes DIR/DATABASE.sql per database, which a plain
      "mariadb < DIR/DATABASE.sql" loads; an existing file is replaced only
      with --force. --server sends the same statements to a server (port
      3306 unless given; a socket path may be given too), several tables at
      once; the password comes as for test-connection, or from a prompt on a
      terminal. An object that exists on the server is left as it is and
      reported, unless --replace is given: then it is dropped and made
      again (in a script, each object is preceded by its DROP).
      One line per object says what became of it: saved (with its rows),
      skipped, failed, or not saved, and why. Ctrl-C stops between
      statements; a script cut short is not written. The exit status is 0
      only when every object was saved whole.
  tavrin-recover check FOLDER [DATABASE [TABLE]] [--ibdata FILE]
      Reads every table of FOLDER (of DATABASE, or one TABLE) whole, values
      kept apart from their rows included, and every view and trigger file,
      and prints one line each: "sound" with the rows read, "damaged" with
      the rows read and each thing passed over with where and why, or
      "unreadable" and why. Files the scan could not place are named too.
      The exit status is 0 only when everything is sound.
  tavrin-recover --help
      This text.

FOLDER is one database folder, or a data folder whose sub-folders are the
databases (as the server keeps them). DATABASE, TABLE and VIEW are names as
"list" shows them: as the server names them, not as their files are named.
COMMAND --help shows this text too.

Exit status: 0 on success, 1 when the folder, the object or a file cannot be
found or read (the reason is printed on stderr), 2 for a wrong command line.
)";

enum class Format { Tsv, Csv, Sql };

// The `index`-th value of a line of delimited values.
void appendCell(std::string& line, size_t index, std::string_view cell, Format format) {
  if (index) line.push_back(format == Format::Tsv ? '\t' : ',');
  if (format == Format::Tsv) appendTsvField(line, cell);
  else appendCsvField(line, cell);
}

// One line of delimited values.
template <class Cells>
void appendLine(std::string& line, const Cells& cells, Format format) {
  size_t index = 0;
  for (const auto& cell : cells) appendCell(line, index++, cell, format);
  line += format == Format::Tsv ? "\n" : "\r\n";
}

void printTsvRow(const StructureRow& row, std::ostream& out) {
  std::string line;
  appendLine(line, row, Format::Tsv);
  out << line;
}

void printTree(const ObjectTree& tree, NodeId node, int depth, std::ostream& out) {
  out << std::string(size_t(depth) * 2, ' ') << printable(tree.node(node).label) << '\n';
  for (NodeId child : tree.node(node).children) printTree(tree, child, depth + 1, out);
}

Status listCommand(const std::vector<std::string>& a, std::ostream& out, std::ostream& err) {
  auto scanned = scanFolder(a[0]);
  if (!scanned) return scanned.failure();
  const ObjectTree& tree = (*scanned)->session.tree;
  for (NodeId root : tree.roots()) printTree(tree, root, 0, out);
  warnPassedOver((*scanned)->session, err);
  const size_t passed = (*scanned)->session.passedOver.size();
  if (passed) return damaged(std::to_string(passed) + (passed == 1 ? " file was" : " files were") + " passed over");
  return Ok{};
}

Status viewCommand(const std::vector<std::string>& a, std::ostream& out) {
  auto scanned = scanFolder(a[0]);
  if (!scanned) return scanned.failure();
  auto target = findObject(**scanned, a[1], "Views", a[2], "view");
  if (!target) return target.failure();
  auto text = viewDefinitionText((*scanned)->session.viewFiles[target->index]);
  if (!text) return text.failure();
  out << *text << '\n';
  return Ok{};
}

Status triggerCommand(const std::vector<std::string>& a, std::ostream& out) {
  auto scanned = scanFolder(a[0]);
  if (!scanned) return scanned.failure();
  auto target = findObject(**scanned, a[1], "Trigger", a[2], "trigger file of table");
  if (!target) return target.failure();
  const TriggerEntry& entry = (*scanned)->session.triggers[target->index];
  auto text = triggerDefinitionText(joinPath(entry.folderPath, entry.fileName));
  if (!text) return text.failure();
  out << *text;
  return Ok{};
}

struct RowsOptions {
  uint64_t page = 1;  // 0: every page
  bool full = false;
  bool deleted = false;
  Format format = Format::Tsv;
  std::string ibdata;
  TimeZone zone;
};

// The zone named by --time-zone, else the local one.
Result<TimeZone> timeZoneOption(const Invocation& a) {
  if (!a.has("--time-zone")) return TimeZone::local();
  auto zone = TimeZone::named(a.options.at("--time-zone"));
  if (!zone) return zone.failure().prefixed("--time-zone: ");
  return zone;
}

RowsOptions rowsOptions(const Invocation& a, TimeZone zone) {
  RowsOptions o;
  o.zone = std::move(zone);
  if (a.has("--all")) o.page = 0;
  if (a.has("--page")) o.page = std::stoull(a.options.at("--page"));
  o.full = a.has("--full");
  o.deleted = a.has("--deleted");
  if (a.has("--format") && a.options.at("--format") == "csv") o.format = Format::Csv;
  if (a.has("--format") && a.options.at("--format") == "sql") o.format = Format::Sql;
  if (a.has("--ibdata")) o.ibdata = a.options.at("--ibdata");
  return o;
}

std::string pageOptionProblem(const Invocation& a) {
  if (a.has("--page")) {
    const std::string& page = a.options.at("--page");
    if (page.empty() || page.size() > 15 || page.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(page) == 0) {
      return "--page needs a page number from 1";
    }
  }
  return {};
}

std::string rowsOptionProblem(const Invocation& a) {
  if (a.has("--all") && a.has("--page")) return "--page and --all exclude each other";
  if (std::string problem = pageOptionProblem(a); !problem.empty()) return problem;
  if (a.has("--format")) {
    const std::string& format = a.options.at("--format");
    if (format != "tsv" && format != "csv" && format != "sql") return "--format is tsv, csv or sql";
  }
  return {};
}

// What the table's data files keep that its CREATE TABLE statement shows:
// the next AUTO_INCREMENT value and the engine's key block sizes. Where they
// cannot be read, a table with an AUTO_INCREMENT column is warned of.
struct StoredFacts {
  std::optional<uint64_t> autoIncrement;
  std::vector<uint16_t> keyBlockSizes;
};

StoredFacts storedFacts(const RecoverySession& s, const TableEntry& entry, const TableDefinition& def,
                        const CollationCatalogue& catalogue, std::ostream& err) {
  SystemTablespaceSource system(s, "", catalogue, err);
  auto rows = TableRows::open(s.databaseFolders[size_t(entry.databaseIndex)], entry.name, def, catalogue,
                              std::ref(system));
  if (rows) return {(*rows)->rows().nextAutoIncrement(), (*rows)->rows().keyBlockSizes()};
  const bool counted = std::any_of(def.columns.begin(), def.columns.end(),
                                   [](const ColumnDefinition& c) { return c.isAutoIncrement(); });
  if (counted) err << kProgram << ": warning: no AUTO_INCREMENT value: " << rows.reason() << '\n';
  return {};
}

// The columns of a table, or with --sql its CREATE TABLE statement.
Status structureCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  auto zone = timeZoneOption(a);
  if (!zone) return zone.failure();
  auto scanned = scanFolder(a.arguments[0]);
  if (!scanned) return scanned.failure();
  auto target = findObject(**scanned, a.arguments[1], "Tables", a.arguments[2], "table");
  if (!target) return target.failure();
  const RecoverySession& s = (*scanned)->session;
  const TableEntry& entry = s.tables[target->index];
  const std::string folder = s.databaseFolders[size_t(entry.databaseIndex)];
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  auto def = TableRows::readDefinition(folder, entry.name, catalogue);
  if (!def) return def.failure();
  if (a.has("--sql")) {
    StoredFacts facts = storedFacts(s, entry, *def, catalogue, err);
    const Status counterFits = facts.autoIncrement ? checkAutoIncrement(*def, *facts.autoIncrement) : Status(Ok{});
    if (!counterFits) facts.autoIncrement.reset();
    auto statement = createTableStatement(objectNameFromFileName(entry.name), *def, catalogue, facts.autoIncrement,
                                          *zone, facts.keyBlockSizes);
    if (!statement) return statement.failure();
    out << *statement << ";\n";
    if (!counterFits) return counterFits;
    return Ok{};
  }
  printTsvRow(kStructureHeadings, out);
  for (const StructureRow& row : structureRows(*def, catalogue)) printTsvRow(row, out);
  return Ok{};
}

Failure pastTheLastPage(uint64_t page, uint64_t pages) {
  return missing("page " + std::to_string(page) + " is past the last page of rows (" + std::to_string(pages) + ")");
}

// Page `wanted` (from 1) of a table: the pages before it are walked without
// their rows being written; what they passed over is reported all the same.
Result<WalkEnd> readPageNumber(RowSource& rows, uint64_t wanted, const RowSink& sink, const ReadOptions& read) {
  WalkEnd walked;
  PageStart start = rows.firstPage();
  std::set<std::pair<int64_t, int64_t>> starts;  // a chain of pages that loops comes back to one
  for (uint64_t page = 1;; ++page) {
    if (!starts.insert({start.page, start.position}).second) {
      walked.stop = damaged("the pages of the table loop");
      return walked;
    }
    const WalkEnd end = rows.read(start, kRowsPerPage, page == wanted ? sink : RowSink([](const RowValues&) {}), read);
    walked.passedOver.merge(end.passedOver);
    walked.stop = end.stop;
    if (end.stoppedEarly() || (page == wanted && (page == 1 || end.rows > 0))) return walked;
    if (page == wanted || end.atEnd) return pastTheLastPage(wanted, end.rows > 0 ? page : page - 1);
    start = end.next;
  }
}

// The wanted rows of a table, each written by `writeRow`. What the walk
// passed over, and why it stopped early if it did, is told on stderr after
// the rows, and makes the command's result a failure.
Status writeRowPages(TableRows& table, const RowsOptions& options, const RowSink& writeRow,
                     const DamageReport& valueDamage, std::ostream& out, std::ostream& err) {
  const ReadOptions read{options.full || options.format == Format::Sql, options.deleted};
  Result<WalkEnd> walked = options.page == 0 ? Result<WalkEnd>(readAllRows(table.rows(), writeRow, read))
                                             : readPageNumber(table.rows(), options.page, writeRow, read);
  out.flush();
  if (!walked) return walked.failure();
  walked->passedOver.merge(valueDamage);
  std::vector<std::string> losses = walked->passedOver.lines();
  if (walked->stoppedEarly()) losses.push_back(walked->stop->reason);
  if (losses.empty()) return Ok{};
  for (size_t i = 0; i + 1 < losses.size(); ++i) err << kProgram << ": " << printable(losses[i]) << '\n';
  return damaged(losses.back());
}

Status rowsCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  auto zone = timeZoneOption(a);
  if (!zone) return zone.failure();
  const RowsOptions options = rowsOptions(a, std::move(*zone));
  auto scanned = scanFolder(a.arguments[0]);
  if (!scanned) return scanned.failure();
  auto target = findObject(**scanned, a.arguments[1], "Tables", a.arguments[2], "table");
  if (!target) return target.failure();
  const RecoverySession& s = (*scanned)->session;
  const TableEntry& entry = s.tables[target->index];
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  SystemTablespaceSource system(s, options.ibdata, catalogue, err);
  if (Status named = system.checkNamed(); !named) return named;
  auto rows = TableRows::open(s.databaseFolders[size_t(entry.databaseIndex)], entry.name, catalogue, std::ref(system));
  if (!rows) {
    Failure failure = rows.failure();
    if (!system.problem().empty()) failure.reason += " (" + system.problem() + ")";
    return failure;
  }
  TableRows& table = **rows;
  // SQL statements carry every value in full.
  const bool full = options.full || options.format == Format::Sql;
  ValueRenderer renderer(table.definition(), catalogue, TextForm{full, full ? 0 : table.largeValueLimit(), options.zone});
  std::string line;
  std::vector<std::string> names;
  for (size_t i : renderer.columns()) names.push_back(table.definition().columns[i].name);
  if (options.format == Format::Sql) {
    SqlInsertWriter writer(objectNameFromFileName(entry.name), names, renderer.columns(), options.zone);
    if (Status named = writer.checkNames(); !named) return named;
    out << writer.preamble();
    Status written = writeRowPages(table, options, [&](const RowValues& row) {
      line.clear();
      writer.addRow(line, renderer.decode(row), renderer.decoder());
      out << line;
    }, renderer.implausibleValues(), out, err);
    line.clear();
    writer.finish(line);
    out << line;
    return written;
  }
  appendLine(line, names, options.format);
  out << line;
  return writeRowPages(table, options, [&](const RowValues& row) {
    line.clear();
    renderer.renderEach(row, [&](size_t i, std::string_view cell) { appendCell(line, i, cell, options.format); });
    line += options.format == Format::Tsv ? "\n" : "\r\n";
    out << line;
  }, renderer.implausibleValues(), out, err);
}

// An Open of `folder` in a session without a window.
struct HeadlessSession {
  HeadlessUi ui;
  CollationCatalogue catalogue;
  std::unique_ptr<SessionController> controller;
};

Status openHeadless(HeadlessSession& h, const std::string& folder, const std::string& logFolder) {
  if (!h.controller) h.controller = std::make_unique<SessionController>(h.ui, h.catalogue);
  h.controller->start();
  ScanSettings settings = initialScanSettings();
  settings.databasePath = folder;
  if (!logFolder.empty()) settings.logFolder = logFolder;
  h.ui.answerSettings(settings);  // then the dialog is cancelled: a refusal ends the Open
  h.controller->onOpen();
  h.controller->waitForScan();
  if (h.controller->session().dataPath.empty()) {
    const auto messages = h.ui.messages();
    if (messages.empty()) return damaged("the folder " + folder + " was not scanned");
    // The window's message, and on the command line the folder it is about.
    return damaged(messages.back() + " (" + folder + ")");
  }
  return Ok{};
}

Status scanCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  HeadlessSession h;
  h.catalogue = loadCatalogue(exeFolder, err);
  const std::string logFolder = a.has("--log-folder") ? a.options.at("--log-folder") : "";
  if (Status opened = openHeadless(h, absoluteFolder(a.arguments[0]), logFolder); !opened) {
    return opened;
  }
  for (const std::string& line : h.ui.outputLines()) out << line << '\n';
  err << kProgram << ": the scan log is " << h.controller->logFilePath() << '\n';
  return h.controller->logWritten();
}

// A folder of the system's temporary folder, removed with what it holds.
class TemporaryFolder {
 public:
  static Result<std::unique_ptr<TemporaryFolder>> make(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string parent = tmp && *tmp ? tmp : "/tmp";
    std::string path = joinPath(parent, prefix + "XXXXXX");
    if (!::mkdtemp(path.data())) return openFailure("cannot make a temporary folder in " + parent, errno);
    return std::unique_ptr<TemporaryFolder>(new TemporaryFolder(path));
  }
  ~TemporaryFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  explicit TemporaryFolder(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

// Turns the pages of the clicked table up to page `page`, as a person presses
// Next; fails when the table has fewer pages.
Status turnToPage(HeadlessSession& h, uint64_t page) {
  for (uint64_t p = 1; p < page; ++p) {
    if (!h.ui.nextEnabled()) return pastTheLastPage(page, p);
    h.controller->onNextPage();
    if (h.ui.gridRows().empty()) return pastTheLastPage(page, p);
  }
  return Ok{};
}

Status exportCsvCommand(const Invocation& a, const std::string& exeFolder, std::ostream& err) {
  const std::string& target = a.arguments[3];
  auto zone = timeZoneOption(a);
  if (!zone) return zone.failure();
  if (pathExists(target) && !a.has("--force")) return ioFailure(target + " exists; --force replaces it");
  auto scanned = scanFolder(a.arguments[0]);
  if (!scanned) return scanned.failure();
  auto database = findDatabase(**scanned, a.arguments[1]);
  if (!database) return database.failure();
  if (auto table = findObject(**scanned, a.arguments[1], "Tables", a.arguments[2], "table"); !table) {
    return table.failure();
  }
  HeadlessSession h;
  h.catalogue = loadCatalogue(exeFolder, err);
  // The scan log of this run is of no use afterwards.
  auto logs = TemporaryFolder::make("tavrin-export-");
  if (!logs) return logs.failure();
  h.controller = std::make_unique<SessionController>(h.ui, h.catalogue);
  h.controller->setTimeZone(std::move(*zone));
  if (Status opened = openHeadless(h, *database, (*logs)->path()); !opened) return opened;
  // The log stays open for writing; its folder goes now, so that nothing is
  // left behind however this run ends.
  ::unlink(h.controller->logFilePath().c_str());
  ::rmdir((*logs)->path().c_str());
  const RecoverySession& s = h.controller->session();
  const ObjectTree& tree = s.tree;
  const NodeId dataFolder = tree.node(tree.roots().front()).children.front();
  const NodeId tables = tree.findChild(tree.node(dataFolder).children.front(), "Tables");
  const NodeId table = tables == kNoNode ? kNoNode : tree.findChild(tables, a.arguments[2]);
  if (table == kNoNode) return missing("no table " + a.arguments[2] + " in database " + a.arguments[1]);
  h.ui.select(table);
  h.controller->onNodeClicked(table);
  if (Status turned = turnToPage(h, a.has("--page") ? std::stoull(a.options.at("--page")) : 1); !turned) {
    return turned;
  }
  h.ui.clearCalls();
  h.ui.answerSaveFile(target);
  h.controller->onExportCsv();
  const auto messages = h.ui.messages();
  if (messages.empty() || messages.back() != texts::kFileSaved) {
    return ioFailure(messages.empty() ? "nothing was exported" : messages.back());
  }
  return Ok{};
}

// A headless save options dialog: its messages are the command's output.
class CommandLineSaveUi : public SaveOptionsUi {
 public:
  void showFields(const SaveDialogFields&) override {}
  void message(const std::string& text) override { messages.push_back(text); }
  std::optional<std::string> chooseFolder(const std::string&) override { return std::nullopt; }
  void close(bool) override {}
  std::vector<std::string> messages;
};

Status testConnectionCommand(const Invocation& a, std::ostream& out) {
  auto password = serverPassword(a);
  if (!password) return password.failure();
  CommandLineSaveUi ui;
  SaveOptionsController dialog(ui, testMariadbConnection);
  dialog.show();
  ServerAddress address = dialog.fields().server;
  if (a.has("--server")) address.server = a.options.at("--server");
  if (a.has("--port")) address.port = a.options.at("--port");
  if (a.has("--socket")) address.socket = a.options.at("--socket");
  address.user = a.options.at("--user");
  address.password = *password;
  dialog.editServer(address);
  const bool passed = dialog.testConnection();
  const std::string said = ui.messages.empty() ? "" : ui.messages.back();
  if (!passed) return ioFailure(said);
  out << said << '\n';
  return Ok{};
}

std::string userOptionProblem(const Invocation& a) { return a.has("--user") ? "" : "--user is needed"; }

// A command of the command line: its arguments, its options and what it does.
struct Command {
  size_t arguments;  // at least these; as many as `moreArguments` allows beyond
  const char* usage;
  std::vector<std::string> flags;        // options without a value
  std::vector<std::string> valueOptions;  // options followed by a value
  std::function<Status(const Invocation&)> action;
  std::function<std::string(const Invocation&)> optionProblem = [](const Invocation&) { return std::string(); };
  size_t moreArguments = 0;
};

std::map<std::string, Command> commandTable(const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  return {
      {"list", {1, "list FOLDER", {}, {}, [&](auto& a) { return listCommand(a.arguments, out, err); }}},
      {"structure", {3, "structure FOLDER DATABASE TABLE [--sql] [--time-zone ZONE]", {"--sql"}, {"--time-zone"},
                     [&](auto& a) { return structureCommand(a, exeFolder, out, err); }}},
      {"view", {3, "view FOLDER DATABASE VIEW", {}, {}, [&](auto& a) { return viewCommand(a.arguments, out); }}},
      {"trigger", {3, "trigger FOLDER DATABASE TABLE", {}, {},
                   [&](auto& a) { return triggerCommand(a.arguments, out); }}},
      {"scan", {1, "scan FOLDER [--log-folder DIR]", {}, {"--log-folder"},
                [&](auto& a) { return scanCommand(a, exeFolder, out, err); }}},
      {"export-csv", {4, "export-csv FOLDER DATABASE TABLE OUT.csv [--page N] [--force] [--time-zone ZONE]", {"--force"},
                      {"--page", "--time-zone"},
                      [&](auto& a) { return exportCsvCommand(a, exeFolder, err); }, pageOptionProblem}},
      {"rows", {3, "rows FOLDER DATABASE TABLE [--page N | --all] [--full] [--deleted] [--format tsv|csv|sql] "
                   "[--ibdata FILE] [--time-zone ZONE]",
                {"--all", "--full", "--deleted"}, {"--page", "--format", "--ibdata", "--time-zone"},
                [&](auto& a) { return rowsCommand(a, exeFolder, out, err); }, rowsOptionProblem}},
      {"test-connection", {0, "test-connection [--server HOST] [--port N] [--socket PATH] --user USER "
                              "[--password-file FILE]",
                           {}, {"--server", "--port", "--socket", "--user", "--password-file"},
                           [&](auto& a) { return testConnectionCommand(a, out); }, userOptionProblem}},
      {"check", {1, "check FOLDER [DATABASE [TABLE]] [--ibdata FILE]", {}, {"--ibdata"},
                 [&](auto& a) { return checkCommand(a, exeFolder, out, err); }, [](const Invocation&) {
                   return std::string();
                 }, 2}},
      {"save", {1, "save FOLDER [DATABASE [OBJECT...]] (--script DIR [--force] | --server HOST [--port N] "
                   "[--socket PATH] --user USER [--password-file FILE]) [--replace] [--ibdata FILE]",
                {"--force", "--replace"},
                {"--script", "--server", "--port", "--socket", "--user", "--password-file", "--ibdata"},
                [&](auto& a) { return saveCommand(a, exeFolder, out, err); }, saveOptionProblem, SIZE_MAX - 1}},
  };
}

// The arguments and options of a command line, or what is wrong with it.
std::string parseInvocation(const Command& c, const std::vector<std::string>& args, Invocation& invocation) {
  auto named = [](const std::vector<std::string>& list, const std::string& a) {
    return std::find(list.begin(), list.end(), a) != list.end();
  };
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (named(c.flags, a)) {
      invocation.options[a] = "";
    } else if (named(c.valueOptions, a)) {
      if (i + 1 == args.size()) return a + " needs a value";
      invocation.options[a] = args[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option " + a;
    } else {
      invocation.arguments.push_back(a);
    }
  }
  if (invocation.arguments.size() < c.arguments || invocation.arguments.size() > c.arguments + c.moreArguments) {
    return "wrong number of arguments";
  }
  return c.optionProblem(invocation);
}

}  // namespace

int run(const std::vector<std::string>& args, const std::string& executableFolder, std::ostream& out,
        std::ostream& err) {
  if (args.empty()) {
    err << kProgram << ": a command is needed (see " << kProgram << " --help)\n";
    return kUsage;
  }
  const std::string& command = args[0];
  const bool helpAsked = std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
  if (helpAsked || command == "help") {
    out << kHelp;
    return kOk;
  }
  const std::map<std::string, Command> commands = commandTable(executableFolder, out, err);
  auto it = commands.find(command);
  if (it == commands.end()) {
    err << kProgram << ": unknown command " << command << " (see " << kProgram << " --help)\n";
    return kUsage;
  }
  Invocation invocation;
  if (const std::string wrong = parseInvocation(it->second, args, invocation); !wrong.empty()) {
    err << kProgram << ": " << wrong << "; usage: " << kProgram << ' ' << it->second.usage << '\n';
    return kUsage;
  }
  const Status status = it->second.action(invocation);
  if (!status) {
    err << kProgram << ": " << printable(status.reason()) << '\n';
    return kFailed;
  }
  return kOk;
}

}  // namespace tavrin::cli
