#include "innodb/layout.h"

#include <algorithm>

#include "base/text.h"

#include "tabledef/field_layout.h"

namespace tavrin {

namespace {

constexpr int32_t kLatin1SwedishCi = 8;

InnoDbField systemField(const char* name, uint32_t length) {
  InnoDbField f;
  f.mainType = MainType::System;
  f.preciseType = PreciseType::NotNull;
  f.length = length;
  f.fixedLength = length;
  f.systemName = name;
  return f;
}

void addShapes(ClusteredLayout& layout) {
  for (const InnoDbField& f : layout.fields) layout.shapes.push_back({f.fixedLength, f.nullable(), f.big()});
}

// A key field that holds the first `prefix` bytes of its column.
void keepPrefix(InnoDbField& f, uint32_t prefix) {
  f.keyPrefix = true;
  f.length = prefix;
  if (f.fixedLength > prefix) f.fixedLength = prefix;
}

// A FULLTEXT key needs a document id in every record: InnoDB adds one as
// the table's last column where the table has none of that name.
bool needsDocumentId(const TableDefinition& table) {
  const bool fulltext = std::any_of(table.keys.begin(), table.keys.end(),
                                    [](const KeyDefinition& k) { return k.flags & KeyFlag::Fulltext; });
  return fulltext && std::none_of(table.columns.begin(), table.columns.end(), [](const ColumnDefinition& c) {
           return asciiUpper(c.name) == "FTS_DOC_ID";
         });
}

ClusteredLayout orderFields(const TableDefinition& table, std::vector<InnoDbField> byColumn) {
  ClusteredLayout layout;
  const ClusteringKey key = clusteringKey(table);
  std::vector<bool> placed(byColumn.size(), false);
  if (key.columns.empty()) {
    layout.fields.push_back(systemField("DB_ROW_ID", 6));
  }
  for (size_t k = 0; k < key.columns.size(); ++k) {
    InnoDbField f = byColumn[key.columns[k]];
    if (const uint32_t prefix = key.prefixLengths[k]; prefix != 0) {
      // A prefix stands in the key; the whole column follows with the others.
      keepPrefix(f, prefix);
    } else {
      placed[key.columns[k]] = true;
    }
    layout.fields.push_back(f);
  }
  layout.keyFields = layout.fields.size();
  layout.fields.push_back(systemField("DB_TRX_ID", 6));
  layout.fields.push_back(systemField("DB_ROLL_PTR", 7));
  for (size_t i = 0; i < byColumn.size(); ++i) {
    if (!placed[i] && byColumn[i].column >= 0) layout.fields.push_back(byColumn[i]);
  }
  if (needsDocumentId(table)) layout.fields.push_back(systemField("FTS_DOC_ID", 8));
  addShapes(layout);
  return layout;
}

// The InnoDB main type of a column, and whether InnoDB takes its values as
// unsigned.
struct InnoDbType {
  int32_t mainType = MainType::FixBinary;
  bool isUnsigned = false;
};

// DATE is an integer; TIME, DATETIME and TIMESTAMP are too, except with
// fractional seconds (MariaDB 5.3 to 10.0), when they are byte strings.
InnoDbType temporalType(const ColumnDefinition& c) {
  if (c.fieldType == FieldType::Date || c.fieldType == FieldType::NewDate) return {MainType::Int, false};
  if (isHighResolutionTemporal(c)) return {MainType::FixBinary, false};
  return {MainType::Int, c.fieldType == FieldType::Timestamp};
}

// CHAR and VARCHAR: byte strings in the binary collation, the old string
// types in latin1_swedish_ci, else the server's own.
int32_t stringType(const ColumnDefinition& c, bool binary) {
  const bool varying = c.fieldType != FieldType::String;
  if (binary) return varying ? MainType::Binary : MainType::FixBinary;
  if (c.charsetId == kLatin1SwedishCi) return varying ? MainType::Varchar : MainType::Char;
  return varying ? MainType::VarMysql : MainType::Mysql;
}

InnoDbType innodbTypeOf(const ColumnDefinition& c, bool binary) {
  if (!c.dataTypeName.empty()) return {MainType::FixBinary, false};
  switch (c.fieldType) {
    case FieldType::Tiny:
    case FieldType::Short:
    case FieldType::Int24:
    case FieldType::Long:
    case FieldType::LongLong: return {MainType::Int, c.isUnsigned};
    case FieldType::Timestamp:
    case FieldType::NewDate:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime: return temporalType(c);
    case FieldType::Year:
    case FieldType::Enum:
    case FieldType::Set: return {MainType::Int, true};
    case FieldType::Float: return {MainType::Float, false};
    case FieldType::Double: return {MainType::Double, false};
    case FieldType::Decimal: return {MainType::Decimal, false};
    case FieldType::String:
    case FieldType::Varchar:
    case FieldType::VarString: return {stringType(c, binary), false};
    case FieldType::TinyBlob:
    case FieldType::Blob:
    case FieldType::MediumBlob:
    case FieldType::LongBlob:
    case FieldType::Json: return {MainType::Blob, false};
    case FieldType::Geometry: return {MainType::Geometry, false};
    default: return {MainType::FixBinary, false};  // DECIMAL, BIT and the 5.6 temporal types
  }
}

// The longest value in bytes: a VARCHAR's declared length, else its width in
// the row image.
uint32_t longestValue(const ColumnDefinition& c) {
  const bool varchar = c.fieldType == FieldType::Varchar || c.fieldType == FieldType::VarString;
  return varchar && c.dataTypeName.empty() ? c.fieldLength : packLength(c);
}

}  // namespace

uint32_t innodbFixedLength(int32_t mainType, uint32_t preciseType, uint32_t length, int32_t mbMinLength,
                           int32_t mbMaxLength) {
  bool fixed = false;
  switch (mainType) {
    case MainType::Char:
    case MainType::FixBinary:
    case MainType::Int:
    case MainType::System:
    case MainType::Float:
    case MainType::Double: fixed = true; break;
    // A CHAR whose characters differ in width is stored with its length.
    case MainType::Mysql: fixed = (preciseType & PreciseType::Binary) || mbMinLength == mbMaxLength; break;
    default: fixed = false;
  }
  return fixed && length <= kMaxFixedLength ? length : 0;
}

InnoDbField innodbFieldOf(const ColumnDefinition& c, const CollationCatalogue& catalogue) {
  const bool binary = c.charsetId == kBinaryCollation;
  const InnoDbType type = innodbTypeOf(c, binary);
  InnoDbField f;
  f.mainType = type.mainType;
  f.length = longestValue(c);
  f.preciseType = (c.nullable ? 0 : PreciseType::NotNull) | (type.isUnsigned ? PreciseType::Unsigned : 0) |
                  (binary ? PreciseType::Binary : 0) | (uint32_t(c.charsetId & 0x7FFF) << 16);
  if (MainType::isString(f.mainType)) {
    f.mbMinLength = catalogue.minBytesPerChar(c.charsetId);
    f.mbMaxLength = catalogue.maxBytesPerChar(c.charsetId);
  }
  f.position = c.fieldIndex;
  f.column = c.fieldIndex;
  f.fixedLength = innodbFixedLength(f.mainType, f.preciseType, f.length, f.mbMinLength, f.mbMaxLength);
  return f;
}

ClusteringKey clusteringKey(const TableDefinition& table) {
  // `wholeNotNull`: only keys of NOT NULL whole columns qualify.
  auto keyOf = [&](const KeyDefinition& key, bool wholeNotNull) {
    ClusteringKey k;
    for (const KeyPartDefinition& part : key.parts) {
      if (part.fieldNumber == 0 || part.fieldNumber > table.columns.size()) return ClusteringKey{};
      const ColumnDefinition& c = table.columns[part.fieldNumber - 1];
      const bool prefix = isPrefixPart(c, part.length);
      if (wholeNotNull && (c.nullable || prefix)) return ClusteringKey{};
      k.columns.push_back(part.fieldNumber - 1);
      k.prefixLengths.push_back(prefix ? part.length : 0);
    }
    return k;
  };
  for (const KeyDefinition& key : table.keys) {
    if (key.isPrimary()) return keyOf(key, false);
  }
  for (const KeyDefinition& key : table.keys) {
    if (!key.isUnique() || key.parts.empty()) continue;
    ClusteringKey k = keyOf(key, true);
    if (!k.columns.empty()) return k;
  }
  return {};
}

Result<ClusteredLayout> layoutFromDictionary(const TableDefinition& table, const DictionaryCache& dictionary,
                                             uint64_t tableId) {
  // Stored columns are numbered among themselves; virtual ones apart.
  std::vector<const SysColumnsRecord*> stored;
  for (const SysColumnsRecord& r : dictionary.sysColumns) {
    if (r.tableId != tableId || r.deleted || (r.preciseType & PreciseType::Virtual)) continue;
    // A damaged position past the table's columns names none of them.
    if (r.position >= table.columns.size()) continue;
    if (r.position >= stored.size()) stored.resize(r.position + 1, nullptr);
    stored[r.position] = &r;
  }
  std::vector<InnoDbField> byColumn(table.columns.size());
  uint32_t position = 0;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDefinition& c = table.columns[i];
    if (c.isVirtual) continue;
    const SysColumnsRecord* r = position < stored.size() ? stored[position] : nullptr;
    if (!r) return damaged("the InnoDB dictionary has no record of column " + c.name);
    InnoDbField& f = byColumn[i];
    f.mainType = r->mainType;
    f.preciseType = r->preciseType;
    f.length = r->length;
    f.position = int32_t(r->position);
    f.mbMinLength = r->mbMinLength;
    f.mbMaxLength = r->mbMaxLength;
    f.fixedLength = innodbFixedLength(f.mainType, f.preciseType, f.length, f.mbMinLength, f.mbMaxLength);
    f.column = int32_t(i);
    ++position;
  }
  return orderFields(table, std::move(byColumn));
}

ClusteredLayout layoutFromDefinition(const TableDefinition& table, const CollationCatalogue& catalogue) {
  std::vector<InnoDbField> byColumn(table.columns.size());
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (!table.columns[i].isVirtual) byColumn[i] = innodbFieldOf(table.columns[i], catalogue);
  }
  return orderFields(table, std::move(byColumn));
}

ClusteredLayout layoutFromStoredIndex(const TableDefinition& table, const StoredClusteredIndex& index,
                                      const CollationCatalogue& catalogue) {
  ClusteredLayout layout;
  for (const StoredIndexField& stored : index.fields) {
    if (stored.column < 0 || size_t(stored.column) >= table.columns.size()) {
      layout.fields.push_back(systemField(stored.systemName.c_str(), stored.systemName == "DB_ROLL_PTR" ? 7 : 6));
      continue;
    }
    InnoDbField f = innodbFieldOf(table.columns[size_t(stored.column)], catalogue);
    if (stored.prefixLength != 0) keepPrefix(f, stored.prefixLength);
    layout.fields.push_back(f);
  }
  layout.keyFields = index.keyFields;
  addShapes(layout);
  return layout;
}

}  // namespace tavrin
