#pragma once
// The SQL statements that give a server back the definitions of recovered
// objects, written as the server's own SHOW CREATE writes them.

#include <string>
#include <string_view>

#include <cstdint>
#include <vector>

#include "tabledef/database_options.h"
#include "tabledef/sql_text.h"
#include "tabledef/view_definition.h"

namespace tavrin {

// CREATE DATABASE `name` /*!40100 DEFAULT CHARACTER SET cs COLLATE co */,
// with IF NOT EXISTS when `ifNotExists`.
std::string createDatabaseStatement(std::string_view name, const DatabaseOptions& options, bool ifNotExists);

// CREATE ALGORITHM=... DEFINER=`user`@`host` SQL SECURITY ... VIEW `name`
// AS query, with its check option: the view as its definer made it.
std::string createViewStatement(std::string_view name, const StoredView& view);

// The names of the SQL mode bits a server keeps, such as a trigger's, in
// the form SET sql_mode takes.
std::string sqlModeNames(uint64_t bits);
// How a session of that mode reads quotes.
QuoteMode quoteModeOf(uint64_t bits);

// The names of the views a view's query reads, among `views` (all of one
// database): they must be made before it.
std::vector<size_t> viewsReadBy(const StoredView& view, std::string_view database,
                                const std::vector<std::string>& views);

}  // namespace tavrin
