#pragma once
// The scan of a data folder into the object tree and the session lists that
// the tree's item data point into.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "session/object_tree.h"
#include "tabledef/definitions_script.h"

namespace tavrin {

struct TableEntry {
  int32_t databaseIndex = 0;  // into databaseFolders
  std::string name;           // the .frm (or MySQL 8's .ibd) file name less its extension
  // Defined by a CREATE TABLE of the user's definitions script, its own definition being gone.
  bool byScript = false;
};

struct TriggerEntry {
  std::string fileName;    // as found, extension included
  std::string folderPath;  // the database folder, without a trailing separator
};

// A file or folder the scan left out of the tree, and why.
struct PassedOver {
  std::string path;
  std::string reason;
};

struct RecoverySession {
  std::atomic<bool> stopRequested{false};
  // The user's CREATE TABLE statements, for tables whose own definitions
  // are gone, and with definitionsFirst for every table they name.
  std::shared_ptr<const DefinitionsScript> definitions;
  bool definitionsFirst = false;
  std::string dataPath;
  std::vector<std::string> databaseFolders;
  std::vector<TableEntry> tables;
  std::vector<std::string> viewFiles;
  std::vector<TriggerEntry> triggers;
  std::vector<PassedOver> passedOver;
  ObjectTree tree;
};

// Empties the session lists and the tree.
void ResetSession(RecoverySession& session);

// Appends the full path of every sub-folder of the data folder.
void ListDatabaseFolders(RecoverySession& session);

// Lists the tables (.frm starting 0xFE 0x01, and MySQL 8's .ibd files of
// user tables), views (.frm starting "TYPE=VIEW") and trigger files (.trg)
// of one database folder under its database node.
void ScanDatabaseFolder(RecoverySession& session, const std::string& folder, int32_t databaseIndex,
                        NodeId databaseNode, NodeId tablesNode);

// Builds the tree and the lists of a data folder: the folder itself is the
// only database when it has no sub-folder, else each sub-folder is one.
// Returns the data folder node. `progress` hears of each database folder
// listed, with the number of them.
using FolderProgress = std::function<void(size_t done, size_t total)>;
NodeId BuildObjectTree(RecoverySession& session, const std::string& dataPath, const FolderProgress& progress = {});

// What a node stands for, by its item data and its parent's.
struct NodeTarget {
  enum class Kind { None, Table, Keys, View, Trigger };
  Kind kind = Kind::None;
  size_t index = 0;  // into tables (Table; Keys: its table), viewFiles or triggers
};
NodeTarget resolveNode(const RecoverySession& session, NodeId node);

// The node of the table `name` (a child of a "Tables" group) in tree order;
// with an empty name, the first table's; kNoNode when there is none.
NodeId tableNode(const ObjectTree& tree, const std::string& name = {});

// Where the scanned folder's system tablespace may be, in the order to try:
// ibdata1 beside the databases, and, when the folder is one database folder,
// ibdata1 in the folder above it, where the server keeps it.
std::vector<std::string> systemTablespaceCandidates(const RecoverySession& session);

// True when a folder directly holds a regular file with the extension .frm
// or .ibd (which holds its table's definition from MySQL 8 on) in any case.
bool holdsDefinitionFile(const std::string& folder);
// The same for a .frm, .ibd or .TRG file: a database whose tables' definitions
// are gone may still hold their triggers.
bool holdsObjectFiles(const std::string& folder);

// Whether a file the tool writes may be at `path`: never inside the folder
// being recovered, nor over the system tablespace it reads.
Status mayWriteOutput(const RecoverySession& session, const std::string& systemTablespace, const std::string& path);

// What the scan passed over directly in `folder` (a database folder).
std::vector<PassedOver> passedOverIn(const RecoverySession& session, const std::string& folder);

// The entry passed over for the object `name` of a database folder, or null.
const PassedOver* passedOverObject(const RecoverySession& session, const std::string& databaseFolder,
                                   const std::string& name);

// The database folder an object of the session lies in; empty for others.
std::string databaseFolderOf(const RecoverySession& session, const NodeTarget& object);

// Every table, view and trigger file of the database folder.
std::vector<NodeTarget> objectsOfDatabase(const RecoverySession& session, size_t databaseIndex);

}  // namespace tavrin
