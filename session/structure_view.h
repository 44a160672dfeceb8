#pragma once
// The structure of a table as its "Keys" node shows it: one row per column
// with its name, type, size, whether it allows NULL and its key.

#include <array>
#include <string>
#include <vector>

#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

using StructureRow = std::array<std::string, 5>;

inline const StructureRow kStructureHeadings = {"Column Name", "Data Type", "size", "Allow Nulls", "Key Name"};

// The columns that the server shows; those it adds itself (row versions,
// hashes of long unique keys) are left out as the server leaves them out.
std::vector<StructureRow> structureRows(const TableDefinition& table, const CollationCatalogue& catalogue);

}  // namespace tavrin
