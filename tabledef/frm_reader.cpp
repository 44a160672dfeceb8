#include "tabledef/frm_reader.h"

#include <algorithm>
#include <optional>

#include "base/file.h"
#include "base/text.h"
#include "tabledef/charset.h"
#include "tabledef/definition_file.h"
#include "tabledef/sql_text.h"
#include "tabledef/field_layout.h"

namespace tavrin {

namespace {

constexpr size_t kHeaderSize = 64;
constexpr size_t kFormSize = 288;
// No definition file comes near this; the bound keeps a foreign file out of memory.
constexpr uint64_t kMaxFrmSize = 64u << 20;

// The fixed header of a definition file (64 bytes, integers little-endian):
//   2 layout version   3 engine code   4 extra2 length   6 key section position
//   8 form name count  14 key section length (0xFFFF: see 47)   16 record length
//   18 MAX_ROWS  22 MIN_ROWS  27 pack flag version  28 key section length
//   30 create options  32 0 when 33.. hold the 4.1 fields  33 5 for 5.0 files
//   34 AVG_ROW_LENGTH  38 collation (low byte)  39 TRANSACTIONAL, PAGE_CHECKSUM
//   and SEQUENCE, two bits each  40 ROW_FORMAT  41 collation (high byte)
//   42 STATS_SAMPLE_PAGES  44 STATS_AUTO_RECALC  45 table CHECK count
//   47 key section length when 14 says 0xFFFF  51 server version
//   55 extra segment length  61 engine of partitions  62 KEY_BLOCK_SIZE
struct FrmHeader {
  uint8_t version = 0;
  uint8_t engineCode = 0;
  uint16_t formNamesLength = 0;  // the block after the header; the form position follows it
  uint32_t keyPosition = 0;
  uint16_t formNameCount = 0;
  uint32_t keyLength = 0;
  uint32_t recordLength = 0;
  uint32_t keySectionLength = 0;  // what the default record follows
  uint16_t createOptions = 0;
  bool charsetStored = false;  // also: NULL bits come first in the row image
  int32_t tableCharsetId = 0;
  uint32_t serverVersion = 0;
  uint32_t extraLength = 0;
  uint8_t packFlagVersion = 0;
  uint8_t partitionEngine = 0;
  TableOptions options;
};

TableOptions decodeTableOptions(ByteView h, bool charsetStored) {
  TableOptions o;
  o.maxRows = le32(h, 18);
  o.minRows = le32(h, 22);
  o.keyBlockSize = le16(h, 62);
  if (!charsetStored) return o;
  constexpr uint8_t kRowFormats = 7;
  o.avgRowLength = le32(h, 34);
  // As the server reads them: a choice of 3 is no choice.
  auto choice = [](uint8_t bits) { return uint8_t(bits < 3 ? bits : 0); };
  o.transactional = choice(h[39] & 3);
  o.pageChecksum = choice((h[39] >> 2) & 3);
  o.sequence = ((h[39] >> 4) & 3) == 2;
  o.rowFormat = h[40] < kRowFormats ? h[40] : 0;
  o.statsSamplePages = le16(h, 42);
  o.statsAutoRecalc = h[44] <= 2 ? h[44] : 0;
  return o;
}

FrmHeader decodeHeader(ByteView h) {
  FrmHeader header;
  header.version = h[2];
  header.engineCode = h[3];
  header.formNamesLength = le16(h, 4);
  header.keyPosition = le16(h, 6);
  header.formNameCount = le16(h, 8);
  header.keySectionLength = le16(h, 14) == 0xFFFF ? le32(h, 47) : le16(h, 14);
  header.recordLength = le16(h, 16);
  header.packFlagVersion = h[27];
  header.keyLength = le16(h, 28);
  header.createOptions = le16(h, 30);
  header.charsetStored = h[32] == 0;
  header.tableCharsetId = header.charsetStored ? h[41] * 256 + h[38] : 0;
  header.serverVersion = le32(h, 51);
  header.extraLength = le32(h, 55);
  header.partitionEngine = h[61];
  header.options = decodeTableOptions(h, header.charsetStored);
  return header;
}

struct FormInfo {
  uint16_t fieldCount = 0;
  uint16_t screenLength = 0;
  uint16_t recordLength = 0;
  uint16_t namesLength = 0;
  uint16_t intervalCount = 0;
  uint16_t intervalsLength = 0;
  uint16_t nullFieldCount = 0;
  uint16_t commentsLength = 0;
  // Layout 11: computed columns, expression defaults and checks; MySQL 5.7
  // and MariaDB 5.2 to 10.1: computed columns, each in a layout of its own.
  uint16_t expressionsLength = 0;
  // The table's comment, up to 180 bytes; 255 says that it is kept in the extra segment.
  uint8_t tableCommentLength = 0;
  ByteView tableComment;
};

constexpr uint8_t kCommentInExtraSegment = 255;

// MySQL 5.7 and its kin write generated columns in a layout of their own.
bool isMysql57(uint32_t serverVersion) { return serverVersion >= 50700 && serverVersion < 100000; }

FormInfo decodeForm(ByteView f) {
  FormInfo form;
  form.fieldCount = le16(f, 258);
  form.screenLength = le16(f, 260);
  form.recordLength = le16(f, 266);
  form.namesLength = le16(f, 268);
  form.intervalCount = le16(f, 270);
  form.intervalsLength = le16(f, 274);
  form.nullFieldCount = le16(f, 282);
  form.commentsLength = le16(f, 284);
  form.expressionsLength = le16(f, 286);
  form.tableCommentLength = f[46];
  if (form.tableCommentLength != kCommentInExtraSegment) form.tableComment = f.sub(47, form.tableCommentLength);
  return form;
}

struct FieldRecord {
  uint32_t length = 0;
  uint32_t recordPosition = 0;
  uint16_t packFlags = 0;
  uint8_t intervalNumber = 0;  // 1-based; 0 when none
  FieldType fieldType = FieldType::Decimal;
  int32_t charsetId = 0;
  uint8_t geometryType = 0;
  uint16_t commentLength = 0;
  uint8_t uniregType = 0;  // MySQL 5.7: 128 marks a generated column
  uint8_t uniregCheck = 0;
};

FieldRecord decodeFieldRecord(ByteView r, bool newer) {
  FieldRecord f;
  if (newer) {
    f.length = le16(r, 3);
    f.recordPosition = le24(r, 5);
    f.packFlags = le16(r, 8);
    f.intervalNumber = r[12];
    f.fieldType = FieldType(r[13]);
    f.charsetId = r[11] * 256 + r[14];
    f.geometryType = r[14];
    f.commentLength = le16(r, 15);
    f.uniregType = r[10];
    f.uniregCheck = r[10] & 127;
  } else {
    f.length = r[3];
    f.recordPosition = le16(r, 4);
    f.packFlags = le16(r, 6) & ~PackFlag::NoDefault;  // not a flag yet in these files
    f.fieldType = FieldType((f.packFlags >> 3) & 15);
    f.uniregCheck = r[8] & 127;
  }
  return f;
}

// A name list: a separator byte, then names each ended by the separator, then
// a zero byte; an empty list is a single zero byte. As the server reads it, a
// zero byte ends the list wherever it stands.
struct NameList {
  std::vector<ByteView> names;
  size_t end = 0;  // the position after the list
};

std::optional<NameList> splitNameList(ByteView v, size_t position) {
  if (position >= v.size()) return std::nullopt;
  NameList list;
  const uint8_t separator = v[position];
  if (separator == 0) {
    list.end = position + 1;
    return list;
  }
  size_t start = position + 1;
  for (size_t p = start;; ++p) {
    if (p >= v.size()) return std::nullopt;
    if (v[p] == separator) {
      list.names.push_back(v.sub(start, p - start));
      start = p + 1;
    } else if (v[p] == 0) {
      // The zero after the last separator; text after that separator is no name.
      if (p != start) return std::nullopt;
      list.end = p + 1;
      return list;
    }
  }
}

bool isNumeric(FieldType type) {
  switch (type) {
    case FieldType::Decimal: case FieldType::NewDecimal: case FieldType::Tiny:
    case FieldType::Short: case FieldType::Int24: case FieldType::Long:
    case FieldType::LongLong: case FieldType::Float: case FieldType::Double:
      return true;
    default:
      return false;
  }
}

bool isBlob(FieldType type) { return type >= FieldType::TinyBlob && type <= FieldType::Blob; }

constexpr uint16_t kBlobFlag = 0x0400;

// Code 245 is MySQL's binary JSON from 5.7.8 on; MariaDB 5.2 to 10.1 wrote it
// for computed columns, whose own type is kept with their expression.
FieldType settledType(FieldType stored, uint32_t serverVersion) {
  constexpr uint32_t kFirstJson = 50708, kFirstMariadb10 = 100000;
  if (stored != FieldType::Json) return stored;
  return serverVersion >= kFirstJson && serverVersion < kFirstMariadb10 ? FieldType::Json : FieldType::Null;
}

// A BLOB/TEXT column's kind follows from the bytes of its length prefix,
// which its pack flags carry as the type code of an integer of that width;
// the stored field length is not its length.
void settleBlob(ColumnDefinition& c) {
  if (c.fieldType == FieldType::Json) c.fieldLength = 0xFFFFFFFF;
  if (!isBlob(c.fieldType)) return;
  if (c.packFlags & kBlobFlag) {
    switch (FieldType((c.packFlags >> 3) & 15)) {
      case FieldType::Tiny: c.fieldType = FieldType::TinyBlob; break;
      case FieldType::Short: c.fieldType = FieldType::Blob; break;
      case FieldType::Int24: c.fieldType = FieldType::MediumBlob; break;
      case FieldType::Long: c.fieldType = FieldType::LongBlob; break;
      default: break;
    }
  }
  switch (c.fieldType) {
    case FieldType::TinyBlob: c.fieldLength = 0xFF; break;
    case FieldType::Blob: c.fieldLength = 0xFFFF; break;
    case FieldType::MediumBlob: c.fieldLength = 0xFFFFFF; break;
    default: c.fieldLength = 0xFFFFFFFF; break;
  }
}

std::string hexDecoded(ByteView hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    int hi = hexDigitValue(char(hex[i])), lo = hexDigitValue(char(hex[i + 1]));
    if (hi < 0 || lo < 0) return std::string(hex.chars());
    out.push_back(char(hi * 16 + lo));
  }
  return out;
}

// ENUM/SET names are stored in the column's character set; the server writes
// them in hexadecimal for sets whose characters take two bytes or more.
std::string decodeIntervalName(ByteView stored, int32_t charsetId, const CollationCatalogue& catalogue) {
  const std::string charset = catalogue.charsetName(charsetId);
  TextDecoder decoder(charset);
  if (catalogue.minBytesPerChar(charsetId) > 1) {
    std::string raw = hexDecoded(stored);
    return decoder.decode(ByteView(raw));
  }
  return decoder.decode(stored);
}

// MariaDB keeps extra table information in typed, length-prefixed records
// where older files keep form names (which start with "/").
struct Extra2 {
  ByteView partitionEngine;  // the engine of a partitioned table's partitions
  ByteView applicationPeriod;
  ByteView systemPeriod;    // the row start and end field numbers, 2 bytes each
  ByteView indexFlags;      // one byte per key
  ByteView engineOptions;   // the table's, then each field's, then each key's
  ByteView fieldFlags;      // one byte per field
  ByteView fieldDataTypes;  // (field number, name) pairs
};

constexpr uint8_t kExtra2PartitionEngine = 1;
constexpr uint8_t kExtra2ApplicationPeriod = 3;
constexpr uint8_t kExtra2SystemPeriod = 4;
constexpr uint8_t kExtra2IndexFlags = 5;
constexpr uint8_t kExtra2EngineOptions = 128;
constexpr uint8_t kExtra2FieldFlags = 129;
constexpr uint8_t kExtra2FieldDataTypes = 130;

Extra2 splitExtra2(ByteView block) {
  Extra2 extra;
  if (block.empty() || block[0] == '/') return extra;
  for (size_t p = 0; p + 2 <= block.size();) {
    const uint8_t tag = block[p];
    size_t length = block[p + 1];
    size_t header = 2;
    if (length == 0) {
      length = le16(block, p + 2);
      header = 4;
    }
    if (!block.has(p + header, length)) break;
    ByteView value = block.sub(p + header, length);
    if (tag == kExtra2PartitionEngine) extra.partitionEngine = value;
    if (tag == kExtra2ApplicationPeriod) extra.applicationPeriod = value;
    if (tag == kExtra2SystemPeriod) extra.systemPeriod = value;
    if (tag == kExtra2IndexFlags) extra.indexFlags = value;
    if (tag == kExtra2EngineOptions) extra.engineOptions = value;
    if (tag == kExtra2FieldFlags) extra.fieldFlags = value;
    if (tag == kExtra2FieldDataTypes) extra.fieldDataTypes = value;
    p += header + length;
  }
  return extra;
}

// The server's length-coded integers: one byte below 251, else a marker byte
// and 2, 3 or 8 bytes.
std::optional<uint64_t> lengthCoded(ByteView v, size_t& p) {
  if (p >= v.size()) return std::nullopt;
  const uint8_t first = v[p++];
  size_t width = first < 251 ? 0 : first == 252 ? 2 : first == 253 ? 3 : first == 254 ? 8 : SIZE_MAX;
  if (width == SIZE_MAX || !v.has(p, width)) return std::nullopt;
  uint64_t value = first;
  if (width == 2) value = le16(v, p);
  if (width == 3) value = le24(v, p);
  if (width == 8) value = le64(v, p);
  p += width;
  return value;
}

std::string at(const char* what, uint64_t position) {
  return std::string(what) + " at byte " + std::to_string(position);
}

}  // namespace

