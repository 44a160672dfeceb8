#include "cli/commands.h"

#include "cli/check_command.h"
#include "cli/command_support.h"
#include "cli/lost_command.h"
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
#include "base/output_file.h"
#include "base/path.h"
#include "base/text.h"
#include "export/delimited.h"
#include "export/grid_csv.h"
#include "export/mariadb_link.h"
#include "session/headless_ui.h"
#include "session/save_options.h"
#include "session/session_controller.h"
#include "session/structure_view.h"
#include "session/table_output.h"
#include "session/texts.h"
#include "tabledef/collation_catalogue.h"

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
  tavrin-recover lost SOURCE [--definitions FILE.sql [--read SPACE:INDEX [--deleted]
                 [--format tsv|csv|sql]]]
      The InnoDB indexes whose pages SOURCE holds: a file of any kind (a disk
      image, a partition, a carved file, a tablespace) scanned at every 512
      bytes for index pages of 4 to 64 KiB whose checksum is sound, or a
      folder's ibdata1 and .ibd files. One line per index with leaf pages:
      the file, its tablespace and index ids, its pages, leaves and records,
      and with --definitions the table whose CREATE TABLE fits its records.
      A page found twice counts once, the newer kept. --read SPACE:INDEX
      writes the rows of that index as rows --all --full does, read by the
      CREATE TABLE that fits it, their TIMESTAMP values in UTC.
  tavrin-recover --help
      This text.

FOLDER is one database folder, or a data folder whose sub-folders are the
databases (as the server keeps them). DATABASE, TABLE and VIEW are names as
"list" shows them: as the server names them, not as their files are named.
COMMAND --help shows this text too.

Every command that reads tables (list, structure, rows, check, save) takes
  --definitions FILE.sql [--definitions-first]
      The CREATE TABLE statements of FILE (a dump, a schema file, SHOW CREATE
      TABLE texts) define the tables whose .frm is gone, matched by name; with
      --definitions-first also the tables whose .frm is there. A definition
      that does not fit the table's pages is refused with where it does not.

Exit status: 0 on success, 1 when the folder, the object or a file cannot be
found or read (the reason is printed on stderr), 2 for a wrong command line.
)";

void printTsvRow(const StructureRow& row, std::ostream& out) {
  std::string line;
  for (size_t i = 0; i < row.size(); ++i) {
    if (i) line.push_back('\t');
    appendTsvField(line, row[i]);
  }
  out << line << '\n';
}

void printTree(const ObjectTree& tree, NodeId node, int depth, std::ostream& out) {
  out << std::string(size_t(depth) * 2, ' ') << printable(tree.node(node).label) << '\n';
  for (NodeId child : tree.node(node).children) printTree(tree, child, depth + 1, out);
}

// What the walk passed over and why it stopped early, on stderr after the
// rows; the last line is the command's failure.
Status reportLosses(WalkEnd walked, std::ostream& err) {
  std::vector<std::string> losses = walked.passedOver.lines();
  if (walked.stoppedEarly()) losses.push_back(walked.stop->reason);
  if (losses.empty()) return Ok{};
  for (size_t i = 0; i + 1 < losses.size(); ++i) err << kProgram << ": " << printable(losses[i]) << '\n';
  return damaged(losses.back());
}

Status listCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  auto recovery = openFolder(a, catalogue);
  if (!recovery) return recovery.failure();
  const ObjectTree& tree = (*recovery)->session().tree;
  for (NodeId root : tree.roots()) printTree(tree, root, 0, out);
  warnOf(**recovery, err);
  for (size_t t = 0; t < (*recovery)->session().tables.size(); ++t) {
    noteDefinedBy(**recovery, NodeTarget{NodeTarget::Kind::Table, t}, err);
  }
  warnPassedOver(**recovery, err);
  const size_t passed = (*recovery)->passedOver().size();
  if (passed) return damaged(std::to_string(passed) + (passed == 1 ? " file was" : " files were") + " passed over");
  return Ok{};
}

Status viewCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  auto recovery = openFolder(a, catalogue);
  if (!recovery) return recovery.failure();
  auto target = (*recovery)->findObject(a.arguments[1], "Views", a.arguments[2], "view");
  if (!target) return target.failure();
  auto text = (*recovery)->viewText(*target);
  if (!text) return text.failure();
  out << *text << '\n';
  return Ok{};
}

Status triggerCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  auto recovery = openFolder(a, catalogue);
  if (!recovery) return recovery.failure();
  auto target = (*recovery)->findObject(a.arguments[1], "Trigger", a.arguments[2], "trigger file of table");
  if (!target) return target.failure();
  auto text = (*recovery)->triggerText(*target);
  if (!text) return text.failure();
  out << *text;
  return Ok{};
}

// The zone named by --time-zone, else the local one.
Result<TimeZone> timeZoneOption(const Invocation& a) {
  if (!a.has("--time-zone")) return TimeZone::local();
  auto zone = TimeZone::named(a.option("--time-zone"));
  if (!zone) return zone.failure().prefixed("--time-zone: ");
  return zone;
}

