#pragma once
// A table's definition from MySQL 8's data dictionary, as the server keeps a
// copy of it in the table's tablespace: the JSON of a dd::Table ("dd_object"
// of an SDI record of type 1).

#include <string>
#include <string_view>

#include "base/result.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

struct SdiTable {
  std::string name;
  std::string schema;
  // A table the server keeps for itself (the full-text index's tables),
  // which no user sees.
  bool internal = false;
  TableDefinition definition;
};

// The definition, with the clustered index as the storage engine lays out
// its records. Columns added or dropped in place by row versions (8.0.29
// on) or by the older instant ADD COLUMN are refused as unsupported.
Result<SdiTable> definitionFromSdi(std::string_view json, const CollationCatalogue& catalogue);
// The name, schema and kind of the table alone, with no definition.
Result<SdiTable> sdiTableIdentity(std::string_view json);

}  // namespace tavrin
