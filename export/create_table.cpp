#include "export/create_table.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "base/text.h"
#include "render/value_decoder.h"
#include "render/value_text.h"
#include "tabledef/charset.h"
#include "tabledef/definition_file.h"
#include "tabledef/sql_text.h"
#include "tabledef/field_layout.h"
#include "tabledef/type_text.h"

namespace tavrin {

namespace {

// What every clause of the statement reads.
struct Context {
  const TableDefinition& table;
  const CollationCatalogue& catalogue;
  const TimeZone& zone;
  const std::vector<uint16_t>& keyBlockSizes;
};

Failure ofColumn(const ColumnDefinition& c, const std::string& what) { return damaged("column " + c.name + ": " + what); }

// A piece of SQL from the definition (an expression, the partitioning),
// proven to stay inside its place in the statement.
Result<std::string> sqlPiece(const std::string& text, const std::string& what) {
  if (Status kept = checkFragment(text); !kept) return damaged(what + " is not one piece of SQL: " + kept.reason());
  return text;
}

// ---- Columns: type and character set

bool hasCharset(const ColumnDefinition& c) {
  if (!c.dataTypeName.empty() || c.charsetId == kBinaryCollation) return false;
  switch (c.fieldType) {
    case FieldType::String:
    case FieldType::Varchar:
    case FieldType::VarString:
    case FieldType::Enum:
    case FieldType::Set:
    case FieldType::TinyBlob:
    case FieldType::Blob:
    case FieldType::MediumBlob:
    case FieldType::LongBlob: return true;
    default: return false;
  }
}

// A column of another collation than the table's names both its character
// set and its collation; one of the table's names neither.
Result<std::string> charsetClause(const ColumnDefinition& c, const Context& x) {
  if (!hasCharset(c) || c.charsetId == x.table.tableCharsetId || c.charsetId == 0) return std::string();
  const CollationEntry* entry = x.catalogue.find(c.charsetId);
  if (!entry) return ofColumn(c, "unknown collation " + std::to_string(c.charsetId));
  return " CHARACTER SET " + entry->name1 + " COLLATE " + entry->name2;
}

Result<std::string> typeClause(const ColumnDefinition& c, const Context& x) {
  const std::string type = serverTypeText(c, x.table.tableCharsetId, x.catalogue);
  if (type.empty()) return ofColumn(c, "unknown type code " + std::to_string(int(c.fieldType)));
  if (!c.dataTypeName.empty() && !isPlainName(c.dataTypeName)) return ofColumn(c, "the name of its data type is damaged");
  auto charset = charsetClause(c, x);
  if (!charset) return charset.failure();
  return type + *charset;
}

// ---- Columns: defaults

// Whether the expression has a space outside its quotes and parentheses:
// an operator (or CASE) joins terms there.
bool hasTopLevelSpace(std::string_view e) {
  int depth = 0;
  char quote = 0;
  for (size_t i = 0; i < e.size(); ++i) {
    const char ch = e[i];
    if (quote) {
      if (ch == '\\' && quote == '\'') ++i;
      else if (ch == quote) quote = 0;
    } else if (ch == '\'' || ch == '`' || ch == '"') {
      quote = ch;
    } else if (ch == '(' || ch == ')') {
      depth += ch == '(' ? 1 : -1;
    } else if (ch == ' ' && depth == 0) {
      return true;
    }
  }
  return false;
}

// The server writes an expression default in parentheses unless it is a
// literal, a column or a function call; operators, signs, CASE, CAST and the
// calls that give a truth value take them.
bool defaultNeedsParentheses(std::string_view e) {
  static constexpr std::string_view kParenthesized[] = {"cast(", "json_valid(", "json_contains(",
                                                        "json_contains_path(", "json_exists(", "!", "~"};
  if (e.empty() || hasTopLevelSpace(e)) return !e.empty();
  if (e[0] == '-') return e.size() < 2 || !(std::isdigit(static_cast<unsigned char>(e[1])) || e[1] == '.');
  return std::any_of(std::begin(kParenthesized), std::end(kParenthesized),
                     [&](std::string_view start) { return e.starts_with(start); });
}

std::string currentTimestamp(const ColumnDefinition& c) {
  const uint32_t digits = fractionalDigits(c);
  return "current_timestamp(" + (digits ? std::to_string(digits) : std::string()) + ")";
}

std::string bitLiteral(uint64_t bits) {
  std::string digits;
  do {
    digits.insert(digits.begin(), char('0' + (bits & 1)));
    bits >>= 1;
  } while (bits);
  return "b'" + digits + "'";
}

// Binary strings go as their bytes where those are UTF-8, as the server
// shows them; other bytes as a hexadecimal literal, which gives them back.
std::string binaryLiteral(ByteView bytes) {
  if (isValidUtf8(bytes.chars())) return quotedLiteral(bytes.chars());
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (size_t i = 0; i < bytes.size(); ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 15]);
  }
  return text;
}

