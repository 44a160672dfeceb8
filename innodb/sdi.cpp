#include "innodb/sdi.h"

#include <unordered_set>

#include "base/inflate.h"
#include "innodb/external.h"
#include "innodb/records.h"

namespace tavrin {

namespace {

// Kept for the encryption key whether the tablespace is encrypted or not.
constexpr size_t kEncryptionInfoSize = 115;
constexpr uint32_t kSdiVersion = 1;

// type, id, DB_TRX_ID, DB_ROLL_PTR, uncompressed length, compressed length, the stream.
const std::vector<CompactFieldShape> kSdiShapes = {{4, false, false}, {8, false, false}, {6, false, false},
                                                   {7, false, false}, {4, false, false}, {4, false, false},
                                                   {0, false, true}};
constexpr size_t kSdiKeyFields = 2;
enum SdiField : size_t { Type = 0, Id = 1, UncompressedLength = 4, CompressedLength = 5, Stream = 6 };

// The page `number`, which must be a compact page of the SDI index.
Status readSdiPage(const Tablespace& space, uint64_t number, std::vector<uint8_t>& page) {
  if (number >= space.pageCount()) return damaged(space.path() + ": the SDI index leads to page " +
                                                  std::to_string(number) + ", past the end of the file");
  if (Status read = space.readPage(number, page); !read) return read;
  const ByteView p(page);
  if (decodeFilHeader(p).pageType != kSdiPageType) return damagedAt(space.placeOf(number), "not a page of the SDI index");
  if (!hasCompactInfimum(p)) return damagedAt(space.placeOf(number), "no records of the compact format");
  return Ok{};
}

// Down the first node pointers to the leftmost leaf.
Result<uint64_t> leftmostLeaf(const Tablespace& space, uint64_t root, std::vector<uint8_t>& page) {
  std::vector<RecordField> fields;
  uint64_t number = root;
  for (int depth = 0; depth <= kMaxIndexTreeDepth; ++depth) {
    if (Status read = readSdiPage(space, number, page); !read) return read.failure();
    const ByteView p(page);
    if (decodeIndexPageHeader(p).level == 0) return number;
    const RecordChain chain = compactRecords(p);
    if (chain.origins.empty()) return damagedAt(space.placeOf(number), "a node page without node pointers");
    if (Status f = compactFields(p, chain.origins.front(), kSdiShapes, kSdiKeyFields, fields); !f) {
      return damagedAt(space.placeOf(number), f.reason());
    }
    number = be32(p, fields.back().start + fields.back().length);
  }
  return damaged(space.path() + ": the SDI index is deeper than any index can be");
}

// The record at `origin`; `where` names its page in the reasons of its own damage.
Result<SdiRecord> recordAt(const Tablespace& space, ByteView p, uint32_t origin, const Place& where,
                           std::vector<uint8_t>& blob) {
  std::vector<RecordField> fields;
  if (Status f = compactFields(p, origin, kSdiShapes, kSdiShapes.size(), fields); !f) {
    return f.failure().at(where);
  }
  SdiRecord record;
  record.type = be32(p, fields[Type].start);
  record.id = be64(p, fields[Id].start);
  const uint32_t length = be32(p, fields[UncompressedLength].start);
  const uint32_t compressed = be32(p, fields[CompressedLength].start);
  if (length > kSdiMaxLength || compressed > kSdiMaxLength) {
    return damagedAt(where, "an SDI record longer than any definition");
  }
  const RecordField& stream = fields[Stream];
  std::vector<uint8_t> whole;
  ByteView bytes = p.sub(stream.start, stream.length);
  if (stream.external) {
    if (stream.length < kExternalReferenceSize) return damagedAt(where, "an SDI record kept apart has no reference");
    const ByteView local = bytes.sub(0, stream.length - kExternalReferenceSize);
    whole.assign(local.data(), local.data() + local.size());
    if (Status read = readExternalValue(space, decodeExternalReference(bytes), whole, blob); !read) {
      return read.failure().prefixed("an SDI record kept apart: ").at(where);
    }
    bytes = ByteView(whole);
  }
  if (bytes.size() != compressed) {
    return damagedAt(where, "an SDI record of " + std::to_string(bytes.size()) + " bytes says it has " +
                                std::to_string(compressed));
  }
  auto json = inflateSdi(bytes, length);
  if (!json) return json.failure().at(where);
  record.json = std::move(*json);
  return record;
}

}  // namespace

Result<uint32_t> sdiRootPage(ByteView firstPage, uint32_t pageSize, uint32_t physicalSize) {
  const size_t offset = extentDescriptorsEnd(pageSize, physicalSize) + kEncryptionInfoSize;
  if (!firstPage.has(offset, 8)) return damaged("the first page is too short to name the SDI index");
  const uint32_t version = be32(firstPage, offset);
  if (version != kSdiVersion) {
    return unsupported("the tablespace keeps no table definition (no SDI index: written by a server before MySQL 8)");
  }
  const uint32_t root = be32(firstPage, offset + 4);
  if (root == 0 || root == kNoPage) return damaged("the first page names no root page of the SDI index");
  return root;
}

Result<std::string> inflateSdi(ByteView stream, uint32_t length) {
  std::string text(length, '\0');
  if (Status inflated = inflateExactly(stream, reinterpret_cast<uint8_t*>(text.data()), length,
                                       "the compressed SDI record");
      !inflated) {
    return inflated.failure();
  }
  return text;
}

Result<std::vector<SdiRecord>> readSdi(const Tablespace& space) {
  // Only page 0 names the SDI index: damaged, it tells nothing, not even that there is none.
  if (space.firstPageDamage()) return *space.firstPageDamage();
  std::vector<uint8_t> page;
  if (Status read = space.readPage(0, page); !read) return read.failure();
  auto root = sdiRootPage(ByteView(page), space.pageSize(), space.physicalPageSize());
  if (!root) return root.failure().prefixed(space.path() + ": ");
  auto leaf = leftmostLeaf(space, *root, page);
  if (!leaf) return leaf.failure();
  std::vector<SdiRecord> records;
  std::vector<uint8_t> blob;
  std::unordered_set<uint64_t> visited;
  for (uint64_t number = *leaf; number != kNoPage;) {
    if (!visited.insert(number).second) return damaged(space.path() + ": the leaf pages of the SDI index loop");
    if (Status read = readSdiPage(space, number, page); !read) return read.failure();
    const ByteView p(page);
    const RecordChain chain = compactRecords(p);
    if (chain.damage) return chain.damage->at(space.placeOf(number));
    for (const uint32_t origin : chain.origins) {
      if (compactInfoBits(p, origin) & kDeletedFlag) continue;
      auto record = recordAt(space, p, origin, space.placeOf(number), blob);
      if (!record) return record.failure();
      records.push_back(std::move(*record));
    }
    number = decodeFilHeader(p).nextPage;
  }
  return records;
}

namespace {

// The JSON of the table's record among the tablespace's SDI records.
Result<std::string> tableRecord(const std::string& path) {
  auto space = Tablespace::open(path);
  if (!space) return space.failure();
  if (space->isCompressed()) {
    return unsupported(path + ": the table uses the COMPRESSED row format, which is not supported");
  }
  auto records = readSdi(*space);
  if (!records) return records.failure();
  for (SdiRecord& record : *records) {
    if (record.type == kSdiTypeTable) return std::move(record.json);
  }
  return missing(path + ": the tablespace holds no table's definition");
}

}  // namespace

Result<SdiTable> readTablespaceDefinition(const std::string& path, const CollationCatalogue& catalogue) {
  auto json = tableRecord(path);
  if (!json) return json.failure();
  auto table = definitionFromSdi(*json, catalogue);
  if (!table) return table.failure().prefixed(path + ": ");
  return table;
}

Result<SdiTable> readTablespaceIdentity(const std::string& path) {
  auto json = tableRecord(path);
  if (!json) return json.failure();
  auto table = sdiTableIdentity(*json);
  if (!table) return table.failure().prefixed(path + ": ");
  return table;
}

}  // namespace tavrin
