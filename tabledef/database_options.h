#pragma once
// The options a database folder keeps in its db.opt file: the default
// character set and collation of its tables.

#include <string>
#include <string_view>

#include "base/result.h"

namespace tavrin {

struct DatabaseOptions {
  std::string charset;    // empty when the file names none
  std::string collation;
};

// The options of the database folder; none (empty) when it has no db.opt.
Result<DatabaseOptions> readDatabaseOptions(const std::string& databaseFolder);
DatabaseOptions parseDatabaseOptions(std::string_view text);

}  // namespace tavrin
