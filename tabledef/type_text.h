#pragma once
// The SQL-style type name of a column shown in a table's structure, such as
// VARCHAR(20), DECIMAL(10,2) or ENUM('a','b').

#include <string>

#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

std::string columnTypeText(const ColumnDefinition& column, int32_t tableCharsetId,
                           const CollationCatalogue& catalogue);

}  // namespace tavrin
