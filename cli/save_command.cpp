#include "cli/save_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>

#include "base/output_file.h"
#include "base/path.h"
#include "base/text.h"
#include "export/mariadb_link.h"
#include "session/save_job.h"
#include "tabledef/definition_file.h"

namespace tavrin::cli {

namespace {

// Set by Ctrl-C or a termination request; the save stops between statements
// and writes no script cut short.
std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int) { stopRequested.store(true); }

constexpr const char* kSystemSchemas[] = {"mysql", "performance_schema", "sys"};

bool isSystemSchema(const std::string& name) {
  return std::find(std::begin(kSystemSchemas), std::end(kSystemSchemas), name) != std::end(kSystemSchemas);
}

// A table named on the command line brings its triggers with it.
void addTableWithTriggers(const RecoverySession& s, size_t table, std::vector<NodeTarget>& objects) {
  objects.push_back({NodeTarget::Kind::Table, table});
  const std::string& folder = s.databaseFolders[size_t(s.tables[table].databaseIndex)];
  for (size_t t = 0; t < s.triggers.size(); ++t) {
    const TriggerEntry& trigger = s.triggers[t];
    const std::string stem = trigger.fileName.substr(0, trigger.fileName.rfind('.'));
    if (trigger.folderPath == folder && stem == s.tables[table].name) objects.push_back({NodeTarget::Kind::Trigger, t});
  }
}

void addDatabase(const RecoverySession& s, size_t database, SaveRequest& request) {
  request.databases.push_back(database);
  for (const NodeTarget& o : objectsOfDatabase(s, database)) request.objects.push_back(o);
}

// Every database but the system schemas; one database whole; or the named
// tables and views of one.
Status selectObjects(const Recovery& recovery, const std::vector<std::string>& args, SaveRequest& request) {
  const RecoverySession& s = recovery.session();
  if (args.size() == 1) {
    for (size_t d = 0; d < s.databaseFolders.size(); ++d) {
      if (!isSystemSchema(objectNameFromFileName(lastComponent(s.databaseFolders[d])))) addDatabase(s, d, request);
    }
    return Ok{};
  }
  auto database = recovery.findDatabase(args[1]);
  if (!database) return database.failure();
  if (args.size() == 2) {
    addDatabase(s, *database, request);
    return Ok{};
  }
  for (size_t i = 2; i < args.size(); ++i) {
    auto table = recovery.findObject(args[1], "Tables", args[i], "table");
    if (table) {
      addTableWithTriggers(s, table->index, request.objects);
      continue;
    }
    auto view = recovery.findObject(args[1], "Views", args[i], "view");
    if (!view) return missing("no table or view " + args[i] + " in database " + args[1]);
    request.objects.push_back(*view);
  }
  return Ok{};
}

// The script files that would be replaced, refused before anything is
// written unless --force is given.
Status checkScriptFolder(const Invocation& a, const RecoverySession& s, const SaveRequest& request) {
  const std::string& folder = a.options.at("--script");
  if (!isDirectory(folder)) return missing("--script: " + folder + " is not a folder");
  if (liesWithin(joinPath(folder, "x.sql"), s.dataPath)) {
    return ioFailure("--script: " + folder + " lies in the folder being read, and nothing is written there");
  }
  if (a.has("--force")) return Ok{};
  std::vector<std::string> folders;
  for (size_t d : request.databases) folders.push_back(s.databaseFolders[d]);
  for (const NodeTarget& o : request.objects) folders.push_back(databaseFolderOf(s, o));
  for (const std::string& databaseFolder : folders) {
    if (databaseFolder.empty()) continue;
    const std::string path = scriptPathOf(folder, objectNameFromFileName(lastComponent(databaseFolder)), databaseFolder);
    if (pathExists(path)) return ioFailure(path + " exists already; --force replaces it");
  }
  return Ok{};
}

Result<ServerAddress> serverAddress(const Invocation& a) {
  auto password = serverPassword(a);
  if (!password) return password.failure();
  ServerAddress address;
  address.server = a.has("--server") ? a.options.at("--server") : "localhost";
  address.port = a.has("--port") ? a.options.at("--port") : "3306";
  if (a.has("--socket")) address.socket = a.options.at("--socket");
  address.user = a.options.at("--user");
  address.password = *password;
  return address;
}

// At most one line every two seconds: long saves show that they move.
class ProgressLines {
 public:
  explicit ProgressLines(std::ostream& err) : err_(err) {}
  void operator()(const SaveProgress& p) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::seconds(2)) return;
    last_ = now;
    err_ << kProgram << ": saving " << printable(p.database + "." + p.table) << ": " << p.tableRows << " rows ("
         << p.totalRows << " in all)\n";
  }

 private:
  std::ostream& err_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

Result<SaveRequest> saveRequest(const Invocation& a, const Recovery& recovery) {
  SaveRequest request;
  if (Status selected = selectObjects(recovery, a.arguments, request); !selected) return selected.failure();
  request.replace = a.has("--replace");
  if (a.has("--script")) {
    if (Status checked = checkScriptFolder(a, recovery.session(), request); !checked) return checked.failure();
    request.scriptFolder = a.options.at("--script");
    request.force = a.has("--force");
    return request;
  }
  auto address = serverAddress(a);
  if (!address) return address.failure();
  request.mode = SaveRequest::Mode::Server;
  request.address = std::move(*address);
  request.connect = connectMariadb;
  // Said once here, rather than once per database.
  auto connection = connectMariadb(request.address);
  if (!connection) return connection.failure().prefixed("cannot connect to " + request.address.server + ": ");
  return request;
}

}  // namespace

Status checkSaveOptions(const Invocation& a) {
  if (Status definitions = checkDefinitionsOptions(a); !definitions) return definitions;
  const bool server = a.has("--server") || a.has("--socket");
  if (a.has("--script") == server) return damaged("give either --script DIR or --server HOST");
  if (server && !a.has("--user")) return damaged("--user is needed");
  if (!server && (a.has("--user") || a.has("--port") || a.has("--password-file"))) {
    return damaged("--user, --port and --password-file go with --server");
  }
  if (server && a.has("--force")) return damaged("--force goes with --script");
  if (a.has("--port")) {
    const std::string& port = a.option("--port");
    const bool digits = !port.empty() && port.size() <= 5 && std::all_of(port.begin(), port.end(), ::isdigit);
    if (!digits || std::stoul(port) < 1 || std::stoul(port) > 65535) {
      return damaged("--port must be a number from 1 to 65535");
    }
  }
  return Ok{};
}

Status saveCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  auto recovery = openFolder(a, catalogue);
  if (!recovery) return recovery.failure();
  warnPassedOver(**recovery, err);
  auto request = saveRequest(a, **recovery);
  if (!request) return request.failure();
  if (request->objects.empty() && request->databases.empty()) return missing("nothing to save in " + a.arguments[0]);
  std::signal(SIGINT, requestStop);
  std::signal(SIGTERM, requestStop);
  const SaveReport report = (*recovery)->save(*request, stopRequested, ProgressLines(err));
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  warnOf(**recovery, err);
  size_t notSaved = 0;
  for (const SavedObject& o : report.objects) {
    out << o.line() << '\n';
    if (o.outcome != SaveOutcome::Saved) ++notSaved;
  }
  out.flush();
  if (report.allSaved()) return Ok{};
  if (report.stopped) return ioFailure("the save was stopped");
  return damaged(std::to_string(notSaved) + " of " + std::to_string(report.objects.size()) +
                 " objects were not saved whole");
}

}  // namespace tavrin::cli