// A default value as the server writes it: numbers and years bare, BIT as
// b'...', everything else quoted, text in the server's own character set.
std::string literalOf(const Value& v, const ColumnFormat& format, const TimeZone& zone) {
  switch (v.kind) {
    case ValueKind::Null: return "NULL";
    case ValueKind::Bits: return bitLiteral(v.unsignedInteger);
    case ValueKind::Text: return quotedLiteral(asUtf8mb3(v.text));
    case ValueKind::Binary: return binaryLiteral(v.stored);
    default: break;
  }
  std::string text;
  appendValueText(text, v, format, TextForm{true, 0, zone});
  const bool bare = v.kind == ValueKind::Signed || v.kind == ValueKind::Unsigned || v.kind == ValueKind::Float ||
                    v.kind == ValueKind::Double || v.kind == ValueKind::Number || v.kind == ValueKind::Year;
  return bare ? text : quotedLiteral(text);
}

// The default record holds the column's whole value: its NULL bit and bytes.
Status checkInRecord(const ColumnDefinition& c, const RecordColumn& p, size_t recordSize) {
  uint64_t end = p.offset;
  switch (p.take) {
    case RecordColumn::Take::Fixed:
    case RecordColumn::Take::Bits: end += p.width; break;
    case RecordColumn::Take::Varchar: end += p.width + p.limit; break;
    default: break;
  }
  if (p.take == RecordColumn::Take::Bits) end = std::max<uint64_t>(end, p.bitsByte + 2);
  if (end > recordSize || (p.nullMask && p.nullByte >= recordSize)) {
    return ofColumn(c, "the default record (" + std::to_string(recordSize) + " bytes) is too short for its value");
  }
  return Ok{};
}

// The stored default of one column, as text after DEFAULT.
Result<std::string> storedDefault(size_t i, const Context& x, const ValueDecoder& decoder) {
  const ColumnDefinition& c = x.table.columns[i];
  const RecordColumn p = recordColumn(c);
  const ByteView record(x.table.defaultRecord);
  if (Status fits = checkInRecord(c, p, record.size()); !fits) return fits.failure();
  uint8_t bits[8] = {};
  FieldValue stored = recordValue(p, record, bits);
  if (x.table.defaultsAreNull && c.nullable) stored = FieldValue{};
  if (stored.isNull) return std::string(c.nullable ? "NULL" : "");
  Value value;
  std::string arena;
  decoder.decodeOne(i, stored, value, arena);
  return literalOf(value, decoder.format(i), x.zone);
}

