#pragma once
// The CREATE TABLE statements of a SQL script the user gives for tables
// whose own definitions are gone: a dump (with or without its rows), a
// schema file, or SHOW CREATE TABLE texts pasted one after another. USE and
// CREATE DATABASE name the database of the tables after them; DROP TABLE and
// CREATE VIEW end a table of that name (a dump's stand-in for a view); every
// other statement is passed by.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/create_table_parser.h"
#include "tabledef/table_definition.h"

namespace tavrin {

struct ScriptTable {
  std::string database;  // empty when the script names none before it
  std::string name;
  size_t line = 0;       // where its statement starts
  std::string statement;
  CreateTableContext context;
  TableDefinition definition;
};

struct DefinitionsScript {
  std::string path;
  CreateTableContext context;  // what the script's header says of its server
  std::vector<ScriptTable> tables;
  // The CREATE TABLE statements that could not be read, each with its line and why.
  std::vector<std::string> notes;

  // The table of that name (in any case) in `database`, else the one of
  // that name that the script puts in no database; null for none.
  const ScriptTable* find(std::string_view database, std::string_view table) const;
  // "FILE line N", where a table's statement is.
  std::string placeOf(const ScriptTable& table) const;
};

// A script held whole; `path` names it in notes.
Result<DefinitionsScript> readDefinitionsScript(std::string_view text, const CollationCatalogue& catalogue,
                                                const std::string& path = "the script");
// A script from a file, read a piece at a time however long it is.
Result<DefinitionsScript> loadDefinitionsScript(const std::string& path, const CollationCatalogue& catalogue);

// The definition again with TIME, DATETIME and TIMESTAMP in the other of
// the two layouts, for pages that the first did not fit.
Result<TableDefinition> withOtherTemporalLayout(const ScriptTable& table, const CollationCatalogue& catalogue);

}  // namespace tavrin