RowsRequest rowsRequest(const Invocation& a, TimeZone zone) {
  RowsRequest r;
  r.zone = std::move(zone);
  if (a.has("--all")) r.page = 0;
  if (a.has("--page")) r.page = std::stoull(a.option("--page"));
  r.full = a.has("--full");
  r.deleted = a.has("--deleted");
  if (a.has("--format") && a.option("--format") == "csv") r.format = RowFormat::Csv;
  if (a.has("--format") && a.option("--format") == "sql") r.format = RowFormat::Sql;
  return r;
}

Status checkPageOption(const Invocation& a) {
  if (a.has("--page")) {
    const std::string& page = a.option("--page");
    if (page.empty() || page.size() > 15 || page.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(page) == 0) {
      return damaged("--page needs a page number from 1");
    }
  }
  return Ok{};
}

Status checkRowsOptions(const Invocation& a) {
  if (a.has("--all") && a.has("--page")) return damaged("--page and --all exclude each other");
  if (Status definitions = checkDefinitionsOptions(a); !definitions) return definitions;
  if (Status page = checkPageOption(a); !page) return page;
  if (a.has("--format")) {
    const std::string& format = a.option("--format");
    if (format != "tsv" && format != "csv" && format != "sql") return damaged("--format is tsv, csv or sql");
  }
  return Ok{};
}

// The columns of a table, or with --sql its CREATE TABLE statement.
Status structureCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  auto zone = timeZoneOption(a);
  if (!zone) return zone.failure();
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  auto recovery = openFolder(a, catalogue);
  if (!recovery) return recovery.failure();
  auto target = (*recovery)->findObject(a.arguments[1], "Tables", a.arguments[2], "table");
  if (!target) return target.failure();
  noteDefinedBy(**recovery, *target, err);
  if (!a.has("--sql")) {
    auto def = (*recovery)->definition(*target);
    if (!def) return def.failure();
    printTsvRow(kStructureHeadings, out);
    for (const StructureRow& row : (*recovery)->structure(*def)) printTsvRow(row, out);
    return Ok{};
  }
  auto statement = (*recovery)->createTable(*target, *zone);
  warnOf(**recovery, err);
  if (!statement) return statement.failure();
  if (statement->noCounter) err << kProgram << ": warning: " << printable(statement->noCounter->reason) << '\n';
  out << statement->text << ";\n";
  if (statement->counterLeftOut) return *statement->counterLeftOut;
  return Ok{};
}

Status rowsCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  auto zone = timeZoneOption(a);
  if (!zone) return zone.failure();
  const RowsRequest request = rowsRequest(a, std::move(*zone));
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  auto recovery = openFolder(a, catalogue);
  if (!recovery) return recovery.failure();
  auto target = (*recovery)->findObject(a.arguments[1], "Tables", a.arguments[2], "table");
  if (!target) return target.failure();
  noteDefinedBy(**recovery, *target, err);
  auto table = (*recovery)->openTable(*target);
  warnOf(**recovery, err);
  if (!table) return table.failure();
  auto walked = writeRows(**table, (*recovery)->nameOf(*target), catalogue, request,
                          [&](std::string_view text) { out << text; });
  out.flush();
  if (!walked) return walked.failure();
  return reportLosses(std::move(*walked), err);
}

Status scanCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  HeadlessUi ui;
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  SessionController controller(ui, catalogue);
  controller.start();
  ScanSettings settings = initialScanSettings();
  settings.databasePath = absoluteFolder(a.arguments[0]);
  if (a.has("--log-folder")) settings.logFolder = a.option("--log-folder");
  // The window's refusal, and on the command line the folder it is about.
  if (Status opened = controller.open(settings); !opened) return damaged(opened.reason() + " (" + settings.databasePath + ")");
  controller.waitForScan();
  for (const std::string& line : ui.outputLines()) out << line << '\n';
  err << kProgram << ": the scan log is " << controller.logFilePath() << '\n';
  return controller.logWritten();
}