// The text after DEFAULT, or empty where the column has none.
Result<std::string> defaultOf(size_t i, const Context& x, const ValueDecoder& decoder) {
  const ColumnDefinition& c = x.table.columns[i];
  if (!c.defaultExpression.empty()) {
    auto e = sqlPiece(c.defaultExpression, "column " + c.name + ": its default");
    if (!e) return e;
    return defaultNeedsParentheses(*e) ? "(" + *e + ")" : *e;
  }
  if (c.defaultsToNow()) return currentTimestamp(c);
  if (c.noDefault || c.isAutoIncrement() || x.table.isVersioningColumn(i)) return std::string();
  if (keptLikeBlob(c.fieldType)) return std::string(c.nullable ? "NULL" : "");
  return storedDefault(i, x, decoder);
}

// ---- Columns: the whole definition

bool isTimestamp(FieldType type) { return type == FieldType::Timestamp || type == FieldType::Timestamp2; }

Result<std::string> generatedClause(const ColumnDefinition& c) {
  auto e = sqlPiece(c.generationExpression, "column " + c.name + ": its expression");
  if (!e) return e;
  std::string text = " GENERATED ALWAYS AS (" + *e + ")" + (c.isVirtual ? " VIRTUAL" : " STORED");
  if (c.invisibility == 1) text += " INVISIBLE";
  return text;
}

// NULL-ness, visibility, the default and what the server sets by itself.
Result<std::string> storedColumnClauses(size_t i, const Context& x, const ValueDecoder& decoder) {
  const ColumnDefinition& c = x.table.columns[i];
  std::string text;
  if (x.table.versioning && i == x.table.versioning->first) text += " GENERATED ALWAYS AS ROW START";
  else if (x.table.versioning && i == x.table.versioning->second) text += " GENERATED ALWAYS AS ROW END";
  else if (!c.nullable) text += " NOT NULL";
  else if (isTimestamp(c.fieldType)) text += " NULL";  // a TIMESTAMP is NOT NULL unless told
  if (c.invisibility == 1) text += " INVISIBLE";
  auto value = defaultOf(i, x, decoder);
  if (!value) return value.failure();
  if (!value->empty()) text += " DEFAULT " + *value;
  if (c.withoutVersioning) text += " WITHOUT SYSTEM VERSIONING";
  if (c.updatesToNow()) text += " ON UPDATE " + currentTimestamp(c);
  if (c.isAutoIncrement()) text += " AUTO_INCREMENT";
  return text;
}

Result<std::string> columnDefinition(size_t i, const Context& x, const ValueDecoder& decoder) {
  const ColumnDefinition& c = x.table.columns[i];
  auto type = typeClause(c, x);
  if (!type) return type.failure();
  std::string text = "  " + quoteIdentifier(c.name) + " " + *type;
  auto clauses = c.isGenerated() ? generatedClause(c) : storedColumnClauses(i, x, decoder);
  if (!clauses) return clauses.failure();
  text += *clauses;
  if (!c.comment.empty()) text += " COMMENT " + quotedLiteral(c.comment);
  if (!c.checkExpression.empty()) {
    auto check = sqlPiece(c.checkExpression, "column " + c.name + ": its CHECK");
    if (!check) return check.failure();
    text += " CHECK (" + *check + ")";
  }
  return text;
}

// ---- Keys

bool isStringKind(FieldType type) {
  return type == FieldType::String || type == FieldType::Varchar || type == FieldType::VarString ||
         keptLikeBlob(type);
}

// Bytes of the column a key holds when it holds all of it: BLOB/TEXT keys
// always name a prefix.
uint32_t wholeKeyLength(const ColumnDefinition& c) { return keptLikeBlob(c.fieldType) ? 0 : c.fieldLength; }

