#pragma once
// The layout of a MyISAM table's rows as the server lays it out from the
// table's definition: what the index (.MYI) file would say, for reading the
// data file when the index file is gone or unsound.

#include "base/result.h"
#include "myisam/myi_state.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// The row format, lengths and column descriptions of the table's rows; the
// counts and lengths of the data file are left at 0 (unknown). Whether the
// rows are compressed only the data file says.
Result<MyisamState> stateFromDefinition(const TableDefinition& table);

}  // namespace tavrin