// Page N of a table as the grid shows it, in a CSV file.
Status exportCsvCommand(const Invocation& a, const std::string& exeFolder, std::ostream& err) {
  const std::string& target = a.arguments[3];
  auto zone = timeZoneOption(a);
  if (!zone) return zone.failure();
  if (pathExists(target) && !a.has("--force")) return ioFailure(target + " exists; --force replaces it");
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  auto recovery = openFolder(a, catalogue);
  if (!recovery) return recovery.failure();
  auto table = (*recovery)->findObject(a.arguments[1], "Tables", a.arguments[2], "table");
  if (!table) return table.failure();
  if (Status refused = (*recovery)->mayWrite(target); !refused) return refused;
  auto rows = (*recovery)->openTable(*table);
  if (!rows) return rows.failure();
  WalkEnd walked;
  auto page = gridPageNumber(**rows, catalogue, a.has("--page") ? std::stoull(a.option("--page")) : 1, false, *zone,
                             walked);
  if (!page) return page.failure();
  if (Status written = writeFileAtomically(target, gridCsv(page->titles, page->rows)); !written) return written;
  return reportLosses(std::move(walked), err);
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

Status checkUserOption(const Invocation& a) { return a.has("--user") ? Status(Ok{}) : Status(damaged("--user is needed")); }

// A command of the command line: its arguments, its options and what it does.
struct Command {
  size_t arguments;  // at least these; as many as `moreArguments` allows beyond
  std::string usage;
  std::vector<std::string> flags;        // options without a value
  std::vector<std::string> valueOptions;  // options followed by a value
  std::function<Status(const Invocation&)> action;
  // Whether the options go together; a failure is a wrong command line.
  std::function<Status(const Invocation&)> checkOptions = [](const Invocation&) { return Status(Ok{}); };
  size_t moreArguments = 0;
};

std::map<std::string, Command> commandTable(const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  return {
      {"list", {1, "list FOLDER" + kDefinitionsUsage, {kDefinitionsFirst}, {kDefinitions},
                [&](auto& a) { return listCommand(a, exeFolder, out, err); }, checkDefinitionsOptions}},
      {"structure", {3, "structure FOLDER DATABASE TABLE [--sql] [--time-zone ZONE]" + kDefinitionsUsage,
                     {"--sql", kDefinitionsFirst}, {"--time-zone", kDefinitions},
                     [&](auto& a) { return structureCommand(a, exeFolder, out, err); }, checkDefinitionsOptions}},
      {"view", {3, "view FOLDER DATABASE VIEW", {}, {}, [&](auto& a) { return viewCommand(a, exeFolder, out, err); }}},
      {"trigger", {3, "trigger FOLDER DATABASE TABLE", {}, {},
                   [&](auto& a) { return triggerCommand(a, exeFolder, out, err); }}},
      {"scan", {1, "scan FOLDER [--log-folder DIR]", {}, {"--log-folder"},
                [&](auto& a) { return scanCommand(a, exeFolder, out, err); }}},
      {"export-csv", {4, "export-csv FOLDER DATABASE TABLE OUT.csv [--page N] [--force] [--time-zone ZONE]", {"--force"},
                      {"--page", "--time-zone"},
                      [&](auto& a) { return exportCsvCommand(a, exeFolder, err); }, checkPageOption}},
      {"rows", {3, "rows FOLDER DATABASE TABLE [--page N | --all] [--full] [--deleted] [--format tsv|csv|sql] "
                   "[--ibdata FILE] [--time-zone ZONE]" + kDefinitionsUsage,
                {"--all", "--full", "--deleted", kDefinitionsFirst}, {"--page", "--format", "--ibdata", "--time-zone", kDefinitions},
                [&](auto& a) { return rowsCommand(a, exeFolder, out, err); }, checkRowsOptions}},
      {"test-connection", {0, "test-connection [--server HOST] [--port N] [--socket PATH] --user USER "
                              "[--password-file FILE]",
                           {}, {"--server", "--port", "--socket", "--user", "--password-file"},
                           [&](auto& a) { return testConnectionCommand(a, out); }, checkUserOption}},
      {"lost", {1, "lost SOURCE [--definitions FILE.sql [--read SPACE:INDEX [--deleted] [--format tsv|csv|sql]]]",
                {"--deleted"}, {kDefinitions, "--read", "--format"},
                [&](auto& a) { return lostCommand(a, exeFolder, out, err); }}},
      {"check", {1, "check FOLDER [DATABASE [TABLE]] [--ibdata FILE]" + kDefinitionsUsage, {kDefinitionsFirst},
                 {"--ibdata", kDefinitions}, [&](auto& a) { return checkCommand(a, exeFolder, out, err); },
                 checkDefinitionsOptions, 2}},
      {"save", {1, "save FOLDER [DATABASE [OBJECT...]] (--script DIR [--force] | --server HOST [--port N] "
                   "[--socket PATH] --user USER [--password-file FILE]) [--replace] [--ibdata FILE]" + kDefinitionsUsage,
                {"--force", "--replace", kDefinitionsFirst},
                {"--script", "--server", "--port", "--socket", "--user", "--password-file", "--ibdata", kDefinitions},
                [&](auto& a) { return saveCommand(a, exeFolder, out, err); }, checkSaveOptions, SIZE_MAX - 1}},
  };
}

// The arguments and options of a command line, or what is wrong with it.
Status parseInvocation(const Command& c, const std::vector<std::string>& args, Invocation& invocation) {
  auto named = [](const std::vector<std::string>& list, const std::string& a) {
    return std::find(list.begin(), list.end(), a) != list.end();
  };
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (named(c.flags, a)) {
      invocation.options[a] = "";
    } else if (named(c.valueOptions, a)) {
      if (i + 1 == args.size()) return damaged(a + " needs a value");
      invocation.options[a] = args[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      return damaged("unknown option " + a);
    } else {
      invocation.arguments.push_back(a);
    }
  }
  if (invocation.arguments.size() < c.arguments || invocation.arguments.size() > c.arguments + c.moreArguments) {
    return damaged("wrong number of arguments");
  }
  return c.checkOptions(invocation);
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
  if (const Status wrong = parseInvocation(it->second, args, invocation); !wrong) {
    err << kProgram << ": " << wrong.reason() << "; usage: " << kProgram << ' ' << it->second.usage << '\n';
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
