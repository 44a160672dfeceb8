#include "cli/commands.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "base/path.h"
#include "session/scan.h"
#include "session/structure_view.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/frm_reader.h"
#include "tabledef/trigger_definition.h"
#include "tabledef/view_definition.h"

namespace tavrin::cli {

namespace {

constexpr const char* kProgram = "tavrin-recover";

constexpr const char* kHelp = R"(tavrin-recover: recovers MySQL and MariaDB tables from the files of a data folder,
without a server. Files are only read, never changed.

Usage:
  tavrin-recover list FOLDER
      The object tree of the folder: each database with its tables (each with
      its "Keys" node), views and triggers, one node per line, indented by
      level.
  tavrin-recover structure FOLDER DATABASE TABLE
      The columns of a table, read from its .frm file: a heading line, then one
      line per column with its name, data type, size, whether it allows NULL
      and its key ("Primary Key" or "Unique Key"), separated by tabs.
  tavrin-recover view FOLDER DATABASE VIEW
      The CREATE VIEW statement of a view.
  tavrin-recover trigger FOLDER DATABASE TABLE
      The triggers of a table (its .TRG file), as a script for a MySQL client.
  tavrin-recover --help
      This text.

FOLDER is one database folder, or a data folder whose sub-folders are the
databases (as the server keeps them). DATABASE is a database's folder name;
TABLE and VIEW are names as "list" shows them.

Exit status: 0 on success, 1 when the folder, the object or a file cannot be
found or read (the reason is printed on stderr), 2 for a wrong command line.
)";

// The catalogue from the current folder, else from beside the executable.
CollationCatalogue loadCatalogue(const std::string& executableFolder, std::ostream& err) {
  for (const std::string& folder : {std::string("."), executableFolder}) {
    const std::string path = joinPath(folder, kCatalogueFileName);
    if (isRegularFile(path)) return CollationCatalogue::load(path);
  }
  err << kProgram << ": warning: the collation catalogue \"" << kCatalogueFileName
      << "\" was not found; character lengths are shown in bytes\n";
  return {};
}

// Tabs, line ends and backslashes escaped, so that one line stays one row.
std::string tsvField(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      case '\0': out += "\\0"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

void printTsvRow(const StructureRow& row, std::ostream& out) {
  for (size_t i = 0; i < row.size(); ++i) out << (i ? "\t" : "") << tsvField(row[i]);
  out << '\n';
}

struct ScannedFolder {
  RecoverySession session;
  NodeId dataFolderNode = kNoNode;
};

Result<std::unique_ptr<ScannedFolder>> scanFolder(const std::string& folder) {
  if (!isDirectory(folder)) return fail(folder + " is not a folder");
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(folder, ec).lexically_normal().string();
  if (ec) absolute = folder;
  absolute = stripTrailingSeparators(absolute);
  bool found = holdsDefinitionFile(absolute);
  if (!found) {
    auto entries = listFolder(absolute);
    if (!entries) return fail(entries.reason());
    for (const DirEntry& e : *entries) {
      if (e.isDirectory && holdsDefinitionFile(joinPath(absolute, e.name))) found = true;
    }
  }
  if (!found) return fail("no MySQL database in " + folder + ": neither it nor its sub-folders hold a .frm file");
  auto scanned = std::make_unique<ScannedFolder>();
  scanned->dataFolderNode = BuildObjectTree(scanned->session, absolute);
  return scanned;
}

// What the node of an object of a database stands for; `group` is "Tables",
// "Views" or "Trigger".
Result<NodeTarget> findObject(const ScannedFolder& scanned, const std::string& database, const std::string& group,
                              const std::string& name, const char* kind) {
  const ObjectTree& tree = scanned.session.tree;
  NodeId db = tree.findChild(scanned.dataFolderNode, database);
  if (db == kNoNode) return fail("no database " + database + " in " + scanned.session.dataPath);
  NodeId groupNode = tree.findChild(db, group);
  NodeId node = groupNode == kNoNode ? kNoNode : tree.findChild(groupNode, name);
  if (node == kNoNode) return fail(std::string("no ") + kind + " " + name + " in database " + database);
  return resolveNode(scanned.session, node);
}

void printTree(const ObjectTree& tree, NodeId node, int depth, std::ostream& out) {
  out << std::string(size_t(depth) * 2, ' ') << tree.node(node).label << '\n';
  for (NodeId child : tree.node(node).children) printTree(tree, child, depth + 1, out);
}

Status listCommand(const std::vector<std::string>& a, std::ostream& out) {
  auto scanned = scanFolder(a[0]);
  if (!scanned) return fail(scanned.reason());
  const ObjectTree& tree = (*scanned)->session.tree;
  for (NodeId root : tree.roots()) printTree(tree, root, 0, out);
  return Ok{};
}

Status structureCommand(const std::vector<std::string>& a, const std::string& exeFolder, std::ostream& out,
                        std::ostream& err) {
  auto scanned = scanFolder(a[0]);
  if (!scanned) return fail(scanned.reason());
  auto target = findObject(**scanned, a[1], "Tables", a[2], "table");
  if (!target) return fail(target.reason());
  const RecoverySession& s = (*scanned)->session;
  const TableEntry& entry = s.tables[target->index];
  const std::string folder = s.databaseFolders[size_t(entry.databaseIndex)];
  auto path = findTableFile(folder, entry.name, ".frm");
  if (!path) return fail("the definition file of table " + entry.name + " is gone from " + folder);
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  auto def = readFrm(*path, catalogue);
  if (!def) return fail(def.reason());
  printTsvRow(kStructureHeadings, out);
  for (const StructureRow& row : structureRows(*def, catalogue)) printTsvRow(row, out);
  return Ok{};
}

Status viewCommand(const std::vector<std::string>& a, std::ostream& out) {
  auto scanned = scanFolder(a[0]);
  if (!scanned) return fail(scanned.reason());
  auto target = findObject(**scanned, a[1], "Views", a[2], "view");
  if (!target) return fail(target.reason());
  auto text = viewDefinitionText((*scanned)->session.viewFiles[target->index]);
  if (!text) return fail(text.reason());
  out << *text << '\n';
  return Ok{};
}

Status triggerCommand(const std::vector<std::string>& a, std::ostream& out) {
  auto scanned = scanFolder(a[0]);
  if (!scanned) return fail(scanned.reason());
  auto target = findObject(**scanned, a[1], "Trigger", a[2], "trigger file of table");
  if (!target) return fail(target.reason());
  const TriggerEntry& entry = (*scanned)->session.triggers[target->index];
  auto text = triggerDefinitionText(joinPath(entry.folderPath, entry.fileName));
  if (!text) return fail(text.reason());
  out << *text;
  return Ok{};
}

}  // namespace

int run(const std::vector<std::string>& args, const std::string& executableFolder, std::ostream& out,
        std::ostream& err) {
  if (args.empty()) {
    err << kProgram << ": a command is needed (see " << kProgram << " --help)\n";
    return kUsage;
  }
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    out << kHelp;
    return kOk;
  }
  struct Command {
    size_t arguments;
    const char* usage;
    std::function<Status(const std::vector<std::string>&)> action;
  };
  const std::map<std::string, Command> commands = {
      {"list", {1, "list FOLDER", [&](auto& a) { return listCommand(a, out); }}},
      {"structure", {3, "structure FOLDER DATABASE TABLE",
                     [&](auto& a) { return structureCommand(a, executableFolder, out, err); }}},
      {"view", {3, "view FOLDER DATABASE VIEW", [&](auto& a) { return viewCommand(a, out); }}},
      {"trigger", {3, "trigger FOLDER DATABASE TABLE", [&](auto& a) { return triggerCommand(a, out); }}},
  };
  auto it = commands.find(command);
  if (it == commands.end()) {
    err << kProgram << ": unknown command " << command << " (see " << kProgram << " --help)\n";
    return kUsage;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (rest.size() != it->second.arguments) {
    err << kProgram << ": usage: " << kProgram << ' ' << it->second.usage << '\n';
    return kUsage;
  }
  const Status status = it->second.action(rest);
  if (!status) {
    err << kProgram << ": " << status.reason() << '\n';
    return kFailed;
  }
  return kOk;
}

}  // namespace tavrin::cli
