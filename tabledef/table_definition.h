#pragma once
// The one description of a table that every reader fills and every decoder
// and view reads.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/result.h"

namespace tavrin {

// The server's field type codes, as stored in definition files.
enum class FieldType : uint8_t {
  Decimal = 0,
  Tiny = 1,
  Short = 2,
  Long = 3,
  Float = 4,
  Double = 5,
  Null = 6,
  Timestamp = 7,
  LongLong = 8,
  Int24 = 9,
  Date = 10,
  Time = 11,
  DateTime = 12,
  Year = 13,
  NewDate = 14,
  Varchar = 15,
  Bit = 16,
  Timestamp2 = 17,
  DateTime2 = 18,
  Time2 = 19,
  // MySQL 5.7's binary JSON; MariaDB 5.2 to 10.1 wrote this code for
  // virtual columns instead, which keep their own type elsewhere.
  Json = 245,
  NewDecimal = 246,
  Enum = 247,
  Set = 248,
  TinyBlob = 249,
  MediumBlob = 250,
  LongBlob = 251,
  Blob = 252,
  VarString = 253,
  String = 254,
  Geometry = 255,
};

// Storage engine codes of the definition file.
inline constexpr uint8_t kEngineMemory = 6;
inline constexpr uint8_t kEngineMyisam = 9;
inline constexpr uint8_t kEngineInnodb = 12;
inline constexpr uint8_t kEnginePartitioned = 20;

// The server's name of a storage engine code, or null for a code it gives
// no name (engines loaded as plugins name themselves elsewhere in the file).
inline const char* storageEngineName(uint8_t code) {
  switch (code) {
    case 6: return "MEMORY";
    case 7: return "ISAM";
    case 8: return "MRG_ISAM";
    case 9: return "MyISAM";
    case 10: return "MRG_MyISAM";
    case 11: return "BerkeleyDB";
    case 12: return "InnoDB";
    case 14: return "NDBCLUSTER";
    case 15: return "EXAMPLE";
    case 16: return "ARCHIVE";
    case 17: return "CSV";
    case 18: return "FEDERATED";
    case 19: return "BLACKHOLE";
    case 20: return "partitioned";
    case 23: return "PBXT";
    case 27: return "Maria";
    case 28: return "PERFORMANCE_SCHEMA";
    case 41: return "S3";
    case 42: return "Aria";
    case 43: return "TokuDB";
    case 44: return "RocksDB";
    case 45: return "SEQUENCE";
    default: return nullptr;
  }
}

// Bits of a field's 16-bit pack flags.
namespace PackFlag {
inline constexpr uint16_t Signed = 0x0001;  // numbers: signed; DECIMAL too
inline constexpr uint16_t Zerofill = 0x0004;
inline constexpr uint16_t BitAsChar = 0x1000;
inline constexpr uint16_t NoDefault = 0x4000;  // layout 9 on: NOT NULL without a DEFAULT clause
inline constexpr uint16_t Nullable = 0x8000;
inline constexpr int DecimalsShift = 8;
inline constexpr uint16_t DecimalsMask = 31;
inline constexpr uint16_t NoDecimals = 31;
}  // namespace PackFlag

// What the server puts in a column by itself (the field's "unireg check";
// the older codes no longer mean anything).
namespace Unireg {
inline constexpr uint8_t NextNumber = 15;           // AUTO_INCREMENT
inline constexpr uint8_t OldTimestamp = 18;         // a TIMESTAMP of 4.1.2 and before: set on update
inline constexpr uint8_t DefaultNow = 21;           // DEFAULT current_timestamp
inline constexpr uint8_t UpdateNow = 22;            // ON UPDATE current_timestamp
inline constexpr uint8_t DefaultAndUpdateNow = 23;  // both
}  // namespace Unireg

// The types of the server's type plugins, stored as fixed-length bytes.
enum class PluginType : uint8_t { None, Inet4, Inet6, Uuid };

struct ColumnDefinition {
  std::string name;
  int32_t fieldIndex = 0;      // position in the definition file's field list
  int32_t recordPosition = 0;  // 1-based byte position in the row image
  FieldType fieldType = FieldType::Decimal;
  int32_t geometryType = 0;    // GEOMETRY only: 1 POINT ... 7 GEOMETRYCOLLECTION
  uint32_t fieldLength = 0;    // bytes (characters times the widest character); bits for BIT
  bool nullable = false;
  bool inPrimaryKey = false;
  bool inUniqueKey = false;
  int32_t precision = 0;  // DECIMAL; FLOAT and DOUBLE with a declared scale
  int32_t decimals = 0;   // the scale
  int32_t charsetId = 0;  // collation id; 63 is binary; 0 in files older than 4.1
  std::string intervalText;  // ENUM and SET: 'a','b','c'
  std::string comment;

