#pragma once
// The InnoDB data dictionary kept in the system tablespace: the records of
// SYS_TABLES, SYS_COLUMNS and SYS_INDEXES, read from their fixed root pages.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "innodb/page.h"
#include "tabledef/collation_catalogue.h"

namespace tavrin {

// Bits of a column's precise type.
namespace PreciseType {
inline constexpr uint32_t NotNull = 0x100;
inline constexpr uint32_t Unsigned = 0x200;
inline constexpr uint32_t Binary = 0x400;
inline constexpr uint32_t Virtual = 0x2000;
inline uint32_t collation(uint32_t preciseType) { return (preciseType >> 16) & 0x7FFF; }
}  // namespace PreciseType

// InnoDB main types.
namespace MainType {
inline constexpr int32_t Varchar = 1;
inline constexpr int32_t Char = 2;
inline constexpr int32_t FixBinary = 3;
inline constexpr int32_t Binary = 4;
inline constexpr int32_t Blob = 5;
inline constexpr int32_t Int = 6;
inline constexpr int32_t System = 8;
inline constexpr int32_t Float = 9;
inline constexpr int32_t Double = 10;
inline constexpr int32_t Decimal = 11;
inline constexpr int32_t VarMysql = 12;
inline constexpr int32_t Mysql = 13;
inline constexpr int32_t Geometry = 14;
bool isString(int32_t mainType);
}  // namespace MainType

struct SysTablesRecord {
  std::string name;  // database/table, as the files are named
  uint64_t tableId = 0;
  uint32_t columnCount = 0;  // without the compact-format flag
  bool compact = false;      // COMPACT or DYNAMIC rows (else REDUNDANT)
  uint32_t tableType = 0;    // flags: bits 1-4 the compressed page size
  uint32_t spaceId = 0;
  bool deleted = false;
};

struct SysColumnsRecord {
  uint64_t tableId = 0;
  uint32_t position = 0;
  std::string name;
  int32_t mainType = 0;
  uint32_t preciseType = 0;  // completed with the default collation
  uint32_t length = 0;
  uint32_t precision = 0;
  int32_t mbMinLength = 0;
  int32_t mbMaxLength = 0;
  bool deleted = false;
};

struct SysIndexesRecord {
  uint64_t tableId = 0;
  uint64_t indexId = 0;
  std::string name;
  uint32_t fieldCount = 0;
  uint32_t indexType = 0;  // bit 0: clustered
  uint32_t spaceId = 0;
  uint32_t rootPage = 0;
  bool deleted = false;
};

struct DictionaryCache {
  std::vector<SysTablesRecord> sysTables;
  std::vector<SysColumnsRecord> sysColumns;
  std::vector<SysIndexesRecord> sysIndexes;
  std::optional<Failure> damage;  // the first damage met while reading, if any

  // The live record of a table named database/table, or null. A server
  // that folds names to lower case (lower_case_table_names, partitions
  // named #p# on such a server) keeps them so: where no name is the same,
  // one that differs only in case is taken.
  const SysTablesRecord* findTable(const std::string& name) const;
  // Why the dictionary has no live record of the table: none at all, or
  // only a record of it dropped.
  std::string whyNotFound(const std::string& name) const;
  // The root page of the table's clustered index, or 0.
  uint32_t clusteredRoot(uint64_t tableId) const;
  // The table's clustered index, or null.
  const SysIndexesRecord* clusteredIndex(uint64_t tableId) const;
};

// Reads the three dictionary trees. Damaged pages give fewer records and a
// reason; a file without a dictionary gives none.
DictionaryCache loadDictionary(const Tablespace& system, const CollationCatalogue& catalogue);

}  // namespace tavrin
