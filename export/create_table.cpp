#include "export/create_table.h"

#include "tabledef/definition_file.h"
#include "tabledef/type_text.h"

namespace tavrin {

std::string createTableStatement(std::string_view name, const TableDefinition& definition,
                                 const CollationCatalogue& catalogue, std::optional<uint64_t> autoIncrement) {
  std::string text = "CREATE TABLE " + quoteIdentifier(name) + " (\n";
  bool first = true;
  for (const ColumnDefinition& c : definition.columns) {
    if (c.isSystemHidden()) continue;
    if (!first) text += ",\n";
    first = false;
    text += "  " + quoteIdentifier(c.name) + " " + columnTypeText(c, definition.tableCharsetId, catalogue);
    if (!c.nullable) text += " NOT NULL";
  }
  text += "\n) ENGINE=";
  const char* engine = storageEngineName(definition.engineCode);
  text += engine ? engine : "MyISAM";
  if (autoIncrement && *autoIncrement > 1) text += " AUTO_INCREMENT=" + std::to_string(*autoIncrement);
  return text;
}

}  // namespace tavrin
