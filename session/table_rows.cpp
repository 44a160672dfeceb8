#include "session/table_rows.h"

#include <algorithm>
#include <map>

#include "base/file.h"
#include "base/path.h"
#include "innodb/sdi.h"
#include "myisam/definition_state.h"
#include "session/partitioned_rows.h"
#include "session/scan.h"
#include "tabledef/definition_file.h"
#include "tabledef/definitions_script.h"
#include "tabledef/frm_reader.h"
#include "tabledef/partition_file.h"

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

// The tablespace file that the link file (.isl) of a table made with DATA
// DIRECTORY names; none without a link file.
Result<std::optional<std::string>> linkTarget(const std::string& folder, const std::string& name) {
  const auto linkPath = findTableFile(folder, name, ".isl");
  if (!linkPath) return std::optional<std::string>();
  constexpr uint64_t kLongestPath = 4096;
  auto link = readSmallFile(*linkPath, kLongestPath);
  if (!link) return link.failure();
  std::string target(link->begin(), link->end());
  while (!target.empty() && (target.back() == '\n' || target.back() == '\r' || target.back() == '\0')) target.pop_back();
  if (target.empty()) return damaged(*linkPath + ": the link file names no tablespace file");
  return std::optional<std::string>(target);
}

// The table's own tablespace: beside its definition, else where its link
// file says; none when neither is there, as for a table kept in the system
// tablespace.
Result<std::optional<std::string>> ownTablespace(const std::string& folder, const std::string& name) {
  if (auto beside = findTableFile(folder, name, ".ibd")) return beside;
  auto target = linkTarget(folder, name);
  if (!target || !*target) return target;
  if (!isRegularFile(**target)) {
    return missing("the tablespace file " + **target + " that " + joinPath(folder, name + ".isl") +
                   " names is missing (copy it beside the link file, or to where it names)");
  }
  return target;
}

// The space id of a tablespace file: its first page's, or where that is
// damaged, the one the pages after it carry.
std::optional<uint32_t> spaceIdOf(const std::string& path) {
  auto space = Tablespace::open(path);
  return space ? space->spaceId() : std::nullopt;
}

// The tablespace file of the data folder (or of one of its databases) that
// holds space `spaceId`: a general tablespace several tables share, or a
// table's file renamed or moved.
std::optional<std::string> tablespaceOfSpace(const std::string& databaseFolder, uint32_t spaceId) {
  const std::string dataFolder = databaseFolder.substr(0, databaseFolder.size() - lastComponent(databaseFolder).size());
  std::vector<std::string> folders = {databaseFolder};
  if (!dataFolder.empty()) {
    folders.push_back(stripTrailingSeparators(dataFolder));
    if (auto entries = listFolder(folders.back())) {
      for (const DirEntry& e : *entries) {
        if (e.isDirectory) folders.push_back(joinPath(folders[1], e.name));
      }
    }
  }
  for (const std::string& folder : folders) {
    auto entries = listFolder(folder);
    if (!entries) continue;
    for (const DirEntry& e : *entries) {
      if (e.isDirectory || lowerExtension(e.name) != "ibd") continue;
      const std::string path = joinPath(folder, e.name);
      if (spaceIdOf(path) == spaceId) return path;
    }
  }
  return std::nullopt;
}

// The rows of one table's files, `fileBase` being their name less extension.
Result<std::unique_ptr<RowSource>> openEngine(uint8_t engine, const TableDefinition& def, const std::string& folder,
                                              const std::string& fileBase, const CollationCatalogue& catalogue,
                                              const std::function<InnodbSystem()>& innodbSystem) {
  switch (engine) {
    case kEngineMyisam: {
      auto table = openMyisam(def, folder, fileBase);
      if (!table) return table.failure();
      return std::unique_ptr<RowSource>(std::move(*table));
    }
    case kEngineInnodb: {
      auto ibdPath = ownTablespace(folder, fileBase);
      if (!ibdPath) return ibdPath.failure();
      const InnodbSystem system = innodbSystem ? innodbSystem() : InnodbSystem{};
      const std::string name = lastComponent(folder) + "/" + fileBase;
      const SysTablesRecord* known = system.dictionary ? system.dictionary->findTable(name) : nullptr;
      if (!*ibdPath && known && known->spaceId != 0) *ibdPath = tablespaceOfSpace(folder, known->spaceId);
      auto table = InnodbTable::open(def, name, *ibdPath, system, catalogue);
      if (!table) return table.failure();
      return std::unique_ptr<RowSource>(std::move(*table));
    }
    default: {
      const char* name = storageEngineName(engine);
      return unsupported("the table " + objectNameFromFileName(fileBase) + " uses the " +
                         (name ? std::string(name) + " storage engine (code " : "storage engine of code ") +
                         std::to_string(engine) + "); only MyISAM and InnoDB tables are read");
    }
  }
}

