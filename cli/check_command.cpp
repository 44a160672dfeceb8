#include "cli/check_command.h"

#include <algorithm>

#include "base/file.h"
#include "base/path.h"
#include "base/text.h"
#include "session/table_check.h"
#include "tabledef/definition_file.h"
#include "tabledef/trigger_definition.h"
#include "tabledef/view_definition.h"

namespace tavrin::cli {

namespace {

constexpr uint64_t kMaxDefinitionFileSize = 64u << 20;

// The objects of every database, of one, or one table.
Result<std::vector<NodeTarget>> checkedObjects(const ScannedFolder& scanned, const std::vector<std::string>& args) {
  const RecoverySession& s = scanned.session;
  std::vector<NodeTarget> objects;
  if (args.size() == 3) {
    auto table = findObject(scanned, args[1], "Tables", args[2], "table");
    if (!table) return table.failure();
    return std::vector<NodeTarget>{*table};
  }
  for (size_t d = 0; d < s.databaseFolders.size(); ++d) {
    if (args.size() == 2 && objectNameFromFileName(lastComponent(s.databaseFolders[d])) != args[1]) continue;
    for (const NodeTarget& o : objectsOfDatabase(s, d)) objects.push_back(o);
  }
  if (args.size() == 2 && objects.empty()) {
    if (auto database = findDatabase(scanned, args[1]); !database) return database.failure();
  }
  return objects;
}

// The files the scan passed over in the folder, or in the one database named.
std::vector<PassedOver> passedOverIn(const ScannedFolder& scanned, const std::vector<std::string>& args) {
  const RecoverySession& s = scanned.session;
  if (args.size() == 1) return s.passedOver;
  auto folder = findDatabase(scanned, args[1]);
  return folder ? passedOverIn(s, *folder) : std::vector<PassedOver>{};
}

std::string stemOf(const std::string& fileName) { return fileName.substr(0, fileName.rfind('.')); }

// "view db.v: sound" or with the reason it cannot be read.
std::string definitionLine(const char* kind, const std::string& database, const std::string& name,
                           const Status& read) {
  return std::string(kind) + " " + database + "." + name + ": " + (read ? "sound" : "unreadable: " + read.reason());
}

Status readTriggers(const TriggerEntry& t) {
  const std::string path = joinPath(t.folderPath, t.fileName);
  auto bytes = readSmallFile(path, kMaxDefinitionFileSize);
  if (!bytes) return bytes.failure();
  auto triggers = storedTriggers(ByteView(*bytes).chars());
  if (!triggers) return triggers.failure().prefixed(path + ": ");
  return Ok{};
}

// The line of one object and whether it is sound.
std::pair<std::string, bool> checkObject(const RecoverySession& s, const NodeTarget& o,
                                         const CollationCatalogue& catalogue, SystemTablespaceSource& system) {
  const std::string folder = databaseFolderOf(s, o);
  const std::string database = objectNameFromFileName(lastComponent(folder));
  if (o.kind == NodeTarget::Kind::Table) {
    const TableCheck check = checkTable(folder, s.tables[o.index].name, catalogue, std::ref(system));
    return {"table " + database + "." + objectNameFromFileName(s.tables[o.index].name) + ": " + check.text(),
            check.verdict == Verdict::Sound};
  }
  if (o.kind == NodeTarget::Kind::View) {
    auto view = readStoredView(s.viewFiles[o.index]);
    const Status read = view ? Status(Ok{}) : Status(view.failure());
    return {definitionLine("view", database, objectNameFromFileName(stemOf(lastComponent(s.viewFiles[o.index]))), read),
            bool(read)};
  }
  const Status read = readTriggers(s.triggers[o.index]);
  return {definitionLine("triggers of table", database, objectNameFromFileName(stemOf(s.triggers[o.index].fileName)),
                         read),
          bool(read)};
}

}  // namespace

Status checkCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  auto scanned = scanFolder(a.arguments[0]);
  if (!scanned) return scanned.failure();
  const RecoverySession& s = (*scanned)->session;
  auto objects = checkedObjects(**scanned, a.arguments);
  if (!objects) return objects.failure();
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  SystemTablespaceSource system(s, a.has("--ibdata") ? a.options.at("--ibdata") : "", catalogue, err);
  if (Status named = system.checkNamed(); !named) return named;
  size_t unsound = 0;
  // Files the scan could not place count too, when a whole database is checked.
  const std::vector<PassedOver> passed = a.arguments.size() < 3 ? passedOverIn(**scanned, a.arguments)
                                                                 : std::vector<PassedOver>{};
  for (const PassedOver& p : passed) {
    out << printable(p.path + ": unreadable: " + p.reason) << '\n';
    ++unsound;
  }
  for (const NodeTarget& o : *objects) {
    const auto [line, sound] = checkObject(s, o, catalogue, system);
    out << printable(line) << '\n';
    if (!sound) ++unsound;
  }
  out.flush();
  if (unsound == 0) return Ok{};
  return damaged(std::to_string(unsound) + " of " + std::to_string(objects->size() + passed.size()) +
                 (passed.empty() ? " objects" : " objects and files") + " are not sound");
}

}  // namespace tavrin::cli
