#include "tabledef/sdi_definition.h"

#include <optional>

#include "base/json.h"
#include "base/text.h"
#include "tabledef/charset.h"
#include "tabledef/definition_file.h"
#include "tabledef/sql_text.h"
#include "tabledef/field_layout.h"

namespace tavrin {

namespace {

// dd::Column::enum_hidden_type
constexpr uint64_t kVisible = 1, kHiddenBySe = 2, kHiddenBySql = 3, kHiddenByUser = 4;
// dd::Index::enum_index_type
constexpr uint64_t kPrimaryIndex = 1, kUniqueIndex = 2, kFulltextIndex = 4, kSpatialIndex = 5;
constexpr uint64_t kDescendingElement = 3;  // dd::Index_element::enum_index_element_order
constexpr uint64_t kWholeColumn = 0xFFFFFFFF;
// No field takes more of a row image: a VARCHAR of 65,535 bytes and its length.
constexpr uint32_t kMaxFieldBytes = 65537;  // an element's length when it holds all of its column

// dd::Column::enum_column_types, from 1: each the server's field type.
constexpr FieldType kDdColumnTypes[] = {
    FieldType::Decimal,    FieldType::Tiny,       FieldType::Short,      FieldType::Long,     FieldType::Float,
    FieldType::Double,     FieldType::Null,       FieldType::Timestamp,  FieldType::LongLong, FieldType::Int24,
    FieldType::Date,       FieldType::Time,       FieldType::DateTime,   FieldType::Year,     FieldType::NewDate,
    FieldType::Varchar,    FieldType::Bit,        FieldType::Timestamp2, FieldType::DateTime2, FieldType::Time2,
    FieldType::NewDecimal, FieldType::Enum,       FieldType::Set,        FieldType::TinyBlob, FieldType::MediumBlob,
    FieldType::LongBlob,   FieldType::Blob,       FieldType::VarString,  FieldType::String,   FieldType::Geometry,
    FieldType::Json};

// MySQL 8's own collations are not in the catalogue, which is MariaDB's:
// each stands for the collation of its character set there that compares alike.
int32_t catalogueCollation(uint64_t id) {
  constexpr uint64_t kFirstUca900 = 255, kLastUca900 = 323, kUca900Binary = 309, kUtf8mb3Tolower = 76;
  constexpr int32_t kUtf8mb4General = 45, kUtf8mb4Binary = 46, kUtf8mb3General = 33;
  if (id == kUca900Binary) return kUtf8mb4Binary;
  if (id >= kFirstUca900 && id <= kLastUca900) return kUtf8mb4General;
  if (id == kUtf8mb3Tolower) return kUtf8mb3General;
  return int32_t(id & 0x7FFFFFFF);
}

uint64_t numberOf(const JsonValue& object, std::string_view key, uint64_t fallback = 0) {
  const JsonValue* v = object.find(key);
  const std::optional<uint64_t> n = v ? v->asUnsigned() : std::nullopt;
  return n ? *n : fallback;
}

// The dictionary writes some flags as booleans and others as 0 or 1.
bool flagOf(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.find(key);
  if (!v) return false;
  return v->kind == JsonValue::Kind::Boolean ? v->boolean : numberOf(object, key) != 0;
}

std::string textOf(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.find(key);
  return v && v->kind == JsonValue::Kind::String ? v->text : std::string();
}

const std::vector<JsonValue>* arrayOf(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.find(key);
  return v && v->kind == JsonValue::Kind::Array ? &v->items : nullptr;
}

// The value of `key` in the dictionary's "key=value;key=value;" lists.
std::optional<std::string> property(std::string_view list, std::string_view key) {
  for (size_t start = 0; start < list.size();) {
    size_t end = list.find(';', start);
    if (end == std::string_view::npos) end = list.size();
    const std::string_view item = list.substr(start, end - start);
    const size_t equals = item.find('=');
    if (equals != std::string_view::npos && item.substr(0, equals) == key) return std::string(item.substr(equals + 1));
    start = end + 1;
  }
  return std::nullopt;
}

uint64_t numericProperty(std::string_view list, std::string_view key) {
  const std::optional<std::string> text = property(list, key);
  uint64_t value = 0;
  for (char c : text.value_or("")) {
    if (c < '0' || c > '9' || value > UINT32_MAX) return 0;
    value = value * 10 + uint64_t(c - '0');
  }
  return value;
}

bool isSystemField(const std::string& name, uint64_t hidden) {
  return hidden == kHiddenBySe && (name == "DB_ROW_ID" || name == "DB_TRX_ID" || name == "DB_ROLL_PTR");
}

uint8_t invisibilityOf(uint64_t hidden) {
  switch (hidden) {
    case kHiddenByUser: return 1;
    case kHiddenBySe: return 2;
    case kHiddenBySql: return 3;
    default: return 0;
  }
}

uint8_t uniregCheckOf(const JsonValue& c) {
  if (flagOf(c, "is_auto_increment")) return Unireg::NextNumber;
  const bool defaultNow = textOf(c, "default_option").starts_with("CURRENT_TIMESTAMP");
  const bool updateNow = textOf(c, "update_option").starts_with("CURRENT_TIMESTAMP");
  return defaultNow && updateNow ? Unireg::DefaultAndUpdateNow
         : defaultNow            ? Unireg::DefaultNow
         : updateNow             ? Unireg::UpdateNow
                                 : 0;
}

// ENUM and SET names: base64 of their bytes in the column's character set.
Status readValueNames(ColumnDefinition& c, const JsonValue& column, const CollationCatalogue& catalogue) {
  const std::vector<JsonValue>* elements = arrayOf(column, "elements");
  if (!elements) return Ok{};
  const TextDecoder decoder(catalogue.charsetName(c.charsetId));
  for (const JsonValue& element : *elements) {
    const std::optional<std::string> bytes = base64Decoded(textOf(element, "name"));
    if (!bytes) return damaged("a value name of column " + c.name + " is not base64");
    c.intervalValues.push_back(decoder.decode(ByteView(*bytes)));
  }
  c.intervalText = quotedList(c.intervalValues);
  return Ok{};
}

void readNumericDetails(ColumnDefinition& c, const JsonValue& column) {
  const bool scaled = !flagOf(column, "numeric_scale_null");
  const uint64_t scale = numberOf(column, "numeric_scale");
  if (c.fieldType == FieldType::NewDecimal || c.fieldType == FieldType::Decimal) {
    c.precision = int32_t(std::min<uint64_t>(numberOf(column, "numeric_precision"), kMaxDecimalPrecision));
    c.decimals = int32_t(std::min<uint64_t>(scale, PackFlag::NoDecimals));
  } else if ((c.fieldType == FieldType::Float || c.fieldType == FieldType::Double) && scaled) {
    c.precision = int32_t(std::min<uint64_t>(numberOf(column, "numeric_precision"), UINT16_MAX));
    c.decimals = int32_t(std::min<uint64_t>(scale, PackFlag::NoDecimals - 1));
  }
  const uint16_t declared = scaled ? uint16_t(c.decimals) : PackFlag::NoDecimals;
  c.packFlags |= uint16_t(declared << PackFlag::DecimalsShift);
}

Result<ColumnDefinition> columnOf(const JsonValue& column, size_t index, const CollationCatalogue& catalogue) {
  ColumnDefinition c;
  c.name = textOf(column, "name");
  const uint64_t type = numberOf(column, "type");
  if (type < 1 || type > std::size(kDdColumnTypes)) {
    return unsupported("column " + c.name + " has the type code " + std::to_string(type) +
                       ", which the data dictionary does not define");
  }
  c.fieldType = kDdColumnTypes[type - 1];
  c.fieldIndex = int32_t(index);
  c.fieldLength = uint32_t(std::min<uint64_t>(numberOf(column, "char_length"), UINT32_MAX));
  c.nullable = flagOf(column, "is_nullable");
  c.isUnsigned = flagOf(column, "is_unsigned");
  if (flagOf(column, "is_zerofill")) c.packFlags |= PackFlag::Zerofill;
  c.charsetId = catalogueCollation(numberOf(column, "collation_id"));
  c.isVirtual = flagOf(column, "is_virtual");
  c.generationExpression = textOf(column, "generation_expression_utf8");
  c.comment = textOf(column, "comment");
  c.invisibility = invisibilityOf(numberOf(column, "hidden", kVisible));
  c.uniregCheck = uniregCheckOf(column);
  c.noDefault = flagOf(column, "has_no_default");
  const std::string options = textOf(column, "options");
  if (c.fieldType == FieldType::Geometry) c.geometryType = int32_t(numericProperty(options, "geom_type"));
  // InnoDB keeps every bit of a BIT in its bytes, none among the NULL bits.
  if (c.fieldType == FieldType::Bit) c.packFlags |= PackFlag::BitAsChar;
  readNumericDetails(c, column);
  if (Status names = readValueNames(c, column, catalogue); !names) return names.failure();
  return c;
}

// Columns added or dropped in place keep versions of the row that the
// record walk does not decode.
Status refuseInstantColumns(const JsonValue& table, const std::vector<JsonValue>& columns) {
  const std::string refusal = "the table had columns added or dropped in place (instantly), which is not supported";
  if (property(textOf(table, "se_private_data"), "instant_col")) return unsupported(refusal);
  for (const JsonValue& column : columns) {
    const std::string engine = textOf(column, "se_private_data");
    if (property(engine, "version_added") || property(engine, "version_dropped")) return unsupported(refusal);
  }
  return Ok{};
}

// Where each of the dictionary's columns (by position, as index elements
// name them) went: a column of the definition or a system field.
struct ColumnPlaces {
  std::vector<int32_t> column;
  std::vector<std::string> systemName;
  std::vector<const JsonValue*> source;  // the JSON of each column of the definition
};

Result<ColumnPlaces> readColumns(const std::vector<JsonValue>& columns, TableDefinition& def,
                                 const CollationCatalogue& catalogue) {
  ColumnPlaces places;
  for (const JsonValue& column : columns) {
    const std::string name = textOf(column, "name");
    if (isSystemField(name, numberOf(column, "hidden", kVisible))) {
      places.column.push_back(-1);
      places.systemName.push_back(name);
      continue;
    }
    auto c = columnOf(column, def.columns.size(), catalogue);
    if (!c) return c.failure();
    places.column.push_back(int32_t(def.columns.size()));
    places.systemName.emplace_back();
    places.source.push_back(&column);
    def.columns.push_back(std::move(*c));
  }
  return places;
}

// The row image of the defaults, laid out as the server's own: the NULL
// bits, then each column's default value as its field stores it (the
// dictionary keeps those bytes in base64).
void readDefaults(TableDefinition& def, const std::vector<const JsonValue*>& source) {
  uint32_t nullable = 0;
  for (ColumnDefinition& c : def.columns) {
    if (!c.nullable) continue;
    c.nullByte = nullable / 8;
    c.nullMask = uint8_t(1u << (nullable % 8));
    ++nullable;
  }
  def.nullBytes = (nullable + 7) / 8;
  std::vector<uint8_t> record(def.nullBytes, 0);
  for (size_t i = 0; i < def.columns.size(); ++i) {
    ColumnDefinition& c = def.columns[i];
    if (packLength(c) > kMaxFieldBytes) {
      def.extrasProblem = damaged("column " + c.name + " is longer than any column can be");
      return;
    }
    c.recordPosition = int32_t(record.size() + 1);
    if (c.nullable && flagOf(*source[i], "default_value_null")) record[c.nullByte] |= c.nullMask;
    std::string bytes = base64Decoded(textOf(*source[i], "default_value")).value_or("");
    bytes.resize(packLength(c), '\0');
    record.insert(record.end(), bytes.begin(), bytes.end());
  }
  def.recordLength = uint32_t(record.size());
  def.defaultRecord = std::move(record);
}

uint16_t keyFlagsOf(uint64_t type) {
  switch (type) {
    case kPrimaryIndex:
    case kUniqueIndex: return KeyFlag::Unique;
    case kFulltextIndex: return KeyFlag::Fulltext;
    case kSpatialIndex: return KeyFlag::Spatial;
    default: return 0;
  }
}

KeyDefinition keyOf(const JsonValue& index, const ColumnPlaces& places) {
  KeyDefinition key;
  key.name = textOf(index, "name");
  key.comment = textOf(index, "comment");
  const uint64_t type = numberOf(index, "type");
  key.flags = keyFlagsOf(type);
  if (!key.comment.empty()) key.flags |= KeyFlag::HasComment;
  if (type == kFulltextIndex) key.algorithm = uint8_t(KeyAlgorithm::Fulltext);
  if (type == kSpatialIndex) key.algorithm = uint8_t(KeyAlgorithm::Rtree);
  key.ignored = !flagOf(index, "is_visible");
  for (const JsonValue& element : *arrayOf(index, "elements")) {
    const uint64_t at = numberOf(element, "column_opx", UINT64_MAX);
    if (flagOf(element, "hidden") || at >= places.column.size() || places.column[at] < 0) continue;
    KeyPartDefinition part;
    part.fieldNumber = uint16_t(places.column[at] + 1);
    part.length = uint16_t(std::min<uint64_t>(numberOf(element, "length"), UINT16_MAX));
    if (numberOf(element, "order") == kDescendingElement) part.partFlags = KeyPartDefinition::kDescending;
    key.parts.push_back(part);
  }
  key.partCount = uint8_t(std::min<size_t>(key.parts.size(), UINT8_MAX));
  return key;
}

// The index whose records hold the transaction ids: the clustered one.
const JsonValue* clusteredIndexOf(const std::vector<JsonValue>& indexes, const ColumnPlaces& places) {
  for (const JsonValue& index : indexes) {
    const std::vector<JsonValue>* elements = arrayOf(index, "elements");
    if (!elements) continue;
    for (const JsonValue& element : *elements) {
      const uint64_t at = numberOf(element, "column_opx", UINT64_MAX);
      if (at < places.systemName.size() && places.systemName[at] == "DB_TRX_ID") return &index;
    }
  }
  return nullptr;
}

// The fields of the clustered index in record order: its elements, then any
// stored column they leave out (the full-text document id is one).
Result<StoredClusteredIndex> storedIndexOf(const JsonValue& index, const ColumnPlaces& places,
                                           const TableDefinition& def) {
  StoredClusteredIndex stored;
  const std::string engine = textOf(index, "se_private_data");
  stored.rootPage = uint32_t(numericProperty(engine, "root"));
  stored.indexId = numericProperty(engine, "id");
  if (stored.rootPage == 0) return damaged("the clustered index names no root page");
  std::vector<bool> whole(def.columns.size(), false);
  bool transactionId = false, rollPointer = false;
  for (const JsonValue& element : *arrayOf(index, "elements")) {
    const uint64_t at = numberOf(element, "column_opx", UINT64_MAX);
    if (at >= places.column.size()) return damaged("the clustered index names a column the table does not have");
    StoredIndexField field;
    field.column = places.column[at];
    field.systemName = places.systemName[at];
    if (field.column < 0) {
      if (field.systemName == "DB_TRX_ID") stored.keyFields = stored.fields.size();
      transactionId |= field.systemName == "DB_TRX_ID";
      rollPointer |= field.systemName == "DB_ROLL_PTR";
    } else {
      const uint64_t length = numberOf(element, "length", kWholeColumn);
      const ColumnDefinition& c = def.columns[size_t(field.column)];
      if (c.isVirtual) continue;  // computed when read, kept in no record
      if (!flagOf(element, "hidden") && length != kWholeColumn && isPrefixPart(c, uint32_t(length))) {
        field.prefixLength = uint32_t(length);
      } else if (whole[size_t(field.column)]) {
        continue;
      } else {
        whole[size_t(field.column)] = true;
      }
    }
    stored.fields.push_back(std::move(field));
  }
  if (!transactionId || !rollPointer) {
    return damaged("the clustered index lacks the transaction id or roll pointer");
  }
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (!whole[i] && !def.columns[i].isVirtual) stored.fields.push_back({int32_t(i), {}, 0});
  }
  return stored;
}

void readTableOptions(TableDefinition& def, const JsonValue& table) {
  TableOptions& o = def.options;
  o.engineName = textOf(table, "engine");
  o.comment = textOf(table, "comment");
  const std::string options = textOf(table, "options");
  // The table's own row_format is the one in use; row_type is the one its CREATE TABLE asked for.
  o.rowFormat = uint8_t(numericProperty(options, "row_type"));
  o.keyBlockSize = uint16_t(numericProperty(options, "key_block_size"));
  o.avgRowLength = uint32_t(numericProperty(options, "avg_row_length"));
  o.statsSamplePages = uint16_t(numericProperty(options, "stats_sample_pages"));
  o.statsAutoRecalc = uint8_t(numericProperty(options, "stats_auto_recalc"));
  def.engineCode = asciiUpper(o.engineName) == "INNODB" ? kEngineInnodb : 0;
  def.tableCharsetId = catalogueCollation(numberOf(table, "collation_id"));
  def.serverVersion = uint32_t(numberOf(table, "mysql_version_id"));
  def.newTemporalFormat = true;
}

Result<TableDefinition> tableOf(const JsonValue& table, const CollationCatalogue& catalogue) {
  const std::vector<JsonValue>* columns = arrayOf(table, "columns");
  const std::vector<JsonValue>* indexes = arrayOf(table, "indexes");
  if (!columns || !indexes) return damaged("the table's definition lacks its columns or indexes");
  for (const JsonValue& index : *indexes) {
    if (!arrayOf(index, "elements")) return damaged("index " + textOf(index, "name") + " lacks its elements");
  }
  if (Status instant = refuseInstantColumns(table, *columns); !instant) return instant.failure();
  const std::vector<JsonValue>* partitions = arrayOf(table, "partitions");
  if (partitions && !partitions->empty()) return unsupported("the table is partitioned, which is not supported");
  TableDefinition def;
  readTableOptions(def, table);
  auto places = readColumns(*columns, def, catalogue);
  if (!places) return places.failure();
  readDefaults(def, places->source);
  for (const JsonValue& index : *indexes) {
    if (!flagOf(index, "hidden")) def.keys.push_back(keyOf(index, *places));
  }
  markKeyColumns(def);
  const JsonValue* clustered = clusteredIndexOf(*indexes, *places);
  if (!clustered) return damaged("the table's definition names no clustered index");
  auto stored = storedIndexOf(*clustered, *places, def);
  if (!stored) return stored.failure();
  def.clusteredIndex = std::move(*stored);
  return def;
}

}  // namespace

