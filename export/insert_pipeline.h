#pragma once
// The rows of a table as multi-row INSERT statements, made by several
// threads at once while the rows are read and the statements sent: the
// reader copies rows into batches, formatters turn each batch into
// statements, and one sender hands them on in row order.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/row_values.h"
#include "tabledef/table_definition.h"

namespace tavrin {

struct PipelineEnd {
  WalkEnd walk;
  uint64_t sent = 0;        // rows of the statements `send` took
  uint64_t unreadable = 0;  // rows sent with NULL for a value kept apart that could not be read
  Status failure = Ok{};    // the first refusal of `send`; nothing is sent after it
};

class InsertPipeline {
 public:
  // Walks the rows into the sink, asking `stopped` between pages.
  using Walk = std::function<WalkEnd(const RowSink& sink, const std::function<bool()>& stopped)>;
  // Takes one statement (without a terminator) holding `rows` rows.
  using Send = std::function<Status(std::string_view statement, uint64_t rows)>;

  // `columns` index the table's columns that the statements give values for.
  InsertPipeline(const TableDefinition& table, const CollationCatalogue& catalogue, std::string tableName,
                 std::vector<size_t> columns, unsigned formatters);

  // Runs the walk to its end, or until `stopRequested` says yes or a
  // statement is refused.
  PipelineEnd run(const Walk& walk, const Send& send, const std::function<bool()>& stopRequested) const;

 private:
  const TableDefinition& table_;
  const CollationCatalogue& catalogue_;
  std::string tableName_;
  std::vector<size_t> columns_;
  unsigned formatters_;
};

}  // namespace tavrin
