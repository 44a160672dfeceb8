#pragma once
// The records of InnoDB index pages in both formats: the redundant format of
// the system tablespace's dictionary and the compact format (COMPACT and
// DYNAMIC rows) of user tables. Every walk stays inside its page.

#include <cstdint>
#include <string>
#include <optional>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"

namespace tavrin {

inline constexpr uint32_t kRedundantInfimum = 101;
inline constexpr uint32_t kRedundantSupremum = 116;
inline constexpr uint32_t kCompactInfimum = 99;
inline constexpr uint32_t kCompactSupremum = 112;
inline constexpr uint32_t kCompactFirstUserRecord = 120;
// The header before a record's origin, counted back from it, as rem0rec.h
// names its parts:
//   compact (REC_N_NEW_EXTRA_BYTES = 5): -5 info bits (high 4) and owned
//   count   -4..-3 heap number (13 bits) and status (REC_NEW_STATUS, low 3)
//   -2 REC_NEXT (2, relative)
//   redundant (REC_N_OLD_EXTRA_BYTES = 6): -6 info bits and owned count
//   -5..-3 heap number, field count (10 bits) and REC_1BYTE_OFFS_FLAG (the
//   low bit of -3)   -2 REC_NEXT (2, absolute)
inline constexpr uint32_t REC_N_NEW_EXTRA_BYTES = 5;
inline constexpr uint32_t REC_N_OLD_EXTRA_BYTES = 6;
inline constexpr uint32_t REC_NEW_STATUS = 3;  // back from the origin, its low 3 bits
inline constexpr uint32_t REC_NEXT_BYTES = 2;

struct RecordField {
  uint32_t start = 0;  // offset in the page
  uint32_t length = 0;
  bool isNull = false;
  bool external = false;  // a local prefix and a 20-byte reference to BLOB pages
};

// Info bits of a record header.
inline constexpr uint8_t kDeletedFlag = 0x20;
inline constexpr uint8_t kMinRecordFlag = 0x10;

// The origins of the user records of an index page, in chain order. A chain
// that leaves the page, loops or is longer than the page can hold ends the
// walk with a reason.
struct RecordChain {
  std::vector<uint32_t> origins;
  std::optional<Failure> damage;  // why the chain ends before the supremum
};

// From `start` (0: the first record after the infimum).
RecordChain redundantRecords(ByteView page, uint32_t start = 0);
// From `start` (0: the first record after the infimum).
RecordChain compactRecords(ByteView page, uint32_t start = 0);

// True when the page carries the infimum record of the format. The root of
// a table whose columns were dropped or reordered in place has its infimum
// and supremum texts zeroed (so that older servers refuse it); that counts.
bool hasCompactInfimum(ByteView page);
bool hasRedundantInfimum(ByteView page);
// True for such a root.
bool hasZeroedInfimum(ByteView page);

// The info bits (kDeletedFlag, kMinRecordFlag) of a record.
uint8_t compactInfoBits(ByteView page, uint32_t origin);
uint8_t redundantInfoBits(ByteView page, uint32_t origin);

// The fields of a redundant record, from its end-offset array.
Result<std::vector<RecordField>> redundantFields(ByteView page, uint32_t origin);

// What the compact record walk needs to know of a field.
struct CompactFieldShape {
  uint32_t fixedLength = 0;  // 0: the length is in the record header
  bool nullable = false;
  bool big = false;  // lengths above 127 take two bytes
};

// The fields of a compact record, for the first `count` shapes of the layout
// (a node pointer holds only the key fields); the null bitmap is sized by the
// nullable fields of the whole layout.
Status compactFields(ByteView page, uint32_t origin, const std::vector<CompactFieldShape>& layout, size_t count,
                     std::vector<RecordField>& fields);

// The null bitmap of a compact record that holds the first `count` fields.
uint32_t nullBytesOf(const std::vector<CompactFieldShape>& shapes, size_t count);

// The same for a record whose header is `headerBytes` long below its origin
// (5, and more for a record that counts its fields) and whose null bitmap
// takes `nullBytes`.
Status compactFieldsWith(ByteView page, uint32_t origin, const std::vector<CompactFieldShape>& layout, size_t count,
                         uint32_t headerBytes, uint32_t nullBytes, std::vector<RecordField>& fields);

// The two record formats of index pages, for the code that reads either: a
// page's header says which it holds.
enum class RecordFormat { Compact, Redundant };

RecordFormat formatOf(ByteView page);
bool hasInfimum(RecordFormat format, ByteView page);
// The supremum's origin: where the records of a page end.
uint32_t supremumOf(RecordFormat format);
RecordChain recordChain(RecordFormat format, ByteView page, uint32_t start = 0);
uint8_t infoBits(RecordFormat format, ByteView page, uint32_t origin);
// The first `count` fields of a record (a node pointer holds the key fields
// and the child's page number). The shapes say where a compact record keeps
// its fields; a redundant record says so itself, and must hold `count`.
Status recordFields(RecordFormat format, ByteView page, uint32_t origin, const std::vector<CompactFieldShape>& shapes,
                    size_t count, std::vector<RecordField>& fields);

}  // namespace tavrin
