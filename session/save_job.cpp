#include "session/save_job.h"

#include <algorithm>
#include <thread>

#include "base/file.h"
#include "base/path.h"
#include "base/text.h"
#include "export/create_table.h"
#include "export/sql_definitions.h"
#include "export/insert_pipeline.h"
#include "export/sql_script.h"
#include "render/value_renderer.h"
#include "render/value_text.h"
#include "session/table_rows.h"
#include "session/texts.h"
#include "tabledef/database_options.h"
#include "tabledef/definition_file.h"
#include "tabledef/field_layout.h"
#include "tabledef/sql_text.h"
#include "tabledef/trigger_definition.h"
#include "tabledef/view_definition.h"

namespace tavrin {

struct SaveJob::Database {
  std::string folder;
  std::string name;
  std::vector<size_t> tables, views, triggers;  // into the session's lists
  bool wanted = false;                          // made even when none of its objects is saved
};

struct SaveJob::TableWork {
  uint64_t sent = 0;            // rows in statements the target took
  std::string losses;           // what was passed over, for the report
};

namespace {

constexpr uint64_t kMaxDefinitionFileSize = 64u << 20;

std::string stemOf(const std::string& fileName) { return fileName.substr(0, fileName.rfind('.')); }

// The kind of the object named `name` on the server (BASE TABLE, VIEW...),
// or nothing when there is none.
Result<std::optional<std::string>> objectOnServer(ServerConnection& server, const std::string& database,
                                                  const std::string& name) {
  return server.firstValue("SELECT TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = " +
                           quotedLiteral(database) + " AND TABLE_NAME = " + quotedLiteral(name));
}

Result<bool> triggerOnServer(ServerConnection& server, const std::string& database, const std::string& name) {
  auto found = server.firstValue("SELECT 1 FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = " +
                                 quotedLiteral(database) + " AND TRIGGER_NAME = " + quotedLiteral(name));
  if (!found) return found.failure();
  return found->has_value();
}

// Where a target that already has the object leaves it: skipped, or
// dropped first when replacing. An empty result means go on.
std::optional<Status> clearWay(StatementTarget& target, ServerConnection* server, const std::string& database,
                               const std::string& name, bool replace, SavedObject& saved) {
  std::optional<std::string> kind;
  if (server) {
    auto found = objectOnServer(*server, database, name);
    if (!found) return found.failure();
    if (!found->has_value()) return std::nullopt;
    kind = **found;
    if (!replace) {
      saved.outcome = SaveOutcome::Skipped;
      saved.detail = texts::kExistsOnTarget;
      return Status(Ok{});
    }
  } else if (!replace) {
    return std::nullopt;
  }
  const bool view = kind ? *kind == "VIEW" : std::string_view(saved.kind) == "view";
  Status dropped = target.execute(std::string(view ? "DROP VIEW IF EXISTS " : "DROP TABLE IF EXISTS ") +
                                  quoteIdentifier(name));
  if (!dropped) return dropped;
  return std::nullopt;
}

// The order to make views in: each after the views it reads, where that
// can be; views that read each other in a circle keep their order.
std::vector<size_t> viewOrder(const std::vector<StoredView>& views, const std::vector<std::string>& names,
                              const std::string& database) {
  std::vector<std::vector<size_t>> reads;
  for (const StoredView& v : views) reads.push_back(viewsReadBy(v, database, names));
  std::vector<size_t> order;
  std::vector<bool> placed(views.size(), false);
  for (bool progress = true; progress;) {
    progress = false;
    for (size_t i = 0; i < views.size(); ++i) {
      if (placed[i]) continue;
      const bool ready = std::all_of(reads[i].begin(), reads[i].end(), [&](size_t r) { return placed[r] || r == i; });
      if (ready) {
        order.push_back(i);
        placed[i] = progress = true;
      }
    }
  }
  for (size_t i = 0; i < views.size(); ++i) {
    if (!placed[i]) order.push_back(i);
  }
  return order;
}

// The server refuses another account as definer to users without the
// privilege to name it; say what to do.
std::string withDefinerHint(const std::string& reason, bool namesDefiner) {
  if (!namesDefiner || (reason.find("SUPER") == std::string::npos && reason.find("SET USER") == std::string::npos)) {
    return reason;
  }
  return reason + texts::kDefinerRefused;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!line.empty()) text += (text.empty() ? "" : "; ") + line;
  }
  return text;
}