Result<std::string> keyPart(const KeyDefinition& key, const KeyPartDefinition& part, const Context& x) {
  const ColumnDefinition& c = x.table.columns[part.fieldNumber - 1];
  std::string text = quoteIdentifier(c.name);
  const bool whole = key.flags & (KeyFlag::Fulltext | KeyFlag::Spatial);
  if (!whole && isStringKind(c.fieldType) && part.length != wholeKeyLength(c)) {
    // Files older than 4.1 name no character set, and count in bytes.
    const bool bytes = c.charsetId == kBinaryCollation || c.charsetId == 0;
    const int32_t width = bytes ? 1 : x.catalogue.maxBytesPerChar(c.charsetId);
    if (width <= 0) return ofColumn(c, "unknown collation " + std::to_string(c.charsetId));
    text += "(" + std::to_string(part.length / uint32_t(width)) + ")";
  }
  const KeyAlgorithm algorithm = KeyAlgorithm(key.algorithm);
  const bool ordered = !whole && algorithm != KeyAlgorithm::Rtree &&
                       !(algorithm == KeyAlgorithm::Hash && x.table.options.engineName == "MEMORY");
  if (part.isDescending() && ordered) text += " DESC";
  return text;
}

std::string keyKind(const KeyDefinition& key, bool first) {
  if (first && key.name == "PRIMARY") return "PRIMARY KEY";
  const std::string name = " " + quoteIdentifier(key.name);
  if (key.isUnique()) return "UNIQUE KEY" + name;
  if (key.flags & KeyFlag::Fulltext) return "FULLTEXT KEY" + name;
  if (key.flags & KeyFlag::Spatial) return "SPATIAL KEY" + name;
  return "KEY" + name;
}

std::string keyOptions(size_t k, const Context& x) {
  const KeyDefinition& key = x.table.keys[k];
  const uint16_t blockSize = k < x.keyBlockSizes.size() ? x.keyBlockSizes[k] : key.blockSize;
  std::string text;
  switch (KeyAlgorithm(key.algorithm)) {
    case KeyAlgorithm::Btree: text += " USING BTREE"; break;
    case KeyAlgorithm::Hash:
    case KeyAlgorithm::LongHash: text += " USING HASH"; break;
    case KeyAlgorithm::Rtree:
      if (!(key.flags & KeyFlag::Spatial)) text += " USING RTREE";
      break;
    default: break;
  }
  if ((key.flags & KeyFlag::HasBlockSize) && blockSize != x.table.options.keyBlockSize) {
    text += " KEY_BLOCK_SIZE=" + std::to_string(blockSize);
  }
  if (key.flags & KeyFlag::HasComment) text += " COMMENT " + quotedLiteral(key.comment);
  if (key.ignored) text += " IGNORED";
  if (!key.parser.empty()) text += " /*!50100 WITH PARSER " + quoteIdentifier(key.parser) + " */ ";
  return text;
}

bool isShownPart(const KeyPartDefinition& part, const Context& x) {
  const bool known = part.fieldNumber != 0 && part.fieldNumber <= x.table.columns.size();
  return !known || !x.table.columns[part.fieldNumber - 1].isSystemHidden();
}

// A key on a column the server adds itself is its own business, but for
// the keys of row versions and of long UNIQUE values.
bool isShownKey(const KeyDefinition& key, const Context& x) {
  if (key.isLongHash()) return true;
  return std::all_of(key.parts.begin(), key.parts.end(), [&](const KeyPartDefinition& part) {
    return isShownPart(part, x) || x.table.isVersioningColumn(part.fieldNumber - 1u);
  });
}

Result<std::string> keyDefinition(size_t k, const Context& x) {
  const KeyDefinition& key = x.table.keys[k];
  std::string parts;
  for (const KeyPartDefinition& part : key.parts) {
    if (part.fieldNumber == 0 || part.fieldNumber > x.table.columns.size()) {
      return damaged("key " + key.name + " names column " + std::to_string(part.fieldNumber) +
                     ", which the table does not have");
    }
    if (!isShownPart(part, x)) continue;
    auto text = keyPart(key, part, x);
    if (!text) return text.failure();
    parts += (parts.empty() ? "" : ",") + *text;
  }
  return "  " + keyKind(key, k == 0) + " (" + parts + ")" + keyOptions(k, x);
}