bool KeyDefinition::isPrimary() const { return asciiUpper(name) == "PRIMARY"; }

void markKeyColumns(TableDefinition& def) {
  for (const KeyDefinition& key : def.keys) {
    const bool primary = key.isPrimary();
    for (const KeyPartDefinition& part : key.parts) {
      if (part.fieldNumber == 0 || part.fieldNumber > def.columns.size()) continue;
      ColumnDefinition& c = def.columns[part.fieldNumber - 1];
      if (primary) c.inPrimaryKey = true;
      else if (key.isUnique()) c.inUniqueKey = true;
    }
  }
}

bool hasTableDefinitionSignature(ByteView firstBytes) {
  return firstBytes.size() >= 2 && firstBytes[0] == 0xFE && firstBytes[1] == 0x01;
}

namespace {

// A key record: flags (unique is stored inverted), length, part count, and
// from layout 9 on the algorithm and block size.
KeyDefinition decodeKeyRecord(ByteView keys, size_t p, uint8_t version) {
  KeyDefinition key;
  if (version >= 9) {
    key.flags = le16(keys, p) ^ 1;
    key.keyLength = le16(keys, p + 2);
    key.partCount = keys[p + 4];
    key.algorithm = keys[p + 5];
    key.blockSize = le16(keys, p + 6);
  } else {
    key.flags = keys[p] ^ 1;
    key.keyLength = le16(keys, p + 1);
    key.partCount = keys[p + 3];
  }
  return key;
}

// A key part: field number, offset, then (layout 6) a one-byte length whose
// high bit is a flag, or flags, type and a two-byte length.
KeyPartDefinition decodeKeyPart(ByteView keys, size_t p, uint8_t version) {
  KeyPartDefinition part;
  part.fieldNumber = le16(keys, p) & 0x3FFF;
  part.offset = uint16_t(le16(keys, p + 2) - 1);
  if (version == 6) {
    const uint8_t length = keys[p + 4];
    part.length = length > 128 ? uint16_t(length - 128) : length;
    part.partFlags = length > 128 ? 128 : 0;
    part.keyType = le16(keys, p + 5);
  } else {
    part.partFlags = keys[p + 4];
    part.keyType = le16(keys, p + 5);
    part.length = le16(keys, p + 7);
  }
  return part;
}

// After the key records: the key names, then the comments of the keys
// that have one.
Status readKeyNamesAndComments(ByteView keys, size_t p, std::vector<KeyDefinition>& result) {
  auto names = splitNameList(keys, p);
  if (!names) return damaged("the key names run past the key section");
  for (size_t k = 0; k < result.size() && k < names->names.size(); ++k) {
    result[k].name = decodeIdentifier(names->names[k]);
  }
  p = names->end;
  constexpr uint16_t kHasComment = 0x1000;
  for (KeyDefinition& key : result) {
    if (!(key.flags & kHasComment)) continue;
    const uint16_t length = le16(keys, p);
    if (!keys.has(p + 2, length)) return damaged("the comment of key " + key.name + " runs past the key section");
    key.comment = decodeIdentifier(keys.sub(p + 2, length));
    p += 2 + length;
  }
  return Ok{};
}

Result<std::vector<KeyDefinition>> parseKeys(ByteView keys, uint8_t version) {
  std::vector<KeyDefinition> result;
  if (keys.size() < 6) return result;
  // The total part count (byte 1, or bytes 2-3 past 127 keys) is not needed:
  // each key record carries its own.
  const size_t keyCount = (keys[0] & 0x80) ? (size_t(keys[1]) << 7) | (keys[0] & 0x7F) : keys[0];
  const size_t keyRecordSize = version >= 9 ? 8 : 4;
  const size_t partRecordSize = version == 6 ? 7 : 9;
  size_t p = 6;
  for (size_t k = 0; k < keyCount; ++k) {
    if (!keys.has(p, keyRecordSize)) return damaged("key " + std::to_string(k + 1) + " runs past the key section");
    KeyDefinition key = decodeKeyRecord(keys, p, version);
    p += keyRecordSize;
    for (size_t i = 0; i < key.partCount; ++i, p += partRecordSize) {
      if (!keys.has(p, partRecordSize)) {
        return damaged("the parts of key " + std::to_string(k + 1) + " run past the key section");
      }
      key.parts.push_back(decodeKeyPart(keys, p, version));
    }
    result.push_back(std::move(key));
  }
  if (keyCount > 0) {
    if (Status named = readKeyNamesAndComments(keys, p, result); !named) return named.failure();
  }
  return result;
}

// Every list's names in file order into the table-wide list, and each
// ENUM/SET column's own list, decoded in the column's character set.
void assignValueLists(TableDefinition& def, const std::vector<std::vector<ByteView>>& valueLists,
                      const std::vector<const std::vector<ByteView>*>& listOfColumn,
                      const CollationCatalogue& catalogue) {
  for (const std::vector<ByteView>& list : valueLists) {
    int32_t charsetId = def.tableCharsetId;
    for (size_t i = 0; i < def.columns.size(); ++i) {
      if (listOfColumn[i] == &list) {
        charsetId = def.columns[i].charsetId;
        break;
      }
    }
    for (ByteView name : list) def.intervalNames.push_back(decodeIntervalName(name, charsetId, catalogue));
  }
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (!listOfColumn[i]) continue;
    ColumnDefinition& c = def.columns[i];
    for (ByteView name : *listOfColumn[i]) c.intervalValues.push_back(decodeIntervalName(name, c.charsetId, catalogue));
    c.intervalText = quotedList(c.intervalValues);
  }
}