// What a table's walk passed over and rows saved without a value.
std::string lossesOf(const WalkEnd& end, uint64_t unreadable) {
  std::vector<std::string> lines = end.passedOver.lines();
  if (end.stoppedEarly()) lines.push_back(end.stop->reason);
  if (unreadable) lines.push_back(std::to_string(unreadable) + texts::kSavedWithoutValue);
  return joined(lines);
}

// A table made without its rows: a MEMORY table keeps none in files; the
// rows of other engines that are not read are lost to the save.
SavedObject withoutRows(SavedObject saved, const TableDefinition& definition, const std::string& reason) {
  saved.outcome = definition.engineCode == kEngineMemory ? SaveOutcome::Saved : SaveOutcome::SavedWithLosses;
  if (saved.outcome != SaveOutcome::Saved) saved.detail = texts::kRowsNotSaved + reason;
  return saved;
}

void markAll(std::vector<SavedObject>& saved, SaveOutcome from, SaveOutcome to, const std::string& detail) {
  for (SavedObject& s : saved) {
    if (s.outcome != from && !(from == SaveOutcome::Saved && s.outcome == SaveOutcome::SavedWithLosses)) continue;
    s.outcome = to;
    s.detail = detail;
  }
}

}  // namespace

std::string scriptPathOf(const std::string& scriptFolder, const std::string& database, const std::string& folder) {
  const bool plain = !database.empty() && database[0] != '.' && database.find('/') == std::string::npos;
  return joinPath(scriptFolder, (plain ? database : lastComponent(folder)) + ".sql");
}

std::string SavedObject::line() const {
  const std::string_view k(kind);
  const std::string where = k == "database" ? name : k == "file" ? database + "/" + name : database + "." + name;
  std::string text = std::string(kind) + " " + where + ": ";
  const std::string rowCount = std::string(kind) == "table" ? ", " + std::to_string(rows) + " rows" : "";
  switch (outcome) {
    case SaveOutcome::Saved: text += "saved" + rowCount; break;
    case SaveOutcome::SavedWithLosses: text += "saved" + rowCount + "; " + detail; break;
    case SaveOutcome::Skipped: text += "skipped: " + detail; break;
    case SaveOutcome::Failed: text += "failed: " + detail; break;
    case SaveOutcome::NotSaved: text += "not saved: " + detail; break;
  }
  return printable(text);
}

bool SaveReport::allSaved() const {
  return !stopped && std::all_of(objects.begin(), objects.end(),
                                 [](const SavedObject& o) { return o.outcome == SaveOutcome::Saved; });
}

SaveJob::SaveJob(const RecoverySession& session, const CollationCatalogue& catalogue,
                 std::function<InnodbSystem()> innodbSystem)
    : session_(session), catalogue_(catalogue), innodbSystemSource_(std::move(innodbSystem)) {}

std::vector<SaveJob::Database> SaveJob::databasesOf(const SaveRequest& request) const {
  std::vector<Database> databases(session_.databaseFolders.size());
  for (size_t i = 0; i < databases.size(); ++i) {
    databases[i].folder = session_.databaseFolders[i];
    databases[i].name = objectNameFromFileName(lastComponent(databases[i].folder));
  }
  for (const NodeTarget& o : request.objects) {
    const std::string folder = databaseFolderOf(session_, o);
    auto d = std::find_if(databases.begin(), databases.end(), [&](const Database& d) { return d.folder == folder; });
    if (d == databases.end()) continue;
    std::vector<size_t>& list = o.kind == NodeTarget::Kind::Table  ? d->tables
                                : o.kind == NodeTarget::Kind::View ? d->views
                                                                   : d->triggers;
    if (std::find(list.begin(), list.end(), o.index) == list.end()) list.push_back(o.index);
  }
  for (size_t d : request.databases) {
    if (d < databases.size()) databases[d].wanted = true;
  }
  std::erase_if(databases, [](const Database& d) {
    return !d.wanted && d.tables.empty() && d.views.empty() && d.triggers.empty();
  });
  return databases;
}