namespace {

// The document and its table object, which must be there.
struct SdiDocument {
  JsonValue root;
  const JsonValue* table = nullptr;
};

Result<SdiDocument> parseTableDocument(std::string_view json) {
  auto root = parseJson(json);
  if (!root) return root.failure().prefixed("the table's definition: ");
  SdiDocument document{std::move(*root)};
  document.table = document.root.find("dd_object");
  if (textOf(document.root, "dd_object_type") != "Table" || !document.table ||
      document.table->kind != JsonValue::Kind::Object) {
    return damaged("the SDI record holds no table's definition");
  }
  return document;
}

SdiTable identityOf(const JsonValue& table) {
  SdiTable result;
  result.name = textOf(table, "name");
  result.schema = textOf(table, "schema_ref");
  result.internal = numberOf(table, "hidden", kVisible) != kVisible;
  return result;
}

}  // namespace

Result<SdiTable> sdiTableIdentity(std::string_view json) {
  auto document = parseTableDocument(json);
  if (!document) return document.failure();
  return identityOf(*document->table);
}

Result<SdiTable> definitionFromSdi(std::string_view json, const CollationCatalogue& catalogue) {
  auto document = parseTableDocument(json);
  if (!document) return document.failure();
  SdiTable result = identityOf(*document->table);
  // The server's own tables are named, not read.
  if (result.internal) return result;
  auto def = tableOf(*document->table, catalogue);
  if (!def) return def.failure();
  result.definition = std::move(*def);
  return result;
}

}  // namespace tavrin
