#pragma once
// The recovery core as the front-ends use it: a folder opened once, its
// databases and objects found by the names the server gives them, a
// table's definition, CREATE TABLE statement and rows, the texts of views
// and triggers, a check of each object, and a save. It shows nothing and
// asks nothing: what it finds is a result, what it passes over a damage
// report, and the front-end decides what the user sees.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "render/time_zone.h"
#include "session/save_job.h"
#include "session/scan.h"
#include "session/structure_view.h"
#include "session/table_rows.h"
#include "tabledef/collation_catalogue.h"

namespace tavrin {

class SystemTablespace;

// What a folder is read with besides its own files.
struct SourceOptions {
  // A system tablespace to read instead of the one beside the databases.
  std::string ibdata;
  // A SQL script whose CREATE TABLE statements define the tables whose own
  // definitions are gone; with definitionsFirst every table they name.
  std::string definitions;
  bool definitionsFirst = false;
};

class Recovery {
 public:
  // The folder scanned as the server keeps it: itself the only database
  // when it holds definition or trigger files, else each sub-folder a
  // database. `ibdata` names a system tablespace to read instead of the one
  // beside the databases.
  static Result<std::unique_ptr<Recovery>> open(const std::string& folder, const CollationCatalogue& catalogue,
                                                const SourceOptions& options = {});
  // A recovery of nothing yet, for a front-end that scans when it is told to.
  explicit Recovery(const CollationCatalogue& catalogue);
  ~Recovery();

  // Scans `folder` (checked before) into the session, the lists and the
  // system tablespace of an earlier scan forgotten; `progress` hears of
  // each database folder.
  void scan(const std::string& folder, const FolderProgress& progress = {});
  // Reads the user's CREATE TABLE statements for the scans after; what in
  // them could not be read becomes a warning. An empty path forgets them.
  Status useDefinitions(const std::string& path, bool first);
  // Asks a scan or a save to end at its next file or statement.
  void requestStop() { session_.stopRequested = true; }
  void clearStop() { session_.stopRequested = false; }
  const std::atomic<bool>& stopFlag() const { return session_.stopRequested; }

  const RecoverySession& session() const { return session_; }
  NodeId dataFolderNode() const { return dataFolderNode_; }
  const CollationCatalogue& catalogue() const { return catalogue_; }
  // What the reading found worth saying that belongs to no one object, such
  // as a damaged InnoDB dictionary; each said once, then forgotten.
  std::vector<std::string> takeWarnings();

  // The index of a database, by its name.
  Result<size_t> findDatabase(const std::string& name) const;
  // An object of a database; `group` is "Tables", "Views" or "Trigger". An
  // object the scan passed over is named with why.
  Result<NodeTarget> findObject(const std::string& database, const std::string& group, const std::string& name,
                                const char* kind) const;
  // The name the server gives an object's database, and the object.
  std::string databaseOf(const NodeTarget& object) const;
  std::string nameOf(const NodeTarget& object) const;
  // What the scan passed over: in the folder, or in one database.
  std::vector<PassedOver> passedOver(std::optional<size_t> database = std::nullopt) const;

  // The system tablespace: the one named at open, else where the server
  // keeps it, read when a table first needs it.
  InnodbSystem innodbSystem();
  // Reads the system tablespace at `path` for the tables that need one;
  // its failure says why it is none.
  Status useSystemTablespace(const std::string& path);
  // The path of the system tablespace read, or empty.
  std::string systemTablespacePath() const;
  // Why the system tablespace found could not be read, if it could not.
  const std::optional<Failure>& systemTablespaceProblem() const { return systemProblem_; }

  Result<TableDefinition> definition(const NodeTarget& table) const;
  std::vector<StructureRow> structure(const TableDefinition& definition) const;
  // The table's rows; a failure says also why the system tablespace could
  // not be read, where that may be why.
  Result<std::unique_ptr<TableRows>> openTable(const NodeTarget& table);
  // The same with its definition read already.
  Result<std::unique_ptr<TableRows>> openTable(const NodeTarget& table, TableDefinition definition);
  // Where the table's definition comes from when not from its own files
  // ("the CREATE TABLE of FILE line N"); empty otherwise.
  std::string definedBy(const NodeTarget& table) const;
  // The table's CREATE TABLE statement with what its data files keep: the
  // next AUTO_INCREMENT value and the engine's key block sizes.
  struct CreateTable {
    std::string text;
    std::optional<Failure> noCounter;       // the data files that keep the counter cannot be read
    std::optional<Failure> counterLeftOut;  // damage: the counter they keep is past what its column holds
  };
  Result<CreateTable> createTable(const NodeTarget& table, const TimeZone& zone);
  // Whether an output file may be at `path`: never in the folder read, nor
  // over the system tablespace.
  Status mayWrite(const std::string& path) const;
  Result<std::string> viewText(const NodeTarget& view) const;
  Result<std::string> triggerText(const NodeTarget& triggers) const;

  // One object read whole: "table db.t: sound, 120 rows" and the like.
  struct ObjectCheck {
    std::string line;
    bool sound = false;
  };
  ObjectCheck check(const NodeTarget& object);

  // Saves the request's objects (SaveJob), with the system tablespace read
  // when a table first needs it.
  SaveReport save(const SaveRequest& request, const std::atomic<bool>& stop,
                  std::function<void(const SaveProgress&)> progress = {});

 private:
  void take(std::unique_ptr<SystemTablespace> space);
  // A table that could not be opened says also why the system tablespace
  // could not be read, where that may be why.
  Result<std::unique_ptr<TableRows>> withSystemProblem(Result<std::unique_ptr<TableRows>> rows) const;

  const CollationCatalogue& catalogue_;
  RecoverySession session_;
  NodeId dataFolderNode_ = kNoNode;
  bool systemLoaded_ = false;
  std::unique_ptr<SystemTablespace> system_;
  std::optional<Failure> systemProblem_;
  std::vector<std::string> warnings_;
};

}  // namespace tavrin
