#pragma once
// What no live table owns: the InnoDB index pages of a source (a data
// folder's ibdata1 and tablespaces, a disk image, a partition, a carved
// file) grouped by tablespace and index, each group named by the table of
// the user's CREATE TABLE statements whose definition fits its records.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "session/table_rows.h"
#include "innodb/page_carver.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/definitions_script.h"

namespace tavrin {

struct LostIndex {
  std::string file;  // where its pages were found
  CarvedIndex index;
  const ScriptTable* table = nullptr;  // the statement whose definition fits, if one does
  std::string why;                     // why none fits, where a script was given
};

struct LostReport {
  std::vector<LostIndex> indexes;  // with leaves, by file, space id and index id
  uint64_t bytesRead = 0;
  uint64_t pagesFound = 0;
  bool stopped = false;
};

// Scans `source`: a file, or a folder's ibdata1 and the .ibd files of it and
// of its sub-folders. `progress` hears of the bytes read of all files.
Result<LostReport> findLostIndexes(const std::string& source, const DefinitionsScript* definitions,
                                   const CollationCatalogue& catalogue, const std::atomic<bool>& stop,
                                   const CarveProgress& progress = {});

// The rows of a lost index read by `definition`: its tree from the page of
// the highest level found, its leaves found by scanning where the tree or
// the chain of leaves is broken.
Result<std::unique_ptr<TableRows>> openLostTable(const LostIndex& lost, const TableDefinition& definition,
                                                 const CollationCatalogue& catalogue);

}  // namespace tavrin