  uint16_t packFlags = 0;
  bool isUnsigned = false;  // integer, decimal and floating types
  // Computed from other columns when read; its bytes are not in a stored row.
  bool isVirtual = false;
  // ENUM and SET: this column's own value names, in order.
  std::vector<std::string> intervalValues;
  // A type of the server's type plugins (inet4, inet6, uuid), stored as CHAR.
  std::string dataTypeName;
  // 0 visible; 1 left out of SELECT *; 2 and 3 columns that the server adds
  // itself (row versions, hashes of long unique keys), shown nowhere.
  uint8_t invisibility = 0;
  uint8_t uniregCheck = 0;
  // Layout 9 on: a NOT NULL column without a DEFAULT clause.
  bool noDefault = false;
  // Changes to it make no new row version (WITHOUT SYSTEM VERSIONING).
  bool withoutVersioning = false;
  // The expressions kept as text: what a computed column is computed from
  // (stored or not, as isVirtual says), an expression DEFAULT, and the
  // column's CHECK constraint; empty where there is none.
  std::string generationExpression;
  std::string defaultExpression;
  std::string checkExpression;

  // Where the row image keeps the column's NULL bit (nullable columns only),
  // and for BIT columns the bits that do not fill a byte.
  uint32_t nullByte = 0;
  uint8_t nullMask = 0;
  uint32_t bitsByte = 0;
  uint8_t bitsShift = 0;

  bool isSystemHidden() const { return invisibility >= 2; }
  bool isGenerated() const { return !generationExpression.empty(); }
  bool isAutoIncrement() const { return uniregCheck == Unireg::NextNumber; }
  bool defaultsToNow() const { return uniregCheck == Unireg::DefaultNow || uniregCheck == Unireg::DefaultAndUpdateNow; }
  bool updatesToNow() const {
    return uniregCheck == Unireg::UpdateNow || uniregCheck == Unireg::DefaultAndUpdateNow ||
           uniregCheck == Unireg::OldTimestamp;
  }
  PluginType pluginType() const {
    return dataTypeName == "inet4"  ? PluginType::Inet4
           : dataTypeName == "inet6" ? PluginType::Inet6
           : dataTypeName == "uuid"  ? PluginType::Uuid
                                     : PluginType::None;
  }
  // The byte offset of the column in the row image.
  uint32_t recordOffset() const { return recordPosition > 0 ? uint32_t(recordPosition - 1) : 0; }
};

struct KeyPartDefinition {
  uint16_t fieldNumber = 0;  // 1-based column number; 0 is none
  uint16_t offset = 0;       // in the row image, 0-based
  uint16_t keyType = 0;
  uint8_t partFlags = 0;
  uint16_t length = 0;  // bytes of the column the key holds

  static constexpr uint8_t kDescending = 0x80;
  bool isDescending() const { return partFlags & kDescending; }
};

// Bits of a key's flags.
namespace KeyFlag {
inline constexpr uint16_t Unique = 0x0001;
inline constexpr uint16_t Fulltext = 0x0080;
inline constexpr uint16_t Spatial = 0x0400;
inline constexpr uint16_t HasComment = 0x1000;
inline constexpr uint16_t HasParser = 0x4000;   // a FULLTEXT key with a parser plugin
inline constexpr uint16_t HasBlockSize = 0x8000;
}  // namespace KeyFlag

// How a key is searched, as CREATE TABLE names it after USING.
enum class KeyAlgorithm : uint8_t { Default = 0, Btree = 1, Rtree = 2, Hash = 3, Fulltext = 4, LongHash = 5 };

struct KeyDefinition {
  uint16_t flags = 0;  // KeyFlag bits
  uint16_t keyLength = 0;
  uint8_t partCount = 0;
  uint8_t algorithm = 0;
  uint16_t blockSize = 0;
  std::string name;
  std::string comment;
  std::string parser;  // the FULLTEXT parser plugin
  bool ignored = false;  // kept up to date but not used by queries (IGNORED)
  std::vector<KeyPartDefinition> parts;

