#pragma once
// A table's rows as text: the delimited and SQL forms the command line
// writes, and pages of the grid, each value decoded once and written by the
// formatters of render/.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "render/time_zone.h"
#include "session/grid_page.h"
#include "session/table_rows.h"
#include "tabledef/collation_catalogue.h"

namespace tavrin {

enum class RowFormat { Tsv, Csv, Sql };

struct RowsRequest {
  uint64_t page = 1;      // from 1; 0 for every page
  bool full = false;      // every value whole (SQL always is)
  bool deleted = false;   // the rows deleted but still on their pages, instead of the live ones
  RowFormat format = RowFormat::Tsv;
  TimeZone zone;          // of TIMESTAMP values
};

// Writes the rows `request` asks for to `write`, a piece of text at a time:
// first the column names (or the statements an SQL script starts with),
// then the rows. The result is what the walk passed over, with the dates
// and times no server stores, and why it stopped early if it did; a page past
// the last one fails.
Result<WalkEnd> writeRows(TableRows& table, const std::string& tableName, const CollationCatalogue& catalogue,
                          const RowsRequest& request, const std::function<void(std::string_view)>& write);

// Page `wanted` (from 1) of a table's rows to `sink`: the pages before it
// are walked without handing on their rows, and what they passed over is
// reported all the same. A page past the last one fails.
Result<WalkEnd> readPageNumber(RowSource& rows, uint64_t wanted, const RowSink& sink, const ReadOptions& read);

// One page of rows as the grid shows them, from `start`: in the display
// form, or with every value whole in the export form; `each` may change a
// row's cells once they are made (the values kept apart written to files).
struct GridRows {
  std::vector<std::vector<std::string>> rows;
  WalkEnd end;  // with the dates and times no server stores
};
using CellsHook = std::function<void(const RowValues& values, const std::vector<size_t>& shown,
                                     std::vector<std::string>& cells)>;
GridRows readGridRows(TableRows& table, const CollationCatalogue& catalogue, PageStart start, bool exportForm,
                      const TimeZone& zone, const CellsHook& each = {});

// The titles of the grid's columns for a table.
std::vector<std::string> gridTitles(const TableDefinition& definition);

// Page `number` (from 1) as the grid shows it, with its titles; what its
// walk passed over in `end`.
Result<GridPage> gridPageNumber(TableRows& table, const CollationCatalogue& catalogue, uint64_t number,
                                bool exportForm, const TimeZone& zone, WalkEnd& end);

}  // namespace tavrin