SaveReport SaveJob::run(const SaveRequest& request, const std::atomic<bool>& stop) {
  stop_ = &stop;
  totalRows_ = 0;
  if (innodbSystemSource_) innodbSystem_ = innodbSystemSource_();
  SaveReport report;
  for (const Database& database : databasesOf(request)) saveDatabase(database, request, report);
  report.stopped = stopped();
  for (const SavedObject& o : report.objects) report.rows += o.outcome == SaveOutcome::Saved ||
                                                                     o.outcome == SaveOutcome::SavedWithLosses
                                                                 ? o.rows
                                                                 : 0;
  return report;
}

void SaveJob::saveDatabase(const Database& database, const SaveRequest& request, SaveReport& report) {
  std::vector<SavedObject> saved;
  if (request.mode == SaveRequest::Mode::Script) saveScript(database, request, saved);
  else saveOnServer(database, request, saved);
  report.objects.insert(report.objects.end(), saved.begin(), saved.end());
}

// The database as made, with what of its options was left out.
SavedObject SaveJob::databaseMade(const Database& database, const std::vector<std::string>& leftOut) {
  return {database.name, database.name, "database", leftOut.empty() ? SaveOutcome::Saved : SaveOutcome::SavedWithLosses,
          0, joined(leftOut)};
}

// The objects of a database that could not be begun: the database's own
// failure, then each object as not saved.
std::vector<SavedObject> SaveJob::notBegun(const Database& database, const std::string& reason) const {
  std::vector<SavedObject> saved;
  saved.push_back({database.name, database.name, "database", SaveOutcome::Failed, 0, reason});
  for (size_t t : database.tables) {
    saved.push_back({database.name, objectNameFromFileName(session_.tables[t].name), "table", SaveOutcome::NotSaved, 0,
                     texts::kDatabaseNotSaved});
  }
  for (size_t v : database.views) {
    saved.push_back({database.name, objectNameFromFileName(stemOf(lastComponent(session_.viewFiles[v]))), "view",
                     SaveOutcome::NotSaved, 0, texts::kDatabaseNotSaved});
  }
  for (size_t t : database.triggers) {
    saved.push_back({database.name, objectNameFromFileName(stemOf(session_.triggers[t].fileName)), "triggers of table",
                     SaveOutcome::NotSaved, 0, texts::kDatabaseNotSaved});
  }
  return saved;
}

Status SaveJob::beginDatabase(StatementTarget& target, const Database& database,
                              std::vector<std::string>* leftOut) const {
  auto options = readDatabaseOptions(database.folder);
  if (!options) return options.failure();
  std::vector<std::string> dropped;
  const DatabaseOptions known = knownDatabaseOptions(*options, catalogue_, dropped);
  if (leftOut) *leftOut = std::move(dropped);
  if (Status made = target.execute(createDatabaseStatement(database.name, known, true)); !made) return made;
  return target.execute("USE " + quoteIdentifier(database.name));
}

void SaveJob::saveScript(const Database& database, const SaveRequest& request, std::vector<SavedObject>& saved) {
  const std::string path = scriptPathOf(request.scriptFolder, database.name, database.folder);
  if (!request.force && pathExists(path)) {
    saved = notBegun(database, path + texts::kScriptExists);
    return;
  }
  auto script = ScriptFile::create(path, session_.dataPath);
  std::vector<std::string> leftOut;
  Status begun = script ? beginDatabase(**script, database, &leftOut) : Status(script.failure());
  if (!begun) {
    saved = notBegun(database, begun.reason());
    return;
  }
  saved.push_back(databaseMade(database, leftOut));
  addPassedOver(database, saved);
  for (size_t t : database.tables) saved.push_back(saveTable(**script, nullptr, database, t, request.replace));
  std::vector<std::string> unmade = tablesNotMade(database, saved);
  saveViews(**script, nullptr, database, request.replace, unmade, saved);
  saveTriggers(**script, nullptr, database, request.replace, unmade, saved);
  // A script cut short is not written at all.
  if (stopped()) return markAll(saved, SaveOutcome::Saved, SaveOutcome::NotSaved, path + texts::kScriptNotWritten);
  if (Status complete = (*script)->complete(request.force); !complete) {
    markAll(saved, SaveOutcome::Saved, SaveOutcome::Failed, complete.reason());
  }
}

