#pragma once
// The type of a column as text: the structure view's, such as VARCHAR(20),
// DECIMAL(10,2) or ENUM('a','b'), and the server's own, as SHOW CREATE TABLE
// writes it, such as int(10) unsigned zerofill or datetime(6).

#include <string>

#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// The server's lower-case name of the column's type (varchar, varbinary,
// tinytext, point, ...), or null for a type code it does not know.
const char* typeName(const ColumnDefinition& column);

std::string columnTypeText(const ColumnDefinition& column, int32_t tableCharsetId,
                           const CollationCatalogue& catalogue);

// The type with its lengths and attributes as SHOW CREATE TABLE writes it;
// empty for a type code the server does not know.
std::string serverTypeText(const ColumnDefinition& column, int32_t tableCharsetId,
                           const CollationCatalogue& catalogue);

}  // namespace tavrin
