#pragma once
// The Serialized Dictionary Information of a MySQL 8 tablespace: the
// definitions of the table and of the tablespace, as zlib-compressed JSON in
// the records of an index of their own, whose root page the first page
// names.
//
// Page 0, after the file space header and the extent descriptors, and after
// the room kept for the encryption key:
//   0 SDI version (4 bytes, 1)   4 root page number of the SDI index (4 bytes)
//
// A record of the SDI index (compact format, no NULL bits):
//   type (4: 1 table, 2 tablespace)   id (8)   DB_TRX_ID (6)   DB_ROLL_PTR (7)
//   uncompressed length (4)   compressed length (4)   the zlib stream (its
//   length in the record header; kept on pages of its own when long)

#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"
#include "innodb/page.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/sdi_definition.h"

namespace tavrin {

inline constexpr uint16_t kSdiPageType = 17853;      // 0x45BD: a page of the SDI index
inline constexpr uint16_t kSdiBlobPageType = 18;     // a page of an SDI record's stream kept apart
inline constexpr uint32_t kSdiTypeTable = 1;
inline constexpr uint32_t kSdiTypeTablespace = 2;
// No definition is larger; a length past it is damage.
inline constexpr uint32_t kSdiMaxLength = 64u << 20;

struct SdiRecord {
  uint32_t type = 0;
  uint64_t id = 0;
  std::string json;
};

// The root page of the SDI index from the bytes of page 0, or why there is
// none (a tablespace of a server before MySQL 8 keeps none). The sizes are
// the logical and the physical page size (smaller when compressed).
Result<uint32_t> sdiRootPage(ByteView firstPage, uint32_t pageSize, uint32_t physicalSize);

// The text of a zlib stream that must inflate to exactly `length` bytes.
Result<std::string> inflateSdi(ByteView stream, uint32_t length);

// Every SDI record of the tablespace, from the leaves of the SDI index.
Result<std::vector<SdiRecord>> readSdi(const Tablespace& space);

// The definition of the table whose tablespace file is at `path`; failures
// name the file. A tablespace of a server before MySQL 8 fails as unsupported.
Result<SdiTable> readTablespaceDefinition(const std::string& path, const CollationCatalogue& catalogue);
// Only the name of that table and whether it is one the server keeps for itself.
Result<SdiTable> readTablespaceIdentity(const std::string& path);

}  // namespace tavrin