// The engine's own options, name=value each: the name's length (1 byte) and
// the name, the value's length (2 bytes, 0x8000 set when it was quoted) and
// the value. A zero length ends the table's list; the fields' and keys'
// lists follow it, and are not read.
Result<std::vector<EngineOption>> tableEngineOptions(ByteView list) {
  constexpr uint16_t kQuoted = 0x8000;
  std::vector<EngineOption> options;
  for (size_t p = 0; p < list.size() && list[p] != 0;) {
    const size_t nameLength = list[p];
    const uint16_t valueField = le16(list, p + 1 + nameLength);
    const size_t valueLength = valueField & ~kQuoted;
    if (!list.has(p + 1, nameLength + 2 + valueLength)) return damaged("the engine options are damaged");
    options.push_back({std::string(list.sub(p + 1, nameLength).chars()),
                       std::string(list.sub(p + 3 + nameLength, valueLength).chars()), bool(valueField & kQuoted)});
    p += 3 + nameLength + valueLength;
  }
  return options;
}

Status applyFieldDataTypes(TableDefinition& def, ByteView types) {
  for (size_t p = 0; p < types.size();) {
    auto field = lengthCoded(types, p);
    auto length = lengthCoded(types, p);
    if (!field || !length || !types.has(p, *length)) return damaged("the data types of the fields are damaged");
    if (*field < def.columns.size()) def.columns[*field].dataTypeName = std::string(types.sub(p, *length).chars());
    p += *length;
  }
  return Ok{};
}

