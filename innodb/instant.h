#pragma once
// Tables altered in place (MariaDB 10.3 on, ALGORITHM=INSTANT).
//
// The clustered index root gets the page type kInstantRootPageType and
// records the number of "core" fields that every record holds. Records
// written before a column was added hold only some of the fields; the rest
// take the values of a hidden metadata record, the first record of the
// leftmost leaf. After a column was dropped or the columns reordered, the
// metadata record carries a BLOB that maps the record's fields, from the
// first one after DB_ROLL_PTR, to the table's columns or to dropped columns.

#include <cstdint>
#include <optional>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"
#include "innodb/layout.h"

namespace tavrin {

// One field of the field map: a column of the table by its number among the
// stored columns, or a dropped column, with how it is stored.
struct FieldMapEntry {
  bool dropped = false;
  bool notNull = false;  // of a dropped column
  uint16_t index = 0;    // the column number; for a dropped column its length code
};

// The map kept in the metadata BLOB: a 4-byte count, then 2 bytes per field.
Result<std::vector<FieldMapEntry>> decodeFieldMap(ByteView blob);

// The layout of the records as stored: the leading fields (the clustering
// key, DB_TRX_ID, DB_ROLL_PTR) of `current`, then a field per map entry.
Result<ClusteredLayout> mappedLayout(const ClusteredLayout& current, const std::vector<FieldMapEntry>& map);

// Where the reference to the metadata BLOB lies in the metadata record of a
// compact-format table: after the key, whose variable-length fields the
// server writes empty there, DB_TRX_ID and DB_ROLL_PTR.
uint32_t metadataBlobOffset(const ClusteredLayout& layout);

// How the records of a table altered in place are read.
struct InstantRecords {
  size_t coreFields = 0;
  uint32_t coreNullBytes = 0;  // the null bitmap of a record of core fields
  // Per field from coreFields on: the value records without it take; none for NULL.
  std::vector<std::optional<std::vector<uint8_t>>> defaults;
};

// The fields of a compact leaf or node-pointer record of such a table: as
// many as its header says it holds (at least the core ones).
Status instantCompactFields(ByteView page, uint32_t origin, const std::vector<CompactFieldShape>& shapes,
                            const InstantRecords& instant, size_t count, std::vector<RecordField>& fields);

}  // namespace tavrin
