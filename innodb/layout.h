#pragma once
// The clustered layout of an InnoDB table: the fields of its clustered-index
// records in their stored order (the clustering key, the transaction id and
// roll pointer, then every other stored column), with what the record walk
// and the field decoding need to know of each.

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "innodb/dictionary.h"
#include "innodb/records.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// A field longer than this is never stored with a fixed length.
inline constexpr uint32_t kMaxFixedLength = 768;

struct InnoDbField {
  int32_t mainType = 0;
  uint32_t preciseType = 0;
  uint32_t length = 0;  // the longest value in bytes
  int32_t position = 0;
  uint32_t fixedLength = 0;  // 0: stored with its length
  int32_t mbMinLength = 0;
  int32_t mbMaxLength = 0;
  int32_t column = -1;     // into TableDefinition.columns; -1 for a system field
  std::string systemName;  // DB_ROW_ID, DB_TRX_ID, DB_ROLL_PTR
  bool keyPrefix = false;  // a key field that holds a prefix of its column

  bool nullable() const { return !(preciseType & PreciseType::NotNull); }
  bool isUnsigned() const { return preciseType & PreciseType::Unsigned; }
  // Lengths above 127 take two bytes, and the value may be stored apart.
  bool big() const { return length > 255 || mainType == MainType::Blob || mainType == MainType::Geometry; }
};

struct ClusteredLayout {
  std::vector<InnoDbField> fields;
  size_t keyFields = 0;  // the leading fields that a node pointer holds
  std::vector<CompactFieldShape> shapes;
};

// The bytes a field always takes, or 0 when its length is stored.
uint32_t innodbFixedLength(int32_t mainType, uint32_t preciseType, uint32_t length, int32_t mbMinLength,
                           int32_t mbMaxLength);

// The InnoDB type of a column as the server gives it to InnoDB, from the
// table definition alone.
InnoDbField innodbFieldOf(const ColumnDefinition& column, const CollationCatalogue& catalogue);

// The columns that cluster the rows, in the key's order: those of the
// primary key, else of the first unique key of NOT NULL whole columns; none
// when InnoDB generated a row id.
struct ClusteringKey {
  std::vector<size_t> columns;
  std::vector<uint32_t> prefixLengths;  // 0 for a whole column
};
ClusteringKey clusteringKey(const TableDefinition& table);

// The layout from the dictionary's column types; fails when the dictionary
// lacks a stored column of the definition.
Result<ClusteredLayout> layoutFromDictionary(const TableDefinition& table, const DictionaryCache& dictionary,
                                             uint64_t tableId);
// The layout from the clustered index that a MySQL 8 tablespace describes.
ClusteredLayout layoutFromStoredIndex(const TableDefinition& table, const StoredClusteredIndex& index,
                                      const CollationCatalogue& catalogue);
// The layout from the table definition alone.
ClusteredLayout layoutFromDefinition(const TableDefinition& table, const CollationCatalogue& catalogue);

}  // namespace tavrin
