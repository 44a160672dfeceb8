#include "innodb/layout_fit.h"

#include <algorithm>
#include <vector>

#include "innodb/page.h"

namespace tavrin {

namespace {

// Bytes of a compact record's header below its origin: the fixed bytes,
// the null bitmap and a length for each variable field that is not NULL
// (two where the value is longer than 127 bytes or kept apart).
uint32_t compactHeaderBytes(const std::vector<CompactFieldShape>& shapes, const std::vector<RecordField>& fields) {
  uint32_t bytes = REC_N_NEW_EXTRA_BYTES + nullBytesOf(shapes, shapes.size());
  for (size_t i = 0; i < fields.size() && i < shapes.size(); ++i) {
    if (shapes[i].fixedLength != 0 || fields[i].isNull) continue;
    bytes += shapes[i].big && (fields[i].length > 127 || fields[i].external) ? 2 : 1;
  }
  return bytes;
}

// A redundant record keeps an end offset per field, of one or two bytes.
uint32_t redundantHeaderBytes(ByteView page, uint32_t origin, size_t fields) {
  const bool oneByte = page[origin - 3] & 1;
  return REC_N_OLD_EXTRA_BYTES + uint32_t(fields) * (oneByte ? 1 : 2);
}

Failure mismatch(const std::string& file, uint64_t number, const std::string& what) {
  return damagedAt(atPage(file, number), "the definition does not fit the table's records: " + what);
}

// A value's bytes within what its type holds: all of a fixed width, no
// more than a VARCHAR's longest, and a CHAR of a character set of several
// widths at least a byte per character.
Status checkFieldLength(const InnoDbField& f, const RecordField& value) {
  if (value.isNull || value.external) return Ok{};
  const std::string holds = "holds " + std::to_string(value.length) + " bytes";
  if (f.fixedLength != 0 && value.length != f.fixedLength) {
    return damaged(holds + " where the definition's type takes " + std::to_string(f.fixedLength));
  }
  const bool variable = f.mainType == MainType::Varchar || f.mainType == MainType::VarMysql ||
                        f.mainType == MainType::Binary || f.mainType == MainType::Mysql;
  if (variable && f.length <= kMaxFixedLength && value.length > f.length) {
    return damaged(holds + ", more than the definition's type holds (" + std::to_string(f.length) + ")");
  }
  if (f.mainType == MainType::Mysql && f.fixedLength == 0 && f.mbMaxLength > 0) {
    const uint32_t least = f.length / uint32_t(f.mbMaxLength) * uint32_t(std::max(1, f.mbMinLength));
    if (value.length < least) {
      return damaged(holds + ", fewer than the definition's CHAR keeps (" + std::to_string(least) + ")");
    }
  }
  return Ok{};
}

struct Extent {
  uint32_t headerStart = 0;  // where the record's header begins
  uint32_t end = 0;          // where its last field ends
  uint32_t origin = 0;
};

}  // namespace

Status addPageFit(ByteView page, RecordFormat format, const ClusteredLayout& layout, const std::string& file,
                  uint64_t number, LayoutFit& fit) {
  RecordChain chain = recordChain(format, page);
  if (chain.damage) return Ok{};  // damage, not a misfit: the walk says it
  // A node pointer holds the key fields and the child's page number.
  const bool node = decodeIndexPageHeader(page).level != 0;
  if (node && format == RecordFormat::Redundant) return Ok{};
  const size_t count = node ? layout.keyFields : layout.fields.size();
  const uint32_t childBytes = node ? 4 : 0;
  std::sort(chain.origins.begin(), chain.origins.end());
  std::vector<Extent> extents;
  std::vector<RecordField> fields;
  for (const uint32_t origin : chain.origins) {
    if (Status read = recordFields(format, page, origin, layout.shapes, count, fields); !read) {
      return mismatch(file, number, "the record at byte " + std::to_string(origin) + ": " + read.reason());
    }
    for (size_t i = 0; i < fields.size(); ++i) {
      if (Status sized = checkFieldLength(layout.fields[i], fields[i]); !sized) {
        return mismatch(file, number, "field " + std::to_string(i + 1) + " of the record at byte " +
                                          std::to_string(origin) + " " + sized.reason());
      }
    }
    const uint32_t header = format == RecordFormat::Compact ? compactHeaderBytes(layout.shapes, fields)
                                                            : redundantHeaderBytes(page, origin, fields.size());
    const uint32_t end = (fields.empty() ? origin : fields.back().start + fields.back().length) + childBytes;
    extents.push_back({origin - std::min(origin, header), end, origin});
  }
  const uint32_t heapTop = decodeIndexPageHeader(page).heapTop;
  for (size_t i = 0; i < extents.size(); ++i) {
    const uint32_t next = i + 1 < extents.size() ? extents[i + 1].headerStart : heapTop;
    if (extents[i].end > next) {
      return mismatch(file, number, "the record at byte " + std::to_string(extents[i].origin) + " would end at byte " +
                                        std::to_string(extents[i].end) + ", inside what follows it at byte " +
                                        std::to_string(next) + " (a column too many, or one wider than stored?)");
    }
    ++fit.joins;
    if (extents[i].end == next) {
      ++fit.exact;
    } else if (!fit.firstMismatch) {
      fit.firstMismatch = mismatch(file, number, "the record at byte " + std::to_string(extents[i].origin) +
                                                     " ends at byte " + std::to_string(extents[i].end) +
                                                     " by the definition, short of what follows it at byte " +
                                                     std::to_string(next) + " (a column missing, or one narrower "
                                                     "than stored?)");
    }
  }
  return Ok{};
}

Status judgeFit(const LayoutFit& fit) {
  // Updates and deletes leave gaps; a definition of other widths meets few
  // neighbours, and of a few records a NULL row may meet one by chance.
  constexpr size_t kFewJoins = 16;
  const size_t share = fit.joins < kFewJoins ? 2 : 4;
  if (fit.joins == 0 || fit.exact * share >= fit.joins) return Ok{};
  return *fit.firstMismatch;
}

}  // namespace tavrin