// Which columns the server hides (and which make no new row versions), and
// the names of type plugin columns.
Status applyExtra2(TableDefinition& def, ByteView block) {
  constexpr uint8_t kVisibilityBits = 3, kWithoutVersioning = 8;
  const Extra2 extra = splitExtra2(block);
  for (size_t i = 0; i < extra.fieldFlags.size() && i < def.columns.size(); ++i) {
    def.columns[i].invisibility = extra.fieldFlags[i] & kVisibilityBits;
    def.columns[i].withoutVersioning = extra.fieldFlags[i] & kWithoutVersioning;
  }
  return applyFieldDataTypes(def, extra.fieldDataTypes);
}

// What extra2 keeps of the table as a whole: the row version columns, the
// keys that queries leave alone, the engine's options.
Status applyTableExtra2(TableDefinition& def, ByteView block) {
  constexpr uint8_t kIgnoredKey = 1;
  const Extra2 extra = splitExtra2(block);
  if (!extra.applicationPeriod.empty()) return unsupported("application-time periods (PERIOD FOR) are not read");
  for (size_t k = 0; k < extra.indexFlags.size() && k < def.keys.size(); ++k) {
    def.keys[k].ignored = extra.indexFlags[k] & kIgnoredKey;
  }
  if (extra.systemPeriod.size() == 4) {
    const uint16_t start = le16(extra.systemPeriod, 0), end = le16(extra.systemPeriod, 2);
    if (start >= def.columns.size() || end >= def.columns.size()) return damaged("the row version columns are damaged");
    def.versioning.emplace(start, end);
  }
  auto options = tableEngineOptions(extra.engineOptions);
  if (!options) return options.failure();
  def.options.engineOptions = std::move(*options);
  return Ok{};
}