// ---- The table

std::string periodClause(const TableDefinition& t) {
  const ColumnDefinition& start = t.columns[t.versioning->first];
  const ColumnDefinition& end = t.columns[t.versioning->second];
  if (start.isSystemHidden()) return {};
  return "  PERIOD FOR SYSTEM_TIME (" + quoteIdentifier(start.name) + ", " + quoteIdentifier(end.name) + ")";
}

Result<std::vector<std::string>> definitionLines(const Context& x) {
  const ValueDecoder decoder(x.table, x.catalogue);
  std::vector<std::string> lines;
  for (size_t i = 0; i < x.table.columns.size(); ++i) {
    if (x.table.columns[i].isSystemHidden()) continue;
    auto line = columnDefinition(i, x, decoder);
    if (!line) return line.failure();
    lines.push_back(std::move(*line));
  }
  for (size_t k = 0; k < x.table.keys.size(); ++k) {
    if (!isShownKey(x.table.keys[k], x)) continue;
    auto line = keyDefinition(k, x);
    if (!line) return line.failure();
    lines.push_back(std::move(*line));
  }
  if (x.table.versioning) {
    if (std::string period = periodClause(x.table); !period.empty()) lines.push_back(std::move(period));
  }
  for (const CheckConstraint& check : x.table.checks) {
    auto e = sqlPiece(check.expression, "the constraint " + check.name);
    if (!e) return e.failure();
    lines.push_back("  CONSTRAINT " + quoteIdentifier(check.name) + " CHECK (" + *e + ")");
  }
  return lines;
}

// ---- Table options

std::string choice(uint8_t value) { return value == 2 ? "1" : "0"; }

// A sequence's table has no character set of its own to show.
Result<std::string> charsetOption(const TableDefinition& t, const CollationCatalogue& catalogue) {
  if (t.tableCharsetId == 0 || t.options.sequence) return std::string();
  const CollationEntry* entry = catalogue.find(t.tableCharsetId);
  if (!entry) return damaged("unknown table collation " + std::to_string(t.tableCharsetId));
  std::string text = " DEFAULT CHARSET=" + entry->name1;
  if (t.tableCharsetId != kBinaryCollation) text += " COLLATE=" + entry->name2;
  return text;
}

std::string sizeOptions(const TableDefinition& t) {
  const TableOptions& o = t.options;
  std::string text;
  if (o.minRows) text += " MIN_ROWS=" + std::to_string(o.minRows);
  if (o.maxRows) text += " MAX_ROWS=" + std::to_string(o.maxRows);
  if (o.avgRowLength) text += " AVG_ROW_LENGTH=" + std::to_string(o.avgRowLength);
  if (t.createOptions & CreateOption::PackKeys) text += " PACK_KEYS=1";
  if (t.createOptions & CreateOption::NoPackKeys) text += " PACK_KEYS=0";
  if (t.createOptions & CreateOption::StatsPersistent) text += " STATS_PERSISTENT=1";
  if (t.createOptions & CreateOption::NoStatsPersistent) text += " STATS_PERSISTENT=0";
  if (o.statsAutoRecalc) text += std::string(" STATS_AUTO_RECALC=") + (o.statsAutoRecalc == 1 ? "1" : "0");
  if (o.statsSamplePages) text += " STATS_SAMPLE_PAGES=" + std::to_string(o.statsSamplePages);
  return text;
}

// Aria shows whether its pages carry checksums even where the table's
// definition does not say: the server's default then, which is on.
uint8_t pageChecksumShown(const TableOptions& o) {
  return o.pageChecksum == 0 && o.engineName == "Aria" ? 2 : o.pageChecksum;
}

