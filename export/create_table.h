#pragma once
// The CREATE TABLE statement of a recovered table, written as the server's
// SHOW CREATE TABLE writes it, so that a server given it makes the same table.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// `autoIncrement` is the table's next AUTO_INCREMENT value where its files
// keep one; the statement names it when it is above 1.
std::string createTableStatement(std::string_view name, const TableDefinition& definition,
                                 const CollationCatalogue& catalogue, std::optional<uint64_t> autoIncrement);

}  // namespace tavrin
