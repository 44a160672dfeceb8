#include "tabledef/frm_reader.h"

#include <algorithm>
#include <optional>

#include "base/file.h"
#include "base/text.h"
#include "tabledef/charset.h"
#include "tabledef/field_layout.h"

namespace tavrin {

namespace {

constexpr size_t kHeaderSize = 64;
constexpr size_t kFormSize = 288;
// No definition file comes near this; the bound keeps a foreign file out of memory.
constexpr uint64_t kMaxFrmSize = 64u << 20;

struct FrmHeader {
  uint8_t version = 0;
  uint8_t engineCode = 0;
  uint16_t formNamesLength = 0;  // the block after the header; the form position follows it
  uint32_t keyPosition = 0;
  uint16_t formNameCount = 0;
  uint32_t keyLength = 0;
  uint16_t createOptions = 0;
  bool charsetStored = false;  // also: NULL bits come first in the row image
  int32_t tableCharsetId = 0;
  uint32_t serverVersion = 0;
};

FrmHeader decodeHeader(ByteView h) {
  FrmHeader header;
  header.version = h[2];
  header.engineCode = h[3];
  header.formNamesLength = le16(h, 4);
  header.keyPosition = le16(h, 6);
  header.formNameCount = le16(h, 8);
  header.keyLength = le16(h, 28);
  header.createOptions = le16(h, 30);
  header.charsetStored = h[32] == 0;
  header.tableCharsetId = header.charsetStored ? h[41] * 256 + h[38] : 0;
  header.serverVersion = le32(h, 51);
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
  uint16_t expressionsLength = 0;  // layout 11: virtual columns, defaults, checks; MySQL 5.7: generated columns
};

// MySQL 5.7 and its kin write generated columns in a layout of their own.
bool isMysql57(uint32_t serverVersion) { return serverVersion >= 50700 && serverVersion < 100000; }

FormInfo decodeForm(ByteView f, uint8_t version, uint32_t serverVersion) {
  FormInfo form;
  form.fieldCount = le16(f, 258);
  form.screenLength = le16(f, 260);
  form.recordLength = le16(f, 266);
  form.namesLength = le16(f, 268);
  form.intervalCount = le16(f, 270);
  form.intervalsLength = le16(f, 274);
  form.nullFieldCount = le16(f, 282);
  form.commentsLength = le16(f, 284);
  form.expressionsLength = version >= 11 || isMysql57(serverVersion) ? le16(f, 286) : 0;
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
  } else {
    f.length = r[3];
    f.recordPosition = le16(r, 4);
    f.packFlags = le16(r, 6) & ~0x4000;
    f.fieldType = FieldType((f.packFlags >> 3) & 15);
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
// for virtual columns, whose own type is kept elsewhere and not read.
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

// 'a','b''c' as the server writes a value list: each name quoted, quotes
// and backslashes doubled, so that the text is valid SQL.
std::string quotedList(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text.push_back(',');
    text.push_back('\'');
    for (char c : name) {
      if (c == '\'' || c == '\\') text.push_back(c);
      text.push_back(c);
    }
    text.push_back('\'');
  }
  return text;
}

// MariaDB keeps extra table information in typed, length-prefixed records
// where older files keep form names (which start with "/").
struct Extra2 {
  ByteView fieldFlags;     // one byte per field
  ByteView fieldDataTypes;  // (field number, name) pairs
};

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

// Which columns the server hides, and the names of type plugin columns.
Status applyExtra2(TableDefinition& def, ByteView block) {
  const Extra2 extra = splitExtra2(block);
  for (size_t i = 0; i < extra.fieldFlags.size() && i < def.columns.size(); ++i) {
    def.columns[i].invisibility = extra.fieldFlags[i] & 3;
  }
  const ByteView types = extra.fieldDataTypes;
  for (size_t p = 0; p < types.size();) {
    auto field = lengthCoded(types, p);
    auto length = lengthCoded(types, p);
    if (!field || !length || !types.has(p, *length)) return damaged("the data types of the fields are damaged");
    if (*field < def.columns.size()) def.columns[*field].dataTypeName = std::string(types.sub(p, *length).chars());
    p += *length;
  }
  return Ok{};
}

// Layout 11 lists the expressions of the table (computed columns, defaults,
// checks); a virtual column is computed when read and takes no bytes of a
// stored row.
Status markVirtualColumns(TableDefinition& def, ByteView expressions) {
  constexpr size_t kBaseSize = 16, kEntryHeaderSize = 6;
  constexpr uint8_t kVirtualColumn = 0;
  for (size_t p = kBaseSize; p < expressions.size();) {
    const size_t length = kEntryHeaderSize + expressions[p + 5] + le16(expressions, p + 3);
    if (!expressions.has(p, kEntryHeaderSize) || !expressions.has(p, length)) {
      return damaged("an expression runs past its section");
    }
    const uint16_t fieldNumber = le16(expressions, p + 1);
    if (expressions[p] == kVirtualColumn && fieldNumber < def.columns.size()) def.columns[fieldNumber].isVirtual = true;
    p += length;
  }
  return Ok{};
}

// MySQL 5.7 keeps one entry per generated column, in column order: 1, the
// expression's length (2 bytes), 1 when the column is stored, then the
// expression. A column that is not stored is computed when read.
Status markGeneratedColumns(TableDefinition& def, const std::vector<uint8_t>& uniregTypes, ByteView entries) {
  constexpr uint8_t kGeneratedField = 128;
  constexpr size_t kEntryHeaderSize = 4;
  size_t p = 0;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (!(uniregTypes[i] & kGeneratedField)) continue;
    if (!entries.has(p, kEntryHeaderSize) || entries[p] != 1 || !entries.has(p + kEntryHeaderSize, le16(entries, p + 1))) {
      return damaged("the expression of column " + def.columns[i].name + " is damaged");
    }
    def.columns[i].isVirtual = entries[p + 3] == 0;
    p += kEntryHeaderSize + le16(entries, p + 1);
  }
  return Ok{};
}

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
  s.form = decodeForm(file.sub(formPosition, kFormSize), header.version, header.serverVersion);
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
  if (newer) applyTypeDetails(c, r);
  return c;
}

