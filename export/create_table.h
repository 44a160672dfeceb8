#pragma once
// The CREATE TABLE statement of a recovered table, written as MariaDB's SHOW
// CREATE TABLE writes it, so that a server given it makes the same table:
// the same column types, character sets, defaults, keys and table options.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "render/time_zone.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// `autoIncrement` is the table's next AUTO_INCREMENT value where its files
// keep one; the statement names it when it is above 1, as the server does.
// TIMESTAMP defaults are written in `zone`. `keyBlockSizes` are the index
// block sizes an engine picked for each key itself (RowSource::keyBlockSizes),
// which the server shows instead of the definition's. Fails, with the
// reason, where the definition lacks what a faithful statement needs (an
// unknown type or collation, a damaged default record, a key on a column
// that is not there).
Result<std::string> createTableStatement(std::string_view name, const TableDefinition& definition,
                                         const CollationCatalogue& catalogue, std::optional<uint64_t> autoIncrement,
                                         const TimeZone& zone, const std::vector<uint16_t>& keyBlockSizes = {});

}  // namespace tavrin