// The engine a partitioned table's partitions use, as its definition names it.
uint8_t partitionEngineOf(const TableDefinition& def) {
  if (def.engineCode != kEnginePartitioned) return def.engineCode;
  for (const uint8_t code : {kEngineInnodb, kEngineMyisam}) {
    const char* name = storageEngineName(code);
    if (name && def.options.engineName == name) return code;
  }
  return kEnginePartitioned;
}

// Without a partition file, the partitions are those the definition's
// PARTITION BY clause makes, their files found by their names.
std::vector<PartitionEntry> partitionsByDefinition(const TableDefinition& def, const std::string& folder,
                                                   const std::string& name) {
  std::map<std::string, std::string> fileNames;  // partition name -> its name in the files
  const std::string marker = asciiLower(name + "#P#");
  if (auto entries = listFolder(folder)) {
    for (const DirEntry& e : *entries) {
      const size_t dot = e.name.rfind('.');
      const std::string stem = e.name.substr(0, dot);
      if (e.isDirectory || asciiLower(stem.substr(0, marker.size())) != marker) continue;
      std::string part = stem.substr(marker.size());
      const size_t sub = asciiLower(part).find("#sp#");
      const std::string decoded = sub == std::string::npos ? objectNameFromFileName(part)
                                  : objectNameFromFileName(part.substr(0, sub)) + "#SP#" + objectNameFromFileName(part.substr(sub + 4));
      fileNames.emplace(decoded, part);
    }
  }
  std::vector<PartitionEntry> partitions;
  for (const std::string& partition : partitionNamesFromClause(def.options.partitioning)) {
    const auto found = fileNames.find(partition);
    partitions.push_back({found == fileNames.end() ? partition : found->second, partitionEngineOf(def)});
  }
  return partitions;
}

// Every partition, in the order of the partition file, else of the
// definition. A partition that cannot be opened is left out and told with
// the first page; when none can be, the first one's reason is the table's.
Result<std::unique_ptr<RowSource>> openPartitioned(const TableDefinition& def, const std::string& folder,
                                                   const std::string& name, const CollationCatalogue& catalogue,
                                                   const std::function<InnodbSystem()>& innodbSystem) {
  std::vector<PartitionEntry> entries;
  if (const auto parPath = findTableFile(folder, name, ".par")) {
    auto listed = readPartitionFile(*parPath);
    if (!listed) return listed.failure();
    entries = std::move(*listed);
  } else {
    entries = partitionsByDefinition(def, folder, name);
  }
  std::vector<PartitionedRows::Partition> partitions;
  std::optional<Failure> firstFailure;
  for (const PartitionEntry& entry : entries) {
    PartitionedRows::Partition p{objectNameFromFileName(entry.name), nullptr, std::nullopt};
    auto source = openEngine(entry.engine, def, folder, partitionFileBase(name, entry), catalogue, innodbSystem);
    if (source) {
      p.rows = std::move(*source);
    } else {
      p.problem = source.failure();
      if (!firstFailure) firstFailure = source.failure();
    }
    partitions.push_back(std::move(p));
  }
  const bool anyReadable = std::any_of(partitions.begin(), partitions.end(), [](const auto& p) { return p.rows != nullptr; });
  if (!anyReadable) return *firstFailure;
  return std::unique_ptr<RowSource>(std::make_unique<PartitionedRows>(std::move(partitions)));
}

}  // namespace