std::string storageOptions(const TableDefinition& t) {
  static constexpr const char* kRowFormats[] = {"", "FIXED", "DYNAMIC", "COMPRESSED", "REDUNDANT", "COMPACT", "PAGE"};
  const TableOptions& o = t.options;
  std::string text;
  if (t.createOptions & CreateOption::Checksum) text += " CHECKSUM=1";
  if (const uint8_t pages = pageChecksumShown(o)) text += " PAGE_CHECKSUM=" + choice(pages);
  if (t.createOptions & CreateOption::DelayKeyWrite) text += " DELAY_KEY_WRITE=1";
  if (o.rowFormat) text += std::string(" ROW_FORMAT=") + kRowFormats[o.rowFormat];
  if (o.transactional) text += " TRANSACTIONAL=" + choice(o.transactional);
  if (o.sequence) text += " SEQUENCE=1";
  if (o.keyBlockSize) text += " KEY_BLOCK_SIZE=" + std::to_string(o.keyBlockSize);
  return text;
}

// The engine's own options, each value quoted; those the engine does not
// know stand in a comment, as the server shows them.
std::string engineOptions(const TableOptions& o) {
  static constexpr const char* kInnodbOptions[] = {"page_compressed", "page_compression_level", "encrypted",
                                                   "encryption_key_id"};
  std::string text;
  bool inComment = false;
  for (const EngineOption& option : o.engineOptions) {
    const bool known = o.engineName == "InnoDB" && std::any_of(std::begin(kInnodbOptions), std::end(kInnodbOptions),
                                                               [&](const char* n) { return asciiLower(option.name) == n; });
    if (known == inComment) text += known ? " */" : " /*";
    inComment = !known;
    text.append(" ").append(quoteIdentifier(option.name)).append("=").append(quotedLiteral(option.value));
  }
  return inComment ? text + " */" : text;
}

Result<std::string> tableOptions(const Context& x, std::optional<uint64_t> autoIncrement) {
  const TableDefinition& t = x.table;
  if (t.options.engineName.empty()) return unsupported("unknown storage engine code " + std::to_string(t.engineCode));
  if (!isPlainName(t.options.engineName)) return damaged("the name of the table's storage engine is damaged");
  std::string text = " ENGINE=" + t.options.engineName;
  if (autoIncrement && *autoIncrement > 1) text += " AUTO_INCREMENT=" + std::to_string(*autoIncrement);
  auto charset = charsetOption(t, x.catalogue);
  if (!charset) return charset.failure();
  text += *charset + sizeOptions(t) + storageOptions(t);
  if (!t.options.comment.empty()) text += " COMMENT=" + quotedLiteral(t.options.comment);
  if (!t.options.connection.empty()) text += " CONNECTION=" + quotedLiteral(t.options.connection);
  text += engineOptions(t.options);
  if (!t.options.dataDirectory.empty()) text += " DATA DIRECTORY=" + quotedLiteral(t.options.dataDirectory);
  if (t.versioning) text += " WITH SYSTEM VERSIONING";
  if (!t.options.partitioning.empty()) {
    auto partitioning = sqlPiece(t.options.partitioning, "the partitioning");
    if (!partitioning) return partitioning.failure();
    text += "\n" + *partitioning;
  }
  return text;
}

}  // namespace

Result<std::string> createTableStatement(std::string_view name, const TableDefinition& definition,
                                         const CollationCatalogue& catalogue, std::optional<uint64_t> autoIncrement,
                                         const TimeZone& zone, const std::vector<uint16_t>& keyBlockSizes) {
  if (definition.extrasProblem) return *definition.extrasProblem;
  const Context x{definition, catalogue, zone, keyBlockSizes};
  auto lines = definitionLines(x);
  if (!lines) return lines.failure();
  auto options = tableOptions(x, autoIncrement);
  if (!options) return options.failure();
  std::string text = "CREATE TABLE " + quoteIdentifier(name) + " (\n";
  for (size_t i = 0; i < lines->size(); ++i) text += (i ? ",\n" : "") + (*lines)[i];
  return text + "\n)" + *options;
}

}  // namespace tavrin
