#pragma once
// The options a database folder keeps in its db.opt file: the default
// character set and collation of its tables.

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "tabledef/collation_catalogue.h"

namespace tavrin {

struct DatabaseOptions {
  std::string charset;    // empty when the file names none
  std::string collation;
};

// The options of the database folder; none (empty) when it has no db.opt.
Result<DatabaseOptions> readDatabaseOptions(const std::string& databaseFolder);
DatabaseOptions parseDatabaseOptions(std::string_view text);

// The options whose character set and collation the catalogue knows (any
// plain name where there is no catalogue): db.opt is a text anyone can
// write, and its names go into a statement unquoted. Each one left out is
// said in `leftOut`.
DatabaseOptions knownDatabaseOptions(const DatabaseOptions& options, const CollationCatalogue& catalogue,
                                     std::vector<std::string>& leftOut);

}  // namespace tavrin