// Layout 11 keeps the expressions of the table after a 16-byte head, one
// entry each:
//   0 kind (ExpressionKind)   1 field number (2 bytes; 0xFFFF for a table CHECK)
//   3 expression length (2 bytes)   5 name length   6 name, then the expression
// A virtual column is computed when read and takes no bytes of a stored row.
enum class ExpressionKind : uint8_t { Virtual = 0, Stored = 1, Default = 2, ColumnCheck = 3, TableCheck = 4 };

struct ExpressionEntry {
  ExpressionKind kind = ExpressionKind::Virtual;
  uint16_t fieldNumber = 0;
  std::string name;
  std::string text;
};

Result<ExpressionEntry> expressionAt(ByteView section, size_t p) {
  constexpr size_t kEntryHeaderSize = 6;
  if (!section.has(p, kEntryHeaderSize)) return damaged("an expression runs past its section");
  const size_t nameLength = section[p + 5], textLength = le16(section, p + 3);
  if (!section.has(p + kEntryHeaderSize, nameLength + textLength)) return damaged("an expression runs past its section");
  ExpressionEntry e;
  e.kind = ExpressionKind(section[p]);
  e.fieldNumber = le16(section, p + 1);
  e.name = decodeIdentifier(section.sub(p + kEntryHeaderSize, nameLength));
  e.text = decodeIdentifier(section.sub(p + kEntryHeaderSize + nameLength, textLength));
  return e;
}

// Puts an entry where it belongs: with its column, or among the table's checks.
Status placeExpression(TableDefinition& def, ExpressionEntry e) {
  if (e.kind == ExpressionKind::TableCheck) {
    def.checks.push_back({std::move(e.name), std::move(e.text)});
    return Ok{};
  }
  if (e.fieldNumber >= def.columns.size()) return damaged("an expression names a column the table does not have");
  ColumnDefinition& c = def.columns[e.fieldNumber];
  switch (e.kind) {
    case ExpressionKind::Virtual: c.isVirtual = true; [[fallthrough]];
    case ExpressionKind::Stored: c.generationExpression = std::move(e.text); break;
    case ExpressionKind::Default: c.defaultExpression = std::move(e.text); break;
    case ExpressionKind::ColumnCheck: c.checkExpression = std::move(e.text); break;
    default: break;  // a kind of a later server
  }
  return Ok{};
}

Status readExpressions(TableDefinition& def, ByteView section) {
  constexpr size_t kBaseSize = 16, kEntryHeaderSize = 6;
  for (size_t p = kBaseSize; p < section.size();) {
    auto entry = expressionAt(section, p);
    if (!entry) return entry.failure();
    p += kEntryHeaderSize + section[p + 5] + le16(section, p + 3);
    if (Status placed = placeExpression(def, std::move(*entry)); !placed) return placed;
  }
  return Ok{};
}

// MySQL 5.7 keeps one entry per generated column, in column order: 1, the
// expression's length (2 bytes), 1 when the column is stored, then the
// expression. A column that is not stored is computed when read.
Status readGeneratedColumns(TableDefinition& def, const std::vector<uint8_t>& uniregTypes, ByteView entries) {
  constexpr uint8_t kGeneratedField = 128;
  constexpr size_t kEntryHeaderSize = 4;
  size_t p = 0;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (!(uniregTypes[i] & kGeneratedField)) continue;
    const size_t length = le16(entries, p + 1);
    if (!entries.has(p, kEntryHeaderSize) || entries[p] != 1 || !entries.has(p + kEntryHeaderSize, length)) {
      return damaged("the expression of column " + def.columns[i].name + " is damaged");
    }
    def.columns[i].isVirtual = entries[p + 3] == 0;
    def.columns[i].generationExpression = decodeIdentifier(entries.sub(p + kEntryHeaderSize, length));
    p += kEntryHeaderSize + length;
  }
  return Ok{};
}

// The hashes of long UNIQUE values are the table's last columns, one per
// such key; the server computes them when it reads a row, and InnoDB keeps
// them in the key alone.
void markLongHashColumns(TableDefinition& def) {
  const size_t hashes = size_t(std::count_if(def.keys.begin(), def.keys.end(),
                                             [](const KeyDefinition& k) { return k.isLongHash(); }));
  for (size_t i = def.columns.size() - std::min(hashes, def.columns.size()); i < def.columns.size(); ++i) {
    if (def.columns[i].isSystemHidden()) def.columns[i].isVirtual = true;
  }
}

}  // namespace

