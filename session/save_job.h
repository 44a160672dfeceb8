#pragma once
// Saving the objects of a scanned folder: into a server through a
// connection, or as one SQL script per database. Per database: the
// database, then every table with its rows, then the views in the order
// they read each other, then the triggers, after the rows so that they do
// not fire on them. Every object ends with an outcome; none is reported as
// saved that was not.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "export/server_link.h"
#include "innodb/innodb_table.h"
#include "session/scan.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/trigger_definition.h"

namespace tavrin {

class TableRows;

struct SaveRequest {
  enum class Mode { Script, Server };
  // Tables, views and trigger files of the session (NodeTarget kinds Table,
  // View and Trigger); other kinds are not saved.
  std::vector<NodeTarget> objects;
  // Databases (into the session's folders) made even where none of their
  // objects is saved, such as those saved whole.
  std::vector<size_t> databases;
  Mode mode = Mode::Script;
  std::string scriptFolder;  // Script: DATABASE.sql files go here
  bool force = false;        // Script: an existing script file is replaced
  ServerAddress address;     // Server
  ServerConnector connect;   // Server
  // An object that exists on the server is dropped and made again; in a
  // script, each object is preceded by its DROP ... IF EXISTS.
  bool replace = false;
  unsigned workers = 0;  // Server: tables saved at once; 0 is one per core
};

enum class SaveOutcome { Saved, SavedWithLosses, Skipped, Failed, NotSaved };

struct SavedObject {
  std::string database;
  std::string name;
  const char* kind = "table";  // database, table, view, trigger, triggers of table, or a file passed over
  SaveOutcome outcome = SaveOutcome::NotSaved;
  uint64_t rows = 0;   // tables: the rows saved
  std::string detail;  // why, for any outcome but Saved; what was lost

  // "table shop.items: saved, 120 rows", "view shop.v: failed: ..."
  std::string line() const;
};

struct SaveReport {
  std::vector<SavedObject> objects;
  uint64_t rows = 0;
  bool stopped = false;
  bool allSaved() const;
};

struct SaveProgress {
  std::string database;
  std::string table;
  uint64_t tableRows = 0;  // saved of this table so far
  uint64_t totalRows = 0;  // saved of every table so far
};

// The script file a database is saved to in `scriptFolder`: its name plus
// .sql where a file can carry the name, else its folder's name plus .sql.
std::string scriptPathOf(const std::string& scriptFolder, const std::string& database, const std::string& folder);

class SaveJob {
 public:
  // `innodbSystem` gives the system tablespace's dictionary; it is asked
  // once, before any table is read.
  SaveJob(const RecoverySession& session, const CollationCatalogue& catalogue,
          std::function<InnodbSystem()> innodbSystem);

  // Called after each statement of rows, from the thread that sent it; calls
  // do not overlap.
  void onProgress(std::function<void(const SaveProgress&)> progress) { progress_ = std::move(progress); }

  // Saves the request's objects; `stop` is honoured between statements.
  SaveReport run(const SaveRequest& request, const std::atomic<bool>& stop);

 private:
  struct Database;
  struct TableWork;
  std::vector<Database> databasesOf(const SaveRequest& request) const;
  std::vector<SavedObject> notBegun(const Database& database, const std::string& reason) const;
  // Makes the database and the current one; the options of its db.opt left
  // out are said in `leftOut`.
  Status beginDatabase(StatementTarget& target, const Database& database,
                       std::vector<std::string>* leftOut = nullptr) const;
  static SavedObject databaseMade(const Database& database, const std::vector<std::string>& leftOut);
  void saveDatabase(const Database& database, const SaveRequest& request, SaveReport& report);
  void saveScript(const Database& database, const SaveRequest& request, std::vector<SavedObject>& saved);
  void saveOnServer(const Database& database, const SaveRequest& request, std::vector<SavedObject>& saved);
  void saveTables(ServerConnection& first, const Database& database, const SaveRequest& request,
                  std::vector<SavedObject>& saved);
  SavedObject saveTable(StatementTarget& target, ServerConnection* server, const Database& database, size_t table,
                        bool replace);
  Status sendRows(StatementTarget& target, const Database& database, const std::string& name, TableRows& table,
                  TableWork& work);
  void addPassedOver(const Database& database, std::vector<SavedObject>& saved) const;
  std::vector<std::string> tablesNotMade(const Database& database, const std::vector<SavedObject>& saved) const;
  // Views that read a table or view in `unmade` are not made, and join it.
  void saveViews(StatementTarget& target, ServerConnection* server, const Database& database, bool replace,
                 std::vector<std::string>& unmade, std::vector<SavedObject>& saved);
  void saveTriggers(StatementTarget& target, ServerConnection* server, const Database& database, bool replace,
                    const std::vector<std::string>& unmade, std::vector<SavedObject>& saved);
  SavedObject saveTrigger(StatementTarget& target, ServerConnection* server, const Database& database,
                          const StoredTrigger& trigger, bool replace);
  void reportProgress(const std::string& database, const std::string& table, uint64_t tableRows, uint64_t added);
  bool stopped() const { return stop_ && stop_->load(std::memory_order_relaxed); }

  const RecoverySession& session_;
  const CollationCatalogue& catalogue_;
  std::function<InnodbSystem()> innodbSystemSource_;
  InnodbSystem innodbSystem_;
  std::function<void(const SaveProgress&)> progress_;
  const std::atomic<bool>* stop_ = nullptr;
  std::mutex progressMutex_;
  uint64_t totalRows_ = 0;  // guarded by progressMutex_
};

}  // namespace tavrin