  bool isUnique() const { return flags & KeyFlag::Unique; }
  bool isPrimary() const;
  // A UNIQUE key over values too long to index, checked through a hash kept
  // in a hidden column that is the key's only stored part.
  bool isLongHash() const { return KeyAlgorithm(algorithm) == KeyAlgorithm::LongHash; }
};

// A CHECK constraint of the table (a column's own is kept with the column).
struct CheckConstraint {
  std::string name;
  std::string expression;
};

// An option the storage engine defines, name=value, as written in CREATE TABLE.
struct EngineOption {
  std::string name;
  std::string value;
  bool quoted = false;
};

// 0 where not given; otherwise as the table was created or last altered.
struct TableOptions {
  std::string engineName;  // as the server names the engine
  uint32_t maxRows = 0;
  uint32_t minRows = 0;
  uint32_t avgRowLength = 0;
  uint8_t rowFormat = 0;       // 1 FIXED, 2 DYNAMIC, 3 COMPRESSED, 4 REDUNDANT, 5 COMPACT, 6 PAGE
  uint16_t keyBlockSize = 0;
  uint8_t transactional = 0;   // 1 no, 2 yes
  uint8_t pageChecksum = 0;    // 1 no, 2 yes
  bool sequence = false;
  uint16_t statsSamplePages = 0;
  uint8_t statsAutoRecalc = 0;  // 1 on, 2 off
  std::string comment;
  std::string connection;
  std::string partitioning;  // the PARTITION BY clause as the file keeps it
  // Where a table made with DATA DIRECTORY keeps its tablespace, as the
  // server shows it: the link file's target less DATABASE/TABLE.ibd.
  std::string dataDirectory;
  std::vector<EngineOption> engineOptions;
};

// Bits of the table's create options.
namespace CreateOption {
inline constexpr uint16_t PackRecord = 0x0001;
inline constexpr uint16_t PackKeys = 0x0002;
inline constexpr uint16_t Checksum = 0x0020;
inline constexpr uint16_t DelayKeyWrite = 0x0040;
inline constexpr uint16_t NoPackKeys = 0x0080;
inline constexpr uint16_t StatsPersistent = 0x1000;
inline constexpr uint16_t NoStatsPersistent = 0x2000;
}  // namespace CreateOption

// MySQL 8 keeps, beside the table's definition, the storage engine's own
// account of its clustered index: where its tree starts and its fields in
// the order each record keeps them.
struct StoredIndexField {
  int32_t column = -1;     // into TableDefinition.columns; -1 for a system field
  std::string systemName;  // DB_ROW_ID, DB_TRX_ID, DB_ROLL_PTR
  uint32_t prefixLength = 0;  // a key field that holds the first bytes of its column; 0: all of it
};

struct StoredClusteredIndex {
  uint32_t rootPage = 0;
  uint64_t indexId = 0;
  size_t keyFields = 0;  // the leading fields that order the records
  std::vector<StoredIndexField> fields;
};

struct TableDefinition {
  std::vector<ColumnDefinition> columns;
  // Every value name of every ENUM/SET list, first list first.
  std::vector<std::string> intervalNames;
  uint32_t recordLength = 0;
  uint32_t nullBytes = 0;
  uint8_t engineCode = 0;
  int32_t tableCharsetId = 0;  // 0 when the file does not carry one
  bool newTemporalFormat = false;

  uint8_t layoutVersion = 0;
  uint32_t serverVersion = 0;  // such as 50540 for 5.5.40
  uint16_t createOptions = 0;  // bit 0: packed (not fixed-length) rows
  bool nullBitsFirst = true;
  std::vector<KeyDefinition> keys;  // in file order

  // The row image of every column's default value, as the file keeps it;
  // empty when the file holds none that can be read.
  std::vector<uint8_t> defaultRecord;
  // The oldest files keep no NULL bits in their default record: every
  // column that may be NULL defaults to NULL.
  bool defaultsAreNull = false;
  TableOptions options;
  // Why what only a CREATE TABLE needs (the default record, the extra
  // segment after it, the table's options) could not be read.
  std::optional<Failure> extrasProblem;
  std::vector<CheckConstraint> checks;
  // System versioning: the 0-based numbers of the row start and end columns.
  std::optional<std::pair<uint16_t, uint16_t>> versioning;

  // From a MySQL 8 tablespace's own definition; none from a .frm file.
  std::optional<StoredClusteredIndex> clusteredIndex;
  // Read from the text of a CREATE TABLE statement, not from the server's
  // own files: the pages must show that it fits before a row is read by it.
  bool fromStatement = false;

  bool isVersioningColumn(size_t column) const {
    return versioning && (column == versioning->first || column == versioning->second);
  }
};

// Marks the columns of the primary key and of the unique keys.
void markKeyColumns(TableDefinition& def);

}  // namespace tavrin
