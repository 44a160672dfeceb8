#include "export/sql_definitions.h"

#include "tabledef/definition_file.h"

namespace tavrin {

std::string createDatabaseStatement(std::string_view name, const DatabaseOptions& options, bool ifNotExists) {
  std::string text = std::string("CREATE DATABASE ") + (ifNotExists ? "IF NOT EXISTS " : "") + quoteIdentifier(name);
  if (options.charset.empty() && options.collation.empty()) return text;
  text += " /*!40100";
  if (!options.charset.empty()) text += " DEFAULT CHARACTER SET " + options.charset;
  if (!options.collation.empty()) text += " COLLATE " + options.collation;
  return text + " */";
}

}  // namespace tavrin