void SaveJob::saveOnServer(const Database& database, const SaveRequest& request, std::vector<SavedObject>& saved) {
  auto server = request.connect ? request.connect(request.address) : Result<std::unique_ptr<ServerConnection>>(
                                                                         ioFailure("no client library"));
  std::vector<std::string> leftOut;
  Status begun = server ? beginDatabase(**server, database, &leftOut) : Status(server.failure());
  if (!begun) {
    saved = notBegun(database, begun.reason());
    return;
  }
  saved.push_back(databaseMade(database, leftOut));
  addPassedOver(database, saved);
  saveTables(**server, database, request, saved);
  std::vector<std::string> unmade = tablesNotMade(database, saved);
  saveViews(**server, server->get(), database, request.replace, unmade, saved);
  saveTriggers(**server, server->get(), database, request.replace, unmade, saved);
}

// The tables of a database by several connections at once: each worker
// takes the next table until none is left. The first worker uses the
// database's own connection; a worker that cannot connect leaves the work
// to the others.
void SaveJob::saveTables(ServerConnection& first, const Database& database, const SaveRequest& request,
                         std::vector<SavedObject>& saved) {
  std::vector<SavedObject> results(database.tables.size());
  std::atomic<size_t> next{0};
  auto work = [&](ServerConnection& server) {
    for (size_t i; (i = next.fetch_add(1)) < database.tables.size();) {
      results[i] = saveTable(server, &server, database, database.tables[i], request.replace);
    }
  };
  unsigned workers = request.workers ? request.workers : std::max(1u, std::thread::hardware_concurrency());
  workers = unsigned(std::min<size_t>(workers, database.tables.size()));
  std::vector<std::thread> threads;
  for (unsigned w = 1; w < workers; ++w) {
    threads.emplace_back([&] {
      auto own = request.connect(request.address);
      if (own && beginDatabase(**own, database)) work(**own);
    });
  }
  work(first);
  for (std::thread& t : threads) t.join();
  saved.insert(saved.end(), results.begin(), results.end());
}

SavedObject SaveJob::saveTable(StatementTarget& target, ServerConnection* server, const Database& database,
                               size_t table, bool replace) {
  const std::string& fileName = session_.tables[table].name;
  SavedObject saved{database.name, objectNameFromFileName(fileName), "table", SaveOutcome::Failed, 0, ""};
  if (stopped()) {
    saved.outcome = SaveOutcome::NotSaved;
    saved.detail = texts::kSaveStopped;
    return saved;
  }
  auto rows = TableRows::open(session_, table, catalogue_, [this] { return innodbSystem_; });
  std::optional<TableDefinition> definitionOnly;
  if (!rows) {
    // A table of an engine whose rows are not read is still made.
    auto definition = TableRows::readDefinition(session_, table, catalogue_);
    if (rows.kind() != ErrorKind::Unsupported || !definition) {
      saved.detail = rows.reason();
      return saved;
    }
    definitionOnly = std::move(*definition);
  }
  if (std::optional<Status> cleared = clearWay(target, server, database.name, saved.name, replace, saved)) {
    if (!*cleared) saved.detail = cleared->reason();
    return saved;
  }
  const TableDefinition& definition = rows ? (*rows)->definition() : *definitionOnly;
  std::optional<uint64_t> counter = rows ? (*rows)->rows().nextAutoIncrement() : std::nullopt;
  const Status counterFits = counter ? checkAutoIncrement(definition, *counter) : Status(Ok{});
  if (!counterFits) counter.reset();
  // TIMESTAMP defaults are written in UTC, the zone the save's session is in.
  auto statement = rows ? createTableStatement(saved.name, definition, catalogue_, counter, TimeZone::utc(),
                                               (*rows)->rows().keyBlockSizes())
                        : createTableStatement(saved.name, definition, catalogue_, std::nullopt, TimeZone::utc());
  if (!statement) {
    saved.detail = statement.reason();
    return saved;
  }
  Status made = target.execute(*statement);
  if (!made) {
    saved.detail = made.reason();
    return saved;
  }
  if (!rows) return withoutRows(std::move(saved), definition, rows.reason());
  TableWork work;
  Status sent = sendRows(target, database, saved.name, **rows, work);
  saved.rows = work.sent;
  if (!sent) {
    saved.detail = texts::kAfterRows + std::to_string(work.sent) + texts::kRowsColon + sent.reason();
    if (stopped()) saved.outcome = SaveOutcome::NotSaved;
    return saved;
  }
  saved.detail = joined({counterFits ? "" : counterFits.reason(), work.losses});
  saved.outcome = saved.detail.empty() ? SaveOutcome::Saved : SaveOutcome::SavedWithLosses;
  return saved;
}