namespace {

// Where the sections of the file lie: the form, then after it the field
// records, their names, the value lists, the comments and the expressions.
struct Sections {
  FormInfo form;
  size_t fields = 0, names = 0, intervals = 0, comments = 0, expressions = 0;
  size_t recordSize = 0;  // of a field record
};

Result<FrmHeader> checkedHeader(ByteView file) {
  if (file.size() < kHeaderSize) {
    return damaged("too short for a table definition (" + std::to_string(file.size()) + " bytes)");
  }
  if (!hasTableDefinitionSignature(file)) return damaged("not a table definition file");
  const FrmHeader header = decodeHeader(file.sub(0, kHeaderSize));
  const uint8_t v = header.version;
  if (v != 6 && v != 7 && v != 9 && v != 10 && v != 11) {
    return damaged("unknown table definition layout " + std::to_string(v));
  }
  if (header.formNameCount == 0) return damaged("the form position is missing (no form names)");
  return header;
}

Result<Sections> locateSections(ByteView file, const FrmHeader& header) {
  const size_t formPointer = kHeaderSize + header.formNamesLength;
  if (!file.has(formPointer, 4)) return damaged(at("the form position runs past the end of the file", formPointer));
  const uint32_t formPosition = le32(file, formPointer);
  if (formPosition == 0) return damaged("the form position is 0");
  if (!file.has(formPosition, kFormSize)) {
    return damaged(at("the form section runs past the end of the file", formPosition));
  }
  Sections s;
  s.form = decodeForm(file.sub(formPosition, kFormSize));
  s.recordSize = header.version >= 9 ? 17 : 11;
  s.fields = size_t(formPosition) + kFormSize + s.form.screenLength;
  s.names = s.fields + size_t(s.form.fieldCount) * s.recordSize;
  s.intervals = s.names + s.form.namesLength;
  s.comments = s.intervals + s.form.intervalsLength;
  s.expressions = s.comments + s.form.commentsLength;
  if (s.expressions + s.form.expressionsLength > file.size()) {
    return damaged(at("the field definitions run past the end of the file", s.fields));
  }
  return s;
}

Result<std::vector<std::vector<ByteView>>> readValueLists(ByteView intervals, size_t count) {
  std::vector<std::vector<ByteView>> lists;
  for (size_t i = 0, p = 0; i < count; ++i) {
    auto list = splitNameList(intervals, p);
    if (!list) return damaged("value list " + std::to_string(i + 1) + " is damaged");
    lists.push_back(std::move(list->names));
    p = list->end;
  }
  return lists;
}

// The type details that layouts 9 and later keep per field.
void applyTypeDetails(ColumnDefinition& c, const FieldRecord& r) {
  c.charsetId = r.charsetId;
  if (c.fieldType == FieldType::Decimal || c.fieldType == FieldType::NewDecimal) {
    c.decimals = (r.packFlags >> PackFlag::DecimalsShift) & PackFlag::DecimalsMask;
    uint32_t precision = c.fieldLength - (c.decimals > 0 ? 1 : 0) -
                         ((r.packFlags & PackFlag::Signed) && c.fieldLength ? 1 : 0);
    c.precision = int32_t(std::min<uint32_t>(precision, kMaxDecimalPrecision));
  } else if (c.fieldType == FieldType::Float || c.fieldType == FieldType::Double) {
    int32_t d = (r.packFlags >> PackFlag::DecimalsShift) & PackFlag::DecimalsMask;
    if (d < PackFlag::NoDecimals) {
      c.precision = int32_t(c.fieldLength);
      c.decimals = d;
    }
  } else if (c.fieldType == FieldType::Geometry) {
    c.geometryType = r.geometryType;
    c.charsetId = kBinaryCollation;
  }
}

ColumnDefinition columnOf(const FieldRecord& r, ByteView name, size_t index, uint32_t serverVersion, bool newer) {
  ColumnDefinition c;
  c.name = decodeIdentifier(name);
  c.fieldIndex = int32_t(index);
  c.fieldLength = r.length;
  c.recordPosition = int32_t(r.recordPosition);
  c.packFlags = r.packFlags;
  c.fieldType = settledType(r.fieldType, serverVersion);
  c.nullable = r.packFlags & PackFlag::Nullable;
  c.noDefault = r.packFlags & PackFlag::NoDefault;
  c.uniregCheck = r.uniregCheck;
  if (newer) applyTypeDetails(c, r);
  return c;
}

// The columns, each with its comment and (ENUM and SET) its value list.
struct ColumnsRead {
  std::vector<const std::vector<ByteView>*> listOfColumn;
  std::vector<uint8_t> uniregTypes;
};

// MariaDB 5.2 to 10.1 give a computed column the type code 245 and keep the
// rest in the expression section, one entry per such column, in order:
//   0 1, or 2 when a value list number follows   1 the column's type code
//   2 bit 0: stored   [3 the value list number]   then the expression
// Byte 12 of the field record is the entry's length.
bool isOldComputedColumn(const FieldRecord& r, uint32_t serverVersion) {
  return r.fieldType == FieldType::Json && (serverVersion < 50600 || serverVersion >= 100000);
}

struct OldComputedColumn {
  bool stored = false;
  std::string expression;
};

Result<OldComputedColumn> settleOldComputedColumn(FieldRecord& r, ByteView section, size_t& p) {
  const size_t length = r.intervalNumber;
  const size_t header = section[p] == 2 ? 4 : 3;
  if (length < header || !section.has(p, length) || (section[p] != 1 && section[p] != 2)) {
    return damaged("the expression of a computed column is damaged");
  }
  r.fieldType = FieldType(section[p + 1]);
  r.intervalNumber = header == 4 ? section[p + 3] : 0;
  OldComputedColumn column{bool(section[p + 2] & 1), decodeIdentifier(section.sub(p + header, length - header))};
  p += length;
  return column;
}

// Where the reading of the columns stands in the sections after the field records.
struct ColumnCursor {
  size_t comment = 0;
  size_t enumSet = 0;   // ENUM/SET columns seen
  size_t computed = 0;  // in the expression section, for MariaDB 5.2 to 10.1
};

const std::vector<ByteView>* valueListOf(const FieldRecord& r, const std::vector<std::vector<ByteView>>& valueLists,
                                         ColumnCursor& at) {
  if (r.fieldType != FieldType::Enum && r.fieldType != FieldType::Set) return nullptr;
  const size_t seen = at.enumSet++;
  if (r.intervalNumber != 0) return r.intervalNumber <= valueLists.size() ? &valueLists[r.intervalNumber - 1] : nullptr;
  return seen < valueLists.size() ? &valueLists[seen] : nullptr;
}

Status readComment(ColumnDefinition& c, const FieldRecord& r, ByteView comments, ColumnCursor& at) {
  if (r.commentLength == 0) return Ok{};
  if (!comments.has(at.comment, r.commentLength)) {
    return damaged("the comment of column " + c.name + " runs past the comment section");
  }
  const std::string_view chars = comments.sub(at.comment, r.commentLength).chars();
  c.comment = decodeIdentifier(ByteView(chars.substr(0, chars.find('\0'))));
  at.comment += r.commentLength;
  return Ok{};
}

Result<ColumnsRead> readColumns(ByteView file, const Sections& s, const std::vector<ByteView>& names,
                                const std::vector<std::vector<ByteView>>& valueLists, TableDefinition& def) {
  const bool newer = def.layoutVersion >= 9;
  const ByteView comments = file.sub(s.comments, s.form.commentsLength);
  const ByteView expressions = file.sub(s.expressions, s.form.expressionsLength);
  ColumnCursor at;
  ColumnsRead read;
  read.listOfColumn.assign(s.form.fieldCount, nullptr);
  for (size_t i = 0; i < s.form.fieldCount; ++i) {
    FieldRecord r = decodeFieldRecord(file.sub(s.fields + i * s.recordSize, s.recordSize), newer);
    std::optional<OldComputedColumn> computed;
    if (newer && isOldComputedColumn(r, def.serverVersion)) {
      auto settled = settleOldComputedColumn(r, expressions, at.computed);
      if (!settled) return settled.failure().prefixed("column " + decodeIdentifier(names[i]) + ": ");
      computed = std::move(*settled);
    }
    ColumnDefinition c = columnOf(r, names[i], i, def.serverVersion, newer);
    read.uniregTypes.push_back(r.uniregType);
    if (newer) read.listOfColumn[i] = valueListOf(r, valueLists, at);
    if (newer) {
      if (Status comment = readComment(c, r, comments, at); !comment) return comment.failure();
    }
    if (computed) {
      c.isVirtual = !computed->stored;
      c.generationExpression = std::move(computed->expression);
    }
    if (isNumeric(c.fieldType)) c.isUnsigned = !(r.packFlags & PackFlag::Signed);
    settleBlob(c);
    def.columns.push_back(std::move(c));
  }
  return read;
}

// The NULL bits come first in the row image, in column order: one reserved
// bit in fixed-length rows, one per nullable column, and the bits of BIT
// columns that do not fill a byte. Files older than 4.1 keep them at the end.
void placeNullBitsOf(TableDefinition& def, const FrmHeader& header) {
  placeNullBits(def, (header.charsetStored && !(header.createOptions & 1)) ? 1 : 0);
  if (!def.nullBitsFirst) {
    const uint32_t start = def.recordLength >= def.nullBytes ? def.recordLength - def.nullBytes : 0;
    for (ColumnDefinition& c : def.columns) {
      c.nullByte += start;
      c.bitsByte += start;
    }
  }
}

TableDefinition tableOf(const FrmHeader& header) {
  TableDefinition def;
  def.engineCode = header.engineCode;
  def.layoutVersion = header.version;
  def.serverVersion = header.serverVersion;
  def.newTemporalFormat = header.serverVersion >= 50600;
  def.tableCharsetId = header.tableCharsetId;
  def.nullBitsFirst = header.charsetStored;
  def.createOptions = header.createOptions;
  def.options = header.options;
  const char* engine = storageEngineName(header.engineCode);
  def.options.engineName = engine ? engine : "";
  return def;
}

// After the default record comes the extra segment:
//   the CONNECTION string (2-byte length, text), the engine's name (2-byte
//   length, name), the partitioning clause (4-byte length, text, a zero
//   byte), 1 byte (auto partitioned, 5.1.11 on), the parser name of each
//   FULLTEXT key that has one (zero-ended), and the table's COMMENT (2-byte
//   length, text) when the form says it is kept here.
// The server reads each piece only while bytes are left, as below.
struct ExtraSegment {
  std::string connection;
  std::string engineName;
  std::string partitioning;
  std::vector<std::string> parsers;  // one per key with a parser, in key order
  std::optional<std::string> comment;
};

std::string lengthPrefixedText(ByteView v, size_t& p, size_t lengthBytes) {
  const size_t length = lengthBytes == 2 ? le16(v, p) : le32(v, p);
  std::string text = decodeIdentifier(v.sub(p + lengthBytes, length));
  p += lengthBytes + length;
  return text;
}

Result<ExtraSegment> readExtraSegment(ByteView v, const TableDefinition& def, bool commentHere) {
  ExtraSegment e;
  size_t p = 0;
  e.connection = lengthPrefixedText(v, p, 2);
  if (p + 2 < v.size()) e.engineName = lengthPrefixedText(v, p, 2);
  if (p + 5 < v.size()) {
    e.partitioning = lengthPrefixedText(v, p, 4);
    ++p;  // the zero after the clause
  }
  if (def.serverVersion >= 50110 && p < v.size()) ++p;
  for (const KeyDefinition& key : def.keys) {
    if (!(key.flags & KeyFlag::HasParser)) continue;
    if (p >= v.size()) return damaged("the parser of key " + key.name + " is missing from the extra segment");
    const std::string_view rest = v.sub(p).chars();
    e.parsers.push_back(std::string(rest.substr(0, rest.find('\0'))));
    p += e.parsers.back().size() + 1;
  }
  if (commentHere) {
    if (p + 2 > v.size()) return damaged("the table comment is missing from the extra segment");
    e.comment = lengthPrefixedText(v, p, 2);
  }
  if (p > v.size()) return damaged("the extra segment ends inside what it holds");
  return e;
}

// A partitioned table names the engine "partition"; its partitions' engine
// is named in extra2, or given by its code in the header.
std::string partitionEngine(ByteView file, const FrmHeader& header) {
  const ByteView named = splitExtra2(file.sub(kHeaderSize, header.formNamesLength)).partitionEngine;
  if (!named.empty()) return std::string(named.chars());
  const char* engine = storageEngineName(header.partitionEngine);
  return engine ? engine : "";
}

void applyExtraSegment(TableDefinition& def, ExtraSegment e, const std::string& partitionEngine) {
  def.options.connection = std::move(e.connection);
  if (e.engineName == "partition") def.options.engineName = partitionEngine;
  else if (!e.engineName.empty()) def.options.engineName = std::move(e.engineName);
  def.options.partitioning = std::move(e.partitioning);
  size_t next = 0;
  for (KeyDefinition& key : def.keys) {
    if ((key.flags & KeyFlag::HasParser) && next < e.parsers.size()) key.parser = e.parsers[next++];
  }
  if (e.comment) def.options.comment = std::move(*e.comment);
}

// What only a CREATE TABLE needs: what extra2 keeps of the table, the default
// record, which follows the key section, and the extra segment after it.
// Their damage is told, not fatal.
Status readTableExtras(TableDefinition& def, ByteView file, const FrmHeader& header, const FormInfo& form) {
  if (Status extra2 = applyTableExtra2(def, file.sub(kHeaderSize, header.formNamesLength)); !extra2) return extra2;
  const size_t record = size_t(header.keyPosition) + header.keySectionLength;
  if (!file.has(record, header.recordLength)) return damaged(at("the default record runs past the end of the file", record));
  def.defaultRecord = file.sub(record, header.recordLength).copy();
  def.defaultsAreNull = header.packFlagVersion <= 1;
  def.options.comment = decodeIdentifier(form.tableComment);
  if (header.extraLength == 0) return Ok{};
  const size_t extra = record + header.recordLength;
  if (!file.has(extra, header.extraLength)) return damaged(at("the extra segment runs past the end of the file", extra));
  auto segment = readExtraSegment(file.sub(extra, header.extraLength), def,
                                  form.tableCommentLength == kCommentInExtraSegment);
  if (!segment) return segment.failure();
  applyExtraSegment(def, std::move(*segment), partitionEngine(file, header));
  return Ok{};
}

// What is kept beside the columns: hidden columns and type plugin names,
// computed columns, and which columns the keys hold.
Status applyColumnExtras(TableDefinition& def, ByteView file, const FrmHeader& header, const Sections& s,
                         const ColumnsRead& read) {
  if (Status extras = applyExtra2(def, file.sub(kHeaderSize, header.formNamesLength)); !extras) return extras;
  const ByteView expressions = file.sub(s.expressions, s.form.expressionsLength);
  Status computed = isMysql57(def.serverVersion) ? readGeneratedColumns(def, read.uniregTypes, expressions)
                    : def.layoutVersion >= 11      ? readExpressions(def, expressions)
                                                   : Status(Ok{});
  if (!computed) return damaged(at(computed.reason().c_str(), s.expressions));
  markLongHashColumns(def);
  markKeyColumns(def);
  return Ok{};
}

}  // namespace

