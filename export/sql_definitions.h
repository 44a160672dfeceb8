#pragma once
// The SQL statements that give a server back the definitions of recovered
// objects, written as the server's own SHOW CREATE writes them.

#include <string>
#include <string_view>

#include "tabledef/database_options.h"

namespace tavrin {

// CREATE DATABASE `name` /*!40100 DEFAULT CHARACTER SET cs COLLATE co */,
// with IF NOT EXISTS when `ifNotExists`.
std::string createDatabaseStatement(std::string_view name, const DatabaseOptions& options, bool ifNotExists);

}  // namespace tavrin
