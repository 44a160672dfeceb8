#include "session/structure_view.h"

#include "tabledef/type_text.h"

namespace tavrin {

std::vector<StructureRow> structureRows(const TableDefinition& table, const CollationCatalogue& catalogue) {
  std::vector<StructureRow> rows;
  for (const ColumnDefinition& c : table.columns) {
    if (c.isSystemHidden()) continue;
    rows.push_back({c.name, columnTypeText(c, table.tableCharsetId, catalogue), std::to_string(c.fieldLength),
                    c.nullable ? "True" : "False",
                    c.inPrimaryKey ? "Primary Key" : c.inUniqueKey ? "Unique Key" : ""});
  }
  return rows;
}

}  // namespace tavrin
