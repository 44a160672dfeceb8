#pragma once
// The rows of one table of a scanned folder, a page at a time, whatever its
// storage engine.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/result.h"
#include "innodb/innodb_table.h"
#include "myisam/myisam_table.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

struct RecoverySession;

class TableRows {
 public:
  // The table `name` of the database folder: its definition, then the data
  // files of its engine (found whatever the case of their extensions). An
  // InnoDB table is read with the system tablespace's dictionary when there
  // is one.
  static Result<std::unique_ptr<TableRows>> open(const std::string& databaseFolder, const std::string& name,
                                                 const CollationCatalogue& catalogue,
                                                 const std::function<InnodbSystem()>& innodbSystem = {});
  // The same for a table whose definition was read already.
  static Result<std::unique_ptr<TableRows>> open(const std::string& databaseFolder, const std::string& name,
                                                 TableDefinition definition, const CollationCatalogue& catalogue,
                                                 const std::function<InnodbSystem()>& innodbSystem = {});

  // The definition of a table of a database folder: its .frm, else (MySQL 8
  // on) the one its .ibd holds.
  static Result<TableDefinition> readDefinition(const std::string& databaseFolder, const std::string& name,
                                                const CollationCatalogue& catalogue);

  // Table `table` of a scan, by the definition it is read by: its own
  // (.frm, the tablespace's), else the CREATE TABLE of the user's script (and
  // with definitionsFirst that one before its own). Pages that a script's
  // definition does not fit are tried with its other temporal layout.
  static Result<std::unique_ptr<TableRows>> open(const RecoverySession& session, size_t table,
                                                 const CollationCatalogue& catalogue,
                                                 const std::function<InnodbSystem()>& innodbSystem = {});
  static Result<TableDefinition> readDefinition(const RecoverySession& session, size_t table,
                                                const CollationCatalogue& catalogue);
  // Where a table of a scan takes its definition from when not from its own
  // files: "the CREATE TABLE of FILE line N"; empty otherwise.
  static std::string definedBy(const RecoverySession& session, size_t table);

  // Rows already opened by their reader, which reads through `definition`.
  static std::unique_ptr<TableRows> of(std::unique_ptr<TableDefinition> definition, std::unique_ptr<RowSource> rows);

  const TableDefinition& definition() const { return *definition_; }
  RowSource& rows() { return *rows_; }
  // BLOB/TEXT values of at least this many bytes show a marker in the display form.
  size_t largeValueLimit() const { return rows_->largeValueLimit(); }
  PageStart firstPage() const { return rows_->firstPage(); }
  // Up to `maxRows` rows from `start`.
  WalkEnd read(PageStart start, size_t maxRows, const RowSink& sink, const ReadOptions& options = {}) {
    return rows_->read(start, maxRows, sink, options);
  }

 private:
  std::unique_ptr<TableDefinition> definition_;
  std::unique_ptr<RowSource> rows_;
};

}  // namespace tavrin
