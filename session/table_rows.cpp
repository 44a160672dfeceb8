#include "session/table_rows.h"

#include "base/path.h"
#include "innodb/sdi.h"
#include "myisam/definition_state.h"
#include "tabledef/definition_file.h"
#include "tabledef/frm_reader.h"

namespace tavrin {

namespace {

// A MyISAM table's data file, laid out as its index file says; where the
// index file is missing or unsound, as the definition says.
Result<std::unique_ptr<MyisamTable>> openMyisam(const TableDefinition& def, const std::string& folder,
                                                const std::string& name) {
  auto mydPath = findTableFile(folder, name, ".MYD");
  if (!mydPath) return missing("the data file " + name + ".MYD of the MyISAM table is missing from " + folder);
  auto myiPath = findTableFile(folder, name, ".MYI");
  std::string unsound = "the index file " + name + ".MYI is missing from " + folder;
  if (myiPath) {
    auto state = readMyiState(*myiPath);
    if (state) {
      auto table = MyisamTable::open(def, std::move(*state), *mydPath);
      if (table || table.kind() != ErrorKind::Damaged) return table;
      unsound = *myiPath + ": " + table.reason();
    } else if (state.kind() != ErrorKind::Damaged) {
      return state.failure();
    } else {
      unsound = state.reason();
    }
  }
  auto derived = stateFromDefinition(def);
  if (!derived) return derived.failure();
  return MyisamTable::open(def, std::move(*derived), *mydPath, std::move(unsound));
}

}  // namespace

Result<TableDefinition> TableRows::readDefinition(const std::string& folder, const std::string& name,
                                                  const CollationCatalogue& catalogue) {
  auto frmPath = findTableFile(folder, name, ".frm");
  if (frmPath) return readFrm(*frmPath, catalogue);
  // MySQL 8 keeps no .frm: the table's tablespace holds its definition.
  auto ibdPath = findTableFile(folder, name, ".ibd");
  if (!ibdPath) return missing("the definition file of table " + name + " is gone from " + folder);
  auto table = readTablespaceDefinition(*ibdPath, catalogue);
  if (!table) return table.failure();
  if (table->internal) {
    return unsupported(*ibdPath + ": the table " + table->name + " is one the server keeps for itself, not a user's");
  }
  return std::move(table->definition);
}

Result<std::unique_ptr<TableRows>> TableRows::open(const std::string& folder, const std::string& name,
                                                   const CollationCatalogue& catalogue,
                                                   const std::function<InnodbSystem()>& innodbSystem) {
  auto definition = readDefinition(folder, name, catalogue);
  if (!definition) return definition.failure();
  return open(folder, name, std::move(*definition), catalogue, innodbSystem);
}

Result<std::unique_ptr<TableRows>> TableRows::open(const std::string& folder, const std::string& name,
                                                   TableDefinition definition, const CollationCatalogue& catalogue,
                                                   const std::function<InnodbSystem()>& innodbSystem) {
  auto rows = std::unique_ptr<TableRows>(new TableRows());
  rows->definition_ = std::make_unique<TableDefinition>(std::move(definition));
  const TableDefinition& def = *rows->definition_;
  switch (def.engineCode) {
    case kEngineMyisam: {
      auto table = openMyisam(def, folder, name);
      if (!table) return table.failure();
      rows->rows_ = std::move(*table);
      return rows;
    }
    case kEngineInnodb: {
      auto ibdPath = findTableFile(folder, name, ".ibd");
      const InnodbSystem system = innodbSystem ? innodbSystem() : InnodbSystem{};
      auto table = InnodbTable::open(def, lastComponent(folder) + "/" + name, ibdPath, system, catalogue);
      if (!table) return table.failure();
      rows->rows_ = std::move(*table);
      return rows;
    }
    default: {
      const char* engine = storageEngineName(def.engineCode);
      return unsupported("the table " + objectNameFromFileName(name) + " uses the " +
                         (engine ? std::string(engine) + " storage engine (code " : "storage engine of code ") +
                         std::to_string(def.engineCode) + "); only MyISAM and InnoDB tables are read");
    }
  }
}

}  // namespace tavrin
