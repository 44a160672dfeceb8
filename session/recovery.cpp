#include "session/recovery.h"

#include <algorithm>
#include <utility>

#include "base/file.h"
#include "base/path.h"
#include "export/create_table.h"
#include "innodb/system_tablespace.h"
#include "session/table_check.h"
#include "session/texts.h"
#include "tabledef/definition_file.h"
#include "tabledef/field_layout.h"
#include "tabledef/trigger_definition.h"
#include "tabledef/view_definition.h"

namespace tavrin {

namespace {

constexpr uint64_t kMaxDefinitionFileSize = 64u << 20;

std::string stemOf(const std::string& fileName) { return fileName.substr(0, fileName.rfind('.')); }

// Whether the folder, or one of its sub-folders, holds a database's files.
Result<bool> holdsDatabase(const std::string& folder) {
  if (holdsObjectFiles(folder)) return true;
  auto entries = listFolder(folder);
  if (!entries) return entries.failure();
  for (const DirEntry& e : *entries) {
    if (e.isDirectory && holdsObjectFiles(joinPath(folder, e.name))) return true;
  }
  return false;
}

Status readTriggers(const TriggerEntry& t) {
  const std::string path = joinPath(t.folderPath, t.fileName);
  auto bytes = readSmallFile(path, kMaxDefinitionFileSize);
  if (!bytes) return bytes.failure();
  auto triggers = storedTriggers(ByteView(*bytes).chars());
  if (!triggers) return triggers.failure().prefixed(path + ": ");
  return Ok{};
}

// "view db.v: sound" or with the reason it cannot be read.
std::string definitionLine(const char* kind, const std::string& database, const std::string& name, const Status& read) {
  return std::string(kind) + " " + database + "." + name + ": " + (read ? "sound" : "unreadable: " + read.reason());
}

}  // namespace

Result<std::unique_ptr<Recovery>> Recovery::open(const std::string& folder, const CollationCatalogue& catalogue,
                                                 const SourceOptions& options) {
  if (!pathExists(folder)) return missing(folder + " does not exist");
  if (!isDirectory(folder)) return ioFailure(folder + " is not a folder");
  const std::string absolute = absoluteFolder(folder);
  auto holds = holdsDatabase(absolute);
  if (!holds) return holds.failure();
  if (!*holds) {
    return missing("no MySQL database in " + folder + ": neither it nor its sub-folders hold a .frm, .ibd or .TRG file");
  }
  auto recovery = std::make_unique<Recovery>(catalogue);
  if (!options.definitions.empty()) {
    if (Status read = recovery->useDefinitions(options.definitions, options.definitionsFirst); !read) {
      return read.failure().prefixed("--definitions: ");
    }
  }
  recovery->scan(absolute);
  if (!options.ibdata.empty()) {
    if (Status named = recovery->useSystemTablespace(options.ibdata); !named) {
      return named.failure().prefixed("--ibdata: ");
    }
  }
  return recovery;
}

Recovery::Recovery(const CollationCatalogue& catalogue) : catalogue_(catalogue) {}

Recovery::~Recovery() = default;

std::vector<std::string> Recovery::takeWarnings() { return std::exchange(warnings_, {}); }

Result<size_t> Recovery::findDatabase(const std::string& name) const {
  for (size_t d = 0; d < session_.databaseFolders.size(); ++d) {
    if (objectNameFromFileName(lastComponent(session_.databaseFolders[d])) == name) return d;
  }
  return missing("no database " + name + " in " + session_.dataPath);
}

Result<NodeTarget> Recovery::findObject(const std::string& database, const std::string& group, const std::string& name,
                                        const char* kind) const {
  auto index = findDatabase(database);
  if (!index) return index.failure();
  const ObjectTree& tree = session_.tree;
  const NodeId db = tree.findChild(dataFolderNode_, database);
  const NodeId groupNode = tree.findChild(db, group);
  const NodeId node = groupNode == kNoNode ? kNoNode : tree.findChild(groupNode, name);
  if (node != kNoNode) return resolveNode(session_, node);
  if (const PassedOver* p = passedOverObject(session_, session_.databaseFolders[*index], name)) {
    return damaged(std::string("the ") + kind + " " + name + " cannot be read: " + p->path + texts::kPassedOver + p->reason);
  }
  return missing(std::string("no ") + kind + " " + name + " in database " + database);
}

std::string Recovery::databaseOf(const NodeTarget& object) const {
  return objectNameFromFileName(lastComponent(databaseFolderOf(session_, object)));
}

std::string Recovery::nameOf(const NodeTarget& object) const {
  switch (object.kind) {
    case NodeTarget::Kind::Table:
    case NodeTarget::Kind::Keys: return objectNameFromFileName(session_.tables[object.index].name);
    case NodeTarget::Kind::View: return objectNameFromFileName(stemOf(lastComponent(session_.viewFiles[object.index])));
    case NodeTarget::Kind::Trigger: return objectNameFromFileName(stemOf(session_.triggers[object.index].fileName));
    case NodeTarget::Kind::None: break;
  }
  return {};
}

std::vector<PassedOver> Recovery::passedOver(std::optional<size_t> database) const {
  if (!database) return session_.passedOver;
  return passedOverIn(session_, session_.databaseFolders[*database]);
}

void Recovery::scan(const std::string& folder, const FolderProgress& progress) {
  system_.reset();
  systemLoaded_ = false;
  systemProblem_.reset();
  dataFolderNode_ = BuildObjectTree(session_, folder, progress);
}

Status Recovery::useDefinitions(const std::string& path, bool first) {
  if (path.empty()) {
    session_.definitions.reset();
    return Ok{};
  }
  auto script = loadDefinitionsScript(path, catalogue_);
  if (!script) return script.failure();
  warnings_.insert(warnings_.end(), script->notes.begin(), script->notes.end());
  session_.definitions = std::make_shared<const DefinitionsScript>(std::move(*script));
  session_.definitionsFirst = first;
  return Ok{};
}

Status Recovery::useSystemTablespace(const std::string& path) {
  auto opened = SystemTablespace::open(path, catalogue_);
  if (!opened) return opened.failure();
  take(std::move(*opened));
  return Ok{};
}

std::string Recovery::systemTablespacePath() const { return system_ ? system_->path() : std::string(); }

InnodbSystem Recovery::innodbSystem() {
  if (!systemLoaded_) {
    systemLoaded_ = true;
    for (const std::string& path : systemTablespaceCandidates(session_)) {
      if (!isRegularFile(path)) continue;
      auto opened = SystemTablespace::open(path, catalogue_);
      if (opened) take(std::move(*opened));
      else systemProblem_ = opened.failure();
      break;
    }
  }
  return system_ ? system_->system() : InnodbSystem{};
}

void Recovery::take(std::unique_ptr<SystemTablespace> space) {
  systemLoaded_ = true;
  system_ = std::move(space);
  if (const std::optional<Failure>& damage = system_->dictionary().damage) {
    warnings_.push_back("the InnoDB dictionary in " + system_->path() + " is damaged: " + damage->reason);
  }
}

Result<TableDefinition> Recovery::definition(const NodeTarget& table) const {
  return TableRows::readDefinition(session_, table.index, catalogue_);
}

std::vector<StructureRow> Recovery::structure(const TableDefinition& definition) const {
  return structureRows(definition, catalogue_);
}

Result<std::unique_ptr<TableRows>> Recovery::openTable(const NodeTarget& table) {
  return withSystemProblem(TableRows::open(session_, table.index, catalogue_, [this] { return innodbSystem(); }));
}

Result<std::unique_ptr<TableRows>> Recovery::openTable(const NodeTarget& table, TableDefinition definition) {
  const TableEntry& entry = session_.tables[table.index];
  return withSystemProblem(TableRows::open(session_.databaseFolders[size_t(entry.databaseIndex)], entry.name,
                                           std::move(definition), catalogue_, [this] { return innodbSystem(); }));
}

Result<std::unique_ptr<TableRows>> Recovery::withSystemProblem(Result<std::unique_ptr<TableRows>> rows) const {
  if (rows || !systemProblem_) return rows;
  Failure failure = rows.failure();
  failure.reason += " (" + systemProblem_->reason + ")";
  return failure;
}

std::string Recovery::definedBy(const NodeTarget& table) const { return TableRows::definedBy(session_, table.index); }

Result<Recovery::CreateTable> Recovery::createTable(const NodeTarget& table, const TimeZone& zone) {
  auto def = definition(table);
  if (!def) return def.failure();
  CreateTable made;
  std::optional<uint64_t> counter;
  std::vector<uint16_t> keyBlockSizes;
  const TableEntry& entry = session_.tables[table.index];
  auto rows = TableRows::open(session_, table.index, catalogue_, [this] { return innodbSystem(); });
  if (rows) {
    counter = (*rows)->rows().nextAutoIncrement();
    keyBlockSizes = (*rows)->rows().keyBlockSizes();
    def = (*rows)->definition();
  } else if (std::any_of(def->columns.begin(), def->columns.end(), [](const auto& c) { return c.isAutoIncrement(); })) {
    made.noCounter = rows.failure().prefixed("no AUTO_INCREMENT value: ");
  }
  if (counter) {
    if (Status fits = checkAutoIncrement(*def, *counter); !fits) {
      made.counterLeftOut = fits.failure();
      counter.reset();
    }
  }
  auto text = createTableStatement(objectNameFromFileName(entry.name), *def, catalogue_, counter, zone, keyBlockSizes);
  if (!text) return text.failure();
  made.text = std::move(*text);
  return made;
}

Status Recovery::mayWrite(const std::string& path) const {
  return mayWriteOutput(session_, system_ ? system_->path() : "", path);
}

Result<std::string> Recovery::viewText(const NodeTarget& view) const {
  return viewDefinitionText(session_.viewFiles[view.index]);
}

Result<std::string> Recovery::triggerText(const NodeTarget& triggers) const {
  const TriggerEntry& entry = session_.triggers[triggers.index];
  return triggerDefinitionText(joinPath(entry.folderPath, entry.fileName));
}

Recovery::ObjectCheck Recovery::check(const NodeTarget& object) {
  const std::string database = databaseOf(object);
  const std::string name = nameOf(object);
  if (object.kind == NodeTarget::Kind::Table) {
    const TableCheck check = checkTable(session_, object.index, catalogue_, [this] { return innodbSystem(); });
    const std::string definedBy = TableRows::definedBy(session_, object.index);
    return {"table " + database + "." + name + ": " + check.text() + (definedBy.empty() ? "" : " (by " + definedBy + ")"),
            check.verdict == Verdict::Sound};
  }
  if (object.kind == NodeTarget::Kind::View) {
    auto view = readStoredView(session_.viewFiles[object.index]);
    const Status read = view ? Status(Ok{}) : Status(view.failure());
    return {definitionLine("view", database, name, read), bool(read)};
  }
  const Status read = readTriggers(session_.triggers[object.index]);
  return {definitionLine("triggers of table", database, name, read), bool(read)};
}

SaveReport Recovery::save(const SaveRequest& request, const std::atomic<bool>& stop,
                          std::function<void(const SaveProgress&)> progress) {
  SaveJob job(session_, catalogue_, [this] { return innodbSystem(); });
  if (progress) job.onProgress(std::move(progress));
  return job.run(request, stop);
}

}  // namespace tavrin