// Every row in multi-row INSERT statements, made on every core while the
// rows are read and sent. MyISAM tables build their keys once, after the
// rows.
Status SaveJob::sendRows(StatementTarget& target, const Database& database, const std::string& name,
                         TableRows& table, TableWork& work) {
  const TableDefinition& definition = table.definition();
  const bool keysAfter = definition.engineCode == kEngineMyisam;
  const std::string quoted = quoteIdentifier(name);
  if (keysAfter) {
    if (Status s = target.execute("ALTER TABLE " + quoted + " DISABLE KEYS"); !s) return s;
  }
  const InsertPipeline pipeline(definition, catalogue_, name, shownColumns(definition),
                                std::max(1u, std::thread::hardware_concurrency()));
  const PipelineEnd end = pipeline.run(
      [&](const RowSink& sink, const std::function<bool()>& stop) {
        return readAllRows(table.rows(), sink, ReadOptions{true, false}, stop);
      },
      [&](std::string_view statement, uint64_t rows) {
        Status sent = target.execute(statement, StatementKind::Rows);
        if (sent) reportProgress(database.name, name, work.sent += rows, rows);
        return sent;
      },
      [this] { return stopped(); });
  if (!end.failure) return end.failure;
  if (stopped()) return Status(ioFailure(texts::kSaveStopped));
  if (keysAfter) {
    if (Status s = target.execute("ALTER TABLE " + quoted + " ENABLE KEYS"); !s) return s;
  }
  work.losses = lossesOf(end.walk, end.unreadable);
  return Ok{};
}

// The files of a database saved whole that the scan passed over: their
// objects are not saved, and the save says so.
void SaveJob::addPassedOver(const Database& database, std::vector<SavedObject>& saved) const {
  if (!database.wanted) return;
  for (const PassedOver& p : passedOverIn(session_, database.folder)) {
    saved.push_back({database.name, lastComponent(p.path), "file", SaveOutcome::NotSaved, 0, p.reason});
  }
}

// The tables of the database that the target will not have: those whose
// save failed, and those whose files the scan passed over. A view or a
// trigger of theirs would fail where it is made, and stop a script there.
std::vector<std::string> SaveJob::tablesNotMade(const Database& database, const std::vector<SavedObject>& saved) const {
  std::vector<std::string> names;
  for (const SavedObject& o : saved) {
    const bool lost = o.outcome == SaveOutcome::Failed || o.outcome == SaveOutcome::NotSaved;
    if (lost && std::string_view(o.kind) == "table") names.push_back(o.name);
  }
  for (const PassedOver& p : passedOverIn(session_, database.folder)) {
    const std::string file = lastComponent(p.path);
    names.push_back(objectNameFromFileName(file.substr(0, std::min(file.rfind('.'), file.find("#P#")))));
  }
  return names;
}

void SaveJob::saveViews(StatementTarget& target, ServerConnection* server, const Database& database, bool replace,
                        std::vector<std::string>& unmade, std::vector<SavedObject>& saved) {
  std::vector<std::string> names;
  std::vector<Result<StoredView>> views;
  std::vector<StoredView> readable;  // the same, empty where unreadable, for the order
  for (size_t v : database.views) {
    const std::string& path = session_.viewFiles[v];
    names.push_back(objectNameFromFileName(stemOf(lastComponent(path))));
    views.push_back(readStoredView(path));
    readable.push_back(views.back() ? *views.back() : StoredView{});
  }
  for (size_t i : viewOrder(readable, names, database.name)) {
    SavedObject view{database.name, names[i], "view", SaveOutcome::Failed, 0, ""};
    const std::vector<size_t> missing = viewsReadBy(readable[i], database.name, unmade);
    if (stopped()) {
      view.outcome = SaveOutcome::NotSaved;
      view.detail = texts::kSaveStopped;
    } else if (!views[i]) {
      view.detail = views[i].reason();
    } else if (!missing.empty()) {
      view.outcome = SaveOutcome::NotSaved;
      view.detail = texts::kReads + database.name + "." + unmade[missing.front()] + texts::kWhichWasNotSaved;
    } else if (std::optional<Status> cleared = clearWay(target, server, database.name, names[i], replace, view)) {
      if (!*cleared) view.detail = cleared->reason();
    } else if (Status made = target.execute(createViewStatement(names[i], *views[i])); !made) {
      view.detail = withDefinerHint(made.reason(), !views[i]->definerUser.empty());
    } else {
      view.outcome = SaveOutcome::Saved;
    }
    if (view.outcome != SaveOutcome::Saved) unmade.push_back(names[i]);
    saved.push_back(std::move(view));
  }
}

