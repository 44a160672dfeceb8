#pragma once
// A table's definition from the text of its CREATE TABLE statement, as a
// dump, a schema file or SHOW CREATE TABLE gives it: for a table whose own
// definition (.frm, dictionary, SDI) is gone. The definition is what the
// server would have written into its .frm for that statement.

#include <string>
#include <string_view>

#include "base/result.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// What a CREATE TABLE text leaves to the server it was run on.
struct CreateTableContext {
  // TIME, DATETIME and TIMESTAMP in the layouts of MySQL 5.6.4 and MariaDB
  // 10.1 on; false for the older layouts of the servers before them.
  bool newTemporalFormat = true;
  uint32_t serverVersion = 0;  // such as 50538, where the script says; 0 when it does not
};

struct ParsedTable {
  std::string database;  // as the statement names it; empty when it does not
  std::string name;
  TableDefinition definition;
};

// `statement` is one CREATE TABLE statement without its delimiter; the
// versioned comments (/*!50100 ... */, /*M!100100 ... */) are read as a
// server that runs them.
Result<ParsedTable> parseCreateTable(std::string_view statement, const CollationCatalogue& catalogue,
                                     const CreateTableContext& context = {});

}  // namespace tavrin
