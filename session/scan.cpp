#include "session/scan.h"

#include "base/file.h"
#include <algorithm>

#include "base/output_file.h"
#include "base/path.h"
#include "base/text.h"
#include "innodb/sdi.h"
#include "session/texts.h"
#include "tabledef/definition_file.h"
#include "tabledef/frm_reader.h"
#include "tabledef/view_definition.h"

namespace tavrin {

namespace {
constexpr size_t kSignatureBytes = 10;
constexpr size_t kExtensionLength = 4;  // ".frm", ".ibd", ".trg"
constexpr const char* kTablesGroup = "Tables";

std::string withoutExtension(const std::string& fileName) {
  return fileName.substr(0, fileName.size() - kExtensionLength);
}

// The name the server knows an object by, from its file name.
std::string shownName(const std::string& fileName) { return objectNameFromFileName(withoutExtension(fileName)); }

NodeId addDatabase(RecoverySession& session, NodeId dataFolderNode, const std::string& folder,
                   int32_t databaseIndex) {
  NodeId database = session.tree.insert(dataFolderNode, objectNameFromFileName(lastComponent(folder)), TreeImage::Folder);
  session.tree.setItemData(database, ItemData::Container);
  NodeId tables = session.tree.insert(database, kTablesGroup, TreeImage::Folder);
  session.tree.setItemData(tables, ItemData::Container);
  ScanDatabaseFolder(session, folder, databaseIndex, database, tables);
  return database;
}
}  // namespace

void ResetSession(RecoverySession& session) {
  session.tables.clear();
  session.databaseFolders.clear();
  session.triggers.clear();
  session.viewFiles.clear();
  session.passedOver.clear();
  session.tree.clear();
}

void ListDatabaseFolders(RecoverySession& session) {
  auto entries = listFolder(session.dataPath);
  if (!entries) {
    session.passedOver.push_back({session.dataPath, entries.reason()});
    return;
  }
  for (const DirEntry& e : *entries) {
    if (e.isDirectory) session.databaseFolders.push_back(joinPath(session.dataPath, e.name));
  }
}

namespace {

NodeId addTable(RecoverySession& session, NodeId tablesNode, int32_t databaseIndex, const std::string& fileName,
                bool byScript = false) {
  session.tables.push_back({databaseIndex, withoutExtension(fileName), byScript});
  NodeId table = session.tree.insert(tablesNode, shownName(fileName), TreeImage::Folder);
  session.tree.setItemData(table, int32_t(session.tables.size()));
  NodeId keys = session.tree.insert(table, "Keys", TreeImage::Keys);
  session.tree.setItemData(keys, ItemData::Keys);
  return table;
}

// The files that hold a table's rows or belong to its definition: each is
// part of a table of the folder, or said to be passed over.
constexpr std::string_view kTableFileExtensions[] = {"ibd", "myd", "myi", "mad", "mai", "csv",
                                                     "csm", "arz", "par", "isl", "cfg", "cfp"};

bool isTableFile(const std::string& fileName) {
  const std::string extension = lowerExtension(fileName);
  return std::find(std::begin(kTableFileExtensions), std::end(kTableFileExtensions), extension) !=
         std::end(kTableFileExtensions);
}

// The lowered name of the table a file belongs to: a partition's file
// (TABLE#P#PART..., TABLE#p#part...) belongs to its table.
std::string tableStemOf(const std::string& fileName) {
  const std::string stem = asciiLower(fileName.substr(0, fileName.rfind('.')));
  return stem.substr(0, stem.find("#p#"));
}

// InnoDB keeps the words of a FULLTEXT index in tablespaces of their own,
// named FTS_ and the table's id in 16 hexadecimal digits; the server makes
// them again from the table.
bool isFullTextIndexFile(const std::string& fileName) {
  const std::string stem = asciiLower(fileName);
  return stem.size() > 21 && stem.starts_with("fts_") &&
         std::all_of(stem.begin() + 4, stem.begin() + 20, [](char c) { return hexDigitValue(c) >= 0; });
}

// Why a table file no table accounts for was not read; `unreadable` when
// its table's .frm is there but was passed over.
std::string unaccountedReason(const RecoverySession& session, const std::string& fileName, bool unreadable,
                              bool olderTablespace) {
  if (unreadable) return "its table's definition (.frm) cannot be read";
  if (fileName.starts_with("#sql")) {
    return "a table file that an ALTER TABLE or a temporary table left behind; no definition of it is in the folder";
  }
  std::string reason = "no definition of its table (.frm) is in the folder";
  if (olderTablespace) reason += ", and a tablespace of a server before MySQL 8 keeps none of its own";
  if (session.definitions) return reason + "; " + session.definitions->path + " has no CREATE TABLE of it either";
  return reason + "; give --definitions FILE.sql with its CREATE TABLE statement";
}

// The table of the user's definitions that a table file without a .frm belongs to.
const ScriptTable* scriptTableOf(const RecoverySession& session, const std::string& folder, const std::string& fileName) {
  if (!session.definitions) return nullptr;
  const std::string stem = fileName.substr(0, fileName.rfind('.'));
  if (stem.find('#') != std::string::npos) return nullptr;  // a partition's file
  const std::string extension = lowerExtension(fileName);
  if (extension != "ibd" && extension != "isl" && extension != "myd" && extension != "myi") return nullptr;
  return session.definitions->find(objectNameFromFileName(lastComponent(folder)), objectNameFromFileName(stem));
}

// MySQL 8 keeps no .frm: a tablespace without one is a table when its own
// definition says it is a user's; the server's own tablespaces (full-text
// indexes) belong to their tables. Every other table file that no table of
// the folder accounts for is passed over with why.
void accountForTableFiles(RecoverySession& session, const std::string& folder, const std::vector<std::string>& files,
                          std::vector<std::string>& defined, const std::vector<std::string>& unreadable,
                          int32_t databaseIndex, NodeId tablesNode) {
  auto holds = [](const std::vector<std::string>& stems, const std::string& stem) {
    return std::find(stems.begin(), stems.end(), stem) != stems.end();
  };
  for (const std::string& file : files) {
    if (session.stopRequested) return;
    const std::string stem = tableStemOf(file);
    if (holds(defined, stem)) continue;
    const std::string path = joinPath(folder, file);
    bool olderTablespace = false;
    if (lowerExtension(file) == "ibd" && !holds(unreadable, stem)) {
      auto table = readTablespaceIdentity(path);
      if (table && !table->internal) {
        addTable(session, tablesNode, databaseIndex, file);
        defined.push_back(asciiLower(withoutExtension(file)));
        continue;
      }
      if ((table && table->internal) || isFullTextIndexFile(file)) continue;
      if (!table && table.kind() != ErrorKind::Unsupported && !scriptTableOf(session, folder, file)) {
        session.passedOver.push_back({path, "no .frm, and the definition the tablespace keeps cannot be read: " +
                                                table.reason()});
        continue;
      }
      olderTablespace = !table;
    }
    if (!holds(unreadable, stem) && scriptTableOf(session, folder, file)) {
      addTable(session, tablesNode, databaseIndex, file, true);
      defined.push_back(stem);
      continue;
    }
    session.passedOver.push_back({path, unaccountedReason(session, file, holds(unreadable, stem), olderTablespace)});
  }
}

}  // namespace

void ScanDatabaseFolder(RecoverySession& session, const std::string& folder, int32_t databaseIndex,
                        NodeId databaseNode, NodeId tablesNode) {
  auto entries = listFolder(collapseSeparators(folder));
  if (!entries) {
    session.passedOver.push_back({folder, entries.reason()});
    return;
  }
  NodeId viewsNode = kNoNode;
  NodeId triggersNode = kNoNode;
  std::vector<std::string> defined;     // the lowered names of the tables with a .frm
  std::vector<std::string> unreadable;  // ... and of those whose .frm was passed over
  std::vector<std::string> tableFiles;
  for (const DirEntry& e : *entries) {
    if (session.stopRequested) return;
    if (e.isDirectory) continue;
    const std::string extension = lowerExtension(e.name);
    if (extension == "frm") {
      const std::string path = joinPath(folder, e.name);
      auto file = ReadOnlyFile::open(path);
      if (!file) {
        session.passedOver.push_back({path, file.reason()});
        continue;
      }
      const std::vector<uint8_t> head = file->readAt(0, kSignatureBytes);
      if (hasTableDefinitionSignature(ByteView(head))) {
        addTable(session, tablesNode, databaseIndex, e.name);
        defined.push_back(asciiLower(withoutExtension(e.name)));
      } else if (hasViewSignature(ByteView(head).chars())) {
        if (viewsNode == kNoNode) {
          viewsNode = session.tree.insert(databaseNode, "Views", TreeImage::Views);
          session.tree.setItemData(viewsNode, ItemData::ViewsGroup);
        }
        session.viewFiles.push_back(path);
        NodeId view = session.tree.insert(viewsNode, shownName(e.name), TreeImage::Folder);
        session.tree.setItemData(view, int32_t(session.viewFiles.size()));
      } else {
        unreadable.push_back(asciiLower(withoutExtension(e.name)));
        session.passedOver.push_back({path, head.size() < kSignatureBytes
                                                ? "too short for a definition file (" + std::to_string(head.size()) + " bytes)"
                                                : "neither a table nor a view definition file"});
      }
    } else if (isTableFile(e.name)) {
      tableFiles.push_back(e.name);
    } else if (extension == "trg") {
      if (triggersNode == kNoNode) {
        triggersNode = session.tree.insert(databaseNode, "Trigger", TreeImage::Triggers);
        session.tree.setItemData(triggersNode, ItemData::TriggersGroup);
      }
      session.triggers.push_back({e.name, folder});
      NodeId trigger = session.tree.insert(triggersNode, shownName(e.name), TreeImage::Folder);
      session.tree.setItemData(trigger, int32_t(session.triggers.size()));
    }
  }
  // Tablespaces that describe themselves first, so that their partitions' files count as theirs.
  std::stable_partition(tableFiles.begin(), tableFiles.end(),
                        [](const std::string& f) { return lowerExtension(f) == "ibd" && f.find('#') == std::string::npos; });
  accountForTableFiles(session, folder, tableFiles, defined, unreadable, databaseIndex, tablesNode);
}

NodeId tableNode(const ObjectTree& tree, const std::string& name) {
  for (NodeId id = 0; size_t(id) < tree.size(); ++id) {
    const TreeNode& n = tree.node(id);
    const bool inTables = n.parent != kNoNode && tree.node(n.parent).label == kTablesGroup;
    if (inTables && n.itemData > 0 && (name.empty() || n.label == name)) return id;
  }
  return kNoNode;
}

NodeId BuildObjectTree(RecoverySession& session, const std::string& dataPath, const FolderProgress& progress) {
  ResetSession(session);
  session.dataPath = stripTrailingSeparators(dataPath);
  NodeId root = session.tree.insert(kNoNode, "MYSQL database", TreeImage::Folder);
  session.tree.setItemData(root, ItemData::Container);
  NodeId dataFolder = session.tree.insert(root, session.dataPath, TreeImage::Folder);
  session.tree.setItemData(dataFolder, ItemData::Container);

  ListDatabaseFolders(session);
  if (session.databaseFolders.empty()) {
    // A folder without a separator in its path (a bare drive) lists nothing.
    if (session.dataPath.find(kSeparator) != std::string::npos) {
      session.databaseFolders.push_back(session.dataPath);
      addDatabase(session, dataFolder, session.dataPath, 0);
    }
  } else {
    for (size_t i = 0; i < session.databaseFolders.size(); ++i) {
      if (session.stopRequested) break;
      const std::string folder = session.databaseFolders[i];
      if (folder.find(kSeparator) != std::string::npos) addDatabase(session, dataFolder, folder, int32_t(i));
      if (progress) progress(i + 1, session.databaseFolders.size());
    }
  }
  session.tree.expand(root);
  session.tree.expand(dataFolder);
  return dataFolder;
}

NodeTarget resolveNode(const RecoverySession& session, NodeId node) {
  if (node == kNoNode || size_t(node) >= session.tree.size()) return {};
  const TreeNode& n = session.tree.node(node);
  const int32_t parentData = n.parent == kNoNode ? 0 : session.tree.node(n.parent).itemData;
  if (n.itemData == ItemData::Keys) {
    if (parentData <= 0 || size_t(parentData) > session.tables.size()) return {};
    return {NodeTarget::Kind::Keys, size_t(parentData - 1)};
  }
  if (n.itemData <= 0) return {};
  const size_t index = size_t(n.itemData - 1);
  switch (parentData) {
    case ItemData::ViewsGroup:
      return index < session.viewFiles.size() ? NodeTarget{NodeTarget::Kind::View, index} : NodeTarget{};
    case ItemData::TriggersGroup:
      return index < session.triggers.size() ? NodeTarget{NodeTarget::Kind::Trigger, index} : NodeTarget{};
    default:
      return index < session.tables.size() ? NodeTarget{NodeTarget::Kind::Table, index} : NodeTarget{};
  }
}

std::vector<std::string> systemTablespaceCandidates(const RecoverySession& session) {
  std::vector<std::string> candidates = {joinPath(session.dataPath, "ibdata1")};
  const bool oneDatabase = session.databaseFolders.size() == 1 && session.databaseFolders[0] == session.dataPath;
  const size_t slash = session.dataPath.rfind(kSeparator);
  if (oneDatabase && slash != std::string::npos) {
    candidates.push_back(joinPath(session.dataPath.substr(0, slash == 0 ? 1 : slash), "ibdata1"));
  }
  return candidates;
}

namespace {
bool holdsFileWithExtension(const std::string& folder, std::initializer_list<std::string_view> extensions) {
  auto entries = listFolder(folder);
  if (!entries) return false;
  for (const DirEntry& e : *entries) {
    if (e.isDirectory) continue;
    const std::string extension = lowerExtension(e.name);
    for (std::string_view wanted : extensions) {
      if (extension == wanted && isRegularFile(joinPath(folder, e.name))) return true;
    }
  }
  return false;
}
}  // namespace

bool holdsDefinitionFile(const std::string& folder) { return holdsFileWithExtension(folder, {"frm", "ibd"}); }

bool holdsObjectFiles(const std::string& folder) { return holdsFileWithExtension(folder, {"frm", "ibd", "trg"}); }

Status mayWriteOutput(const RecoverySession& session, const std::string& systemTablespace, const std::string& path) {
  const bool intoData = !session.dataPath.empty() && liesWithin(path, session.dataPath);
  const bool overSystem = !systemTablespace.empty() && sameFile(path, systemTablespace);
  if (!intoData && !overSystem) return Ok{};
  return ioFailure(std::string(texts::kFileCannotBeCreated) + "\n" + path + texts::kNotIntoDataFolder);
}

std::vector<PassedOver> passedOverIn(const RecoverySession& session, const std::string& folder) {
  std::vector<PassedOver> passed;
  for (const PassedOver& p : session.passedOver) {
    if (p.path.size() > folder.size() + 1 && p.path.starts_with(folder) && p.path[folder.size()] == kSeparator &&
        p.path.find(kSeparator, folder.size() + 1) == std::string::npos) {
      passed.push_back(p);
    }
  }
  return passed;
}

const PassedOver* passedOverObject(const RecoverySession& session, const std::string& databaseFolder,
                                   const std::string& name) {
  for (const PassedOver& p : session.passedOver) {
    const std::string file = lastComponent(p.path);
    const size_t dot = file.rfind('.');
    if (p.path.size() > file.size() && p.path.substr(0, p.path.size() - file.size() - 1) == databaseFolder &&
        dot != std::string::npos && objectNameFromFileName(file.substr(0, dot)) == name) {
      return &p;
    }
  }
  return nullptr;
}

namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind(kSeparator);
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string databaseFolderOf(const RecoverySession& session, const NodeTarget& o) {
  if (o.kind == NodeTarget::Kind::Table && o.index < session.tables.size()) {
    return session.databaseFolders[size_t(session.tables[o.index].databaseIndex)];
  }
  if (o.kind == NodeTarget::Kind::View && o.index < session.viewFiles.size()) return folderOf(session.viewFiles[o.index]);
  if (o.kind == NodeTarget::Kind::Trigger && o.index < session.triggers.size()) {
    return session.triggers[o.index].folderPath;
  }
  return {};
}

std::vector<NodeTarget> objectsOfDatabase(const RecoverySession& session, size_t databaseIndex) {
  std::vector<NodeTarget> objects;
  const std::string& folder = session.databaseFolders[databaseIndex];
  for (size_t t = 0; t < session.tables.size(); ++t) {
    if (size_t(session.tables[t].databaseIndex) == databaseIndex) objects.push_back({NodeTarget::Kind::Table, t});
  }
  for (size_t v = 0; v < session.viewFiles.size(); ++v) {
    if (folderOf(session.viewFiles[v]) == folder) objects.push_back({NodeTarget::Kind::View, v});
  }
  for (size_t t = 0; t < session.triggers.size(); ++t) {
    if (session.triggers[t].folderPath == folder) objects.push_back({NodeTarget::Kind::Trigger, t});
  }
  return objects;
}

}  // namespace tavrin