// Each trigger under the SQL mode it was made with, in the order the
// server fires them.
void SaveJob::saveTriggers(StatementTarget& target, ServerConnection* server, const Database& database, bool replace,
                           const std::vector<std::string>& unmade, std::vector<SavedObject>& saved) {
  for (size_t t : database.triggers) {
    const TriggerEntry& entry = session_.triggers[t];
    const std::string path = joinPath(entry.folderPath, entry.fileName);
    const std::string table = objectNameFromFileName(stemOf(entry.fileName));
    if (std::find(unmade.begin(), unmade.end(), table) != unmade.end()) {
      saved.push_back({database.name, table, "triggers of table", SaveOutcome::NotSaved, 0,
                       texts::kItsTable + database.name + "." + table + texts::kWasNotSaved});
      continue;
    }
    auto text = readSmallFile(path, kMaxDefinitionFileSize);
    auto triggers = text ? storedTriggers(ByteView(*text).chars()) : Result<std::vector<StoredTrigger>>(text.failure());
    if (!triggers) {
      saved.push_back({database.name, objectNameFromFileName(stemOf(entry.fileName)), "triggers of table",
                       SaveOutcome::Failed, 0, triggers.failure().prefixed(path + ": ").reason});
      continue;
    }
    for (const StoredTrigger& trigger : *triggers) {
      saved.push_back(saveTrigger(target, server, database, trigger, replace));
    }
    if (Status restored = target.execute(saveSqlModeStatement()); !restored) {
      saved.back().outcome = SaveOutcome::Failed;
      saved.back().detail = restored.reason();
    }
  }
}

SavedObject SaveJob::saveTrigger(StatementTarget& target, ServerConnection* server, const Database& database,
                                 const StoredTrigger& trigger, bool replace) {
  SavedObject saved{database.name, trigger.name, "trigger", SaveOutcome::Failed, 0, ""};
  if (stopped()) {
    saved.outcome = SaveOutcome::NotSaved;
    saved.detail = texts::kSaveStopped;
    return saved;
  }
  if (server) {
    auto found = triggerOnServer(*server, database.name, trigger.name);
    if (!found) {
      saved.detail = found.reason();
      return saved;
    }
    if (*found && !replace) {
      saved.outcome = SaveOutcome::Skipped;
      saved.detail = texts::kExistsOnTarget;
      return saved;
    }
  }
  Status made = replace ? target.execute("DROP TRIGGER IF EXISTS " + quoteIdentifier(trigger.name)) : Status(Ok{});
  if (made && trigger.hasSqlMode) made = target.execute("SET SQL_MODE=" + quotedLiteral(sqlModeNames(trigger.sqlMode)));
  if (made) made = target.execute(trigger.statement, StatementKind::Compound, quoteModeOf(trigger.sqlMode));
  if (!made) {
    saved.detail = withDefinerHint(made.reason(), trigger.statement.find("DEFINER=") != std::string::npos);
    return saved;
  }
  saved.outcome = SaveOutcome::Saved;
  return saved;
}

void SaveJob::reportProgress(const std::string& database, const std::string& table, uint64_t tableRows,
                             uint64_t added) {
  std::lock_guard<std::mutex> lock(progressMutex_);
  totalRows_ += added;
  if (progress_) progress_(SaveProgress{database, table, tableRows, totalRows_});
}

}  // namespace tavrin