// The columns, each with its comment and (ENUM and SET) its value list.
struct ColumnsRead {
  std::vector<const std::vector<ByteView>*> listOfColumn;
  std::vector<uint8_t> uniregTypes;
};

Result<ColumnsRead> readColumns(ByteView file, const Sections& s, const std::vector<ByteView>& names,
                                const std::vector<std::vector<ByteView>>& valueLists, TableDefinition& def) {
  const bool newer = def.layoutVersion >= 9;
  const ByteView comments = file.sub(s.comments, s.form.commentsLength);
  size_t commentPosition = 0, enumSetSeen = 0;
  ColumnsRead read;
  read.listOfColumn.assign(s.form.fieldCount, nullptr);
  for (size_t i = 0; i < s.form.fieldCount; ++i) {
    const FieldRecord r = decodeFieldRecord(file.sub(s.fields + i * s.recordSize, s.recordSize), newer);
    ColumnDefinition c = columnOf(r, names[i], i, def.serverVersion, newer);
    read.uniregTypes.push_back(r.uniregType);
    if (newer && (c.fieldType == FieldType::Enum || c.fieldType == FieldType::Set)) {
      if (r.intervalNumber != 0 && r.intervalNumber <= valueLists.size()) {
        read.listOfColumn[i] = &valueLists[r.intervalNumber - 1];
      } else if (r.intervalNumber == 0 && enumSetSeen < valueLists.size()) {
        read.listOfColumn[i] = &valueLists[enumSetSeen];
      }
      ++enumSetSeen;
    }
    if (newer && r.commentLength != 0) {
      if (!comments.has(commentPosition, r.commentLength)) {
        return damaged("the comment of column " + c.name + " runs past the comment section");
      }
      const std::string_view chars = comments.sub(commentPosition, r.commentLength).chars();
      c.comment = decodeIdentifier(ByteView(chars.substr(0, chars.find('\0'))));
      commentPosition += r.commentLength;
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
void placeNullBits(TableDefinition& def, const FrmHeader& header) {
  uint32_t nullBits = (header.charsetStored && !(header.createOptions & 1)) ? 1 : 0;
  for (ColumnDefinition& c : def.columns) {
    if (c.nullable) {
      c.nullByte = nullBits / 8;
      c.nullMask = uint8_t(1u << (nullBits % 8));
      ++nullBits;
    }
    if (c.fieldType == FieldType::Bit && !(c.packFlags & PackFlag::BitAsChar)) {
      c.bitsByte = nullBits / 8;
      c.bitsShift = uint8_t(nullBits % 8);
      nullBits += c.fieldLength % 8;
    }
  }
  def.nullBytes = (nullBits + 7) / 8;
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
  return def;
}

// What is kept beside the columns: hidden columns and type plugin names,
// computed columns, and which columns the keys hold.
Status applyColumnExtras(TableDefinition& def, ByteView file, const FrmHeader& header, const Sections& s,
                         const ColumnsRead& read) {
  if (Status extras = applyExtra2(def, file.sub(kHeaderSize, header.formNamesLength)); !extras) return extras;
  const ByteView expressions = file.sub(s.expressions, s.form.expressionsLength);
  Status computed = isMysql57(def.serverVersion) ? markGeneratedColumns(def, read.uniregTypes, expressions)
                                                 : markVirtualColumns(def, expressions);
  if (!computed) return damaged(at(computed.reason().c_str(), s.expressions));
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
  placeNullBits(def, *header);
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