Result<TableDefinition> TableRows::readDefinition(const std::string& folder, const std::string& name,
                                                  const CollationCatalogue& catalogue) {
  auto frmPath = findTableFile(folder, name, ".frm");
  if (!frmPath) {
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
  auto definition = readFrm(*frmPath, catalogue);
  if (definition && definition->engineCode == kEngineInnodb) {
    // The server shows the folder DATA DIRECTORY named: the link's target less DATABASE/TABLE.ibd.
    if (auto target = linkTarget(folder, name); target && *target) {
      const std::string& path = **target;
      const size_t file = path.rfind(kSeparator);
      const size_t database = file == std::string::npos || file == 0 ? std::string::npos : path.rfind(kSeparator, file - 1);
      if (database != std::string::npos) definition->options.dataDirectory = path.substr(0, database + 1);
    }
  }
  return definition;
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
  // MySQL 5.7 keeps InnoDB's partitions with the InnoDB engine code and no partition file.
  const bool partitioned = def.engineCode == kEnginePartitioned || !def.options.partitioning.empty();
  auto source = partitioned ? openPartitioned(def, folder, name, catalogue, innodbSystem)
                    : openEngine(def.engineCode, def, folder, name, catalogue, innodbSystem);
  if (!source) return source.failure();
  rows->rows_ = std::move(*source);
  return rows;
}

namespace {

// The statement of the user's script that defines table `table` of the scan, where one does.
const ScriptTable* scriptTableOf(const RecoverySession& session, size_t table) {
  const TableEntry& entry = session.tables[table];
  if (!session.definitions || !(entry.byScript || session.definitionsFirst)) return nullptr;
  const std::string& folder = session.databaseFolders[size_t(entry.databaseIndex)];
  return session.definitions->find(objectNameFromFileName(lastComponent(folder)), objectNameFromFileName(entry.name));
}

bool hasTemporalColumn(const TableDefinition& def) {
  return std::any_of(def.columns.begin(), def.columns.end(), [](const ColumnDefinition& c) {
    return c.fieldType == FieldType::Time || c.fieldType == FieldType::Time2 || c.fieldType == FieldType::DateTime ||
           c.fieldType == FieldType::DateTime2 || c.fieldType == FieldType::Timestamp ||
           c.fieldType == FieldType::Timestamp2;
  });
}

}  // namespace

std::unique_ptr<TableRows> TableRows::of(std::unique_ptr<TableDefinition> definition,
                                         std::unique_ptr<RowSource> rows) {
  auto table = std::unique_ptr<TableRows>(new TableRows());
  table->definition_ = std::move(definition);
  table->rows_ = std::move(rows);
  return table;
}

Result<TableDefinition> TableRows::readDefinition(const RecoverySession& session, size_t table,
                                                  const CollationCatalogue& catalogue) {
  if (const ScriptTable* script = scriptTableOf(session, table)) return script->definition;
  const TableEntry& entry = session.tables[table];
  return readDefinition(session.databaseFolders[size_t(entry.databaseIndex)], entry.name, catalogue);
}

std::string TableRows::definedBy(const RecoverySession& session, size_t table) {
  const ScriptTable* script = scriptTableOf(session, table);
  return script ? "the CREATE TABLE of " + session.definitions->placeOf(*script) : std::string();
}

Result<std::unique_ptr<TableRows>> TableRows::open(const RecoverySession& session, size_t table,
                                                   const CollationCatalogue& catalogue,
                                                   const std::function<InnodbSystem()>& innodbSystem) {
  const TableEntry& entry = session.tables[table];
  const std::string& folder = session.databaseFolders[size_t(entry.databaseIndex)];
  const ScriptTable* script = scriptTableOf(session, table);
  if (!script) return open(folder, entry.name, catalogue, innodbSystem);
  auto rows = open(folder, entry.name, script->definition, catalogue, innodbSystem);
  if (rows || !hasTemporalColumn(script->definition)) return rows;
  // A dump names no layout of its times; the pages may hold the other one.
  auto other = withOtherTemporalLayout(*script, catalogue);
  if (!other) return rows;
  auto retried = open(folder, entry.name, std::move(*other), catalogue, innodbSystem);
  return retried ? std::move(retried) : std::move(rows);
}

}  // namespace tavrin