Result<TableDefinition> parseFrm(ByteView file, const CollationCatalogue& catalogue) {
  auto header = checkedHeader(file);
  if (!header) return header.failure();
  auto sections = locateSections(file, *header);
  if (!sections) return sections.failure();
  const Sections& s = *sections;
  TableDefinition def = tableOf(*header);
  def.recordLength = s.form.recordLength;

  if (!file.has(header->keyPosition, header->keyLength)) {
    return damaged(at("the key section runs past the end of the file", header->keyPosition));
  }
  auto keys = parseKeys(file.sub(header->keyPosition, header->keyLength), header->version);
  if (!keys) return keys.failure();
  def.keys = std::move(*keys);

  auto fieldNames = splitNameList(file.sub(s.names, s.form.namesLength), 0);
  if (!fieldNames) return damaged(at("the field name list is damaged", s.names));
  if (fieldNames->names.size() != s.form.fieldCount) {
    return damaged("the file names " + std::to_string(fieldNames->names.size()) + " fields but defines " +
                   std::to_string(s.form.fieldCount));
  }
  auto valueLists = readValueLists(file.sub(s.intervals, s.form.intervalsLength), s.form.intervalCount);
  if (!valueLists) return valueLists.failure();
  auto columns = readColumns(file, s, fieldNames->names, *valueLists, def);
  if (!columns) return columns.failure();
  assignValueLists(def, *valueLists, columns->listOfColumn, catalogue);
  if (Status extras = applyColumnExtras(def, file, *header, s, *columns); !extras) return extras.failure();
  placeNullBitsOf(def, *header);
  if (Status extras = readTableExtras(def, file, *header, s.form); !extras) def.extrasProblem = extras.failure();
  return def;
}

Result<TableDefinition> readFrm(const std::string& path, const CollationCatalogue& catalogue) {
  auto bytes = readSmallFile(path, kMaxFrmSize);
  if (!bytes) return bytes.failure();
  auto def = parseFrm(ByteView(*bytes), catalogue);
  if (!def) return def.failure().prefixed(path + ": ");
  return def;
}

}  // namespace tavrin
