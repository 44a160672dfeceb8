#include "innodb/innodb_table.h"

#include <algorithm>
#include <unordered_set>

#include "innodb/records.h"

namespace tavrin {

namespace {

constexpr size_t kExternalReferenceSize = 20;
constexpr uint32_t kBlobPartHeader = 8;  // part length and next page
// The record status of an ordinary leaf record, in the low bits of the byte 3 below its origin.
constexpr uint8_t kOrdinaryRecord = 0;

}  // namespace

std::string InnodbTable::pageAt(uint64_t page) const { return source_->path() + " page " + std::to_string(page); }

std::string InnodbTable::pageNote(uint64_t page, const std::string& what) const { return pageAt(page) + ": " + what; }

Result<std::unique_ptr<InnodbTable>> InnodbTable::open(const TableDefinition& table, const std::string& name,
                                                       const std::optional<std::string>& ibdPath,
                                                       InnodbSystem system, const CollationCatalogue& catalogue) {
  std::unique_ptr<InnodbTable> t(new InnodbTable(table));
  if (ibdPath) {
    auto own = Tablespace::open(*ibdPath);
    if (!own) return own.failure();
    if (own->isCompressed()) return unsupported("the table uses the COMPRESSED row format, which is not supported");
    t->own_.emplace(std::move(*own));
  }
  const SysTablesRecord* known = system.dictionary ? system.dictionary->findTable(name) : nullptr;
  uint32_t root = 0;
  if (known) {
    if (!known->compact) return unsupported("the table uses the REDUNDANT row format, which is not supported");
    if ((known->tableType >> 1) & 0xF) return unsupported("the table uses the COMPRESSED row format, which is not supported");
    auto layout = layoutFromDictionary(table, *system.dictionary, known->tableId);
    if (!layout) return layout.failure();
    t->layout_ = std::move(*layout);
    t->fromDictionary_ = true;
    root = system.dictionary->clusteredRoot(known->tableId);
    if (root == 0) return damaged("the InnoDB dictionary names no clustered index for " + name);
    if (known->spaceId == 0) {
      t->source_ = system.space;
    } else if (t->own_) {
      t->source_ = &*t->own_;
    } else {
      return missing("the tablespace file of " + name + " (.ibd) is missing");
    }
  } else if (t->own_) {
    // Without the dictionary, the definition gives the layout, and the
    // clustered index of a table's own tablespace has its root on page 3.
    t->layout_ = layoutFromDefinition(table, catalogue);
    t->source_ = &*t->own_;
    root = 3;
  } else if (system.dictionary) {
    return missing("the table " + name + " is not in the InnoDB dictionary and has no .ibd file");
  } else {
    return missing("neither the tablespace file of " + name + " (.ibd) nor the system tablespace (ibdata1) was found");
  }
  if (Status counter = t->readAutoIncrement(root); !counter) return counter.failure();
  auto leaf = t->leftmostLeaf(root);
  if (!leaf) return leaf.failure();
  t->firstLeaf_ = *leaf;
  t->values_.resize(table.columns.size());
  t->integers_.resize(table.columns.size() * 8);
  t->externals_.resize(table.columns.size());
  return t;
}

Status InnodbTable::readAutoIncrement(uint32_t root) {
  if (Status read = source_->readPage(root, page_); !read) return read;
  rootAutoIncrement_ = decodeIndexPageHeader(ByteView(page_)).maxTransactionId;
  return Ok{};
}

std::optional<uint64_t> InnodbTable::nextAutoIncrement() const {
  const bool counted = std::any_of(table_.columns.begin(), table_.columns.end(),
                                   [](const ColumnDefinition& c) { return c.isAutoIncrement(); });
  if (!counted || rootAutoIncrement_ == 0) return std::nullopt;
  return rootAutoIncrement_ + 1;
}

Result<uint32_t> InnodbTable::leftmostLeaf(uint32_t root) {
  uint64_t page = root;
  for (int depth = 0; depth <= kMaxIndexTreeDepth; ++depth) {
    if (Status read = source_->readPage(page, page_); !read) return read.failure();
    const ByteView p(page_);
    const uint16_t type = decodeFilHeader(p).pageType;
    if (type == kInstantRootPageType) {
      return unsupported("the table had columns added or dropped in place (instantly), which is not supported");
    }
    if (type != kIndexPageType) return damaged(pageNote(page, "not an index page"));
    if (!hasCompactInfimum(p)) {
      if (hasRedundantInfimum(p)) return unsupported("the table uses the REDUNDANT row format, which is not supported");
      return damaged(pageNote(page, "no records of the compact format"));
    }
    if (decodeIndexPageHeader(p).level == 0) return uint32_t(page);
    RecordChain chain = compactRecords(p);
    if (chain.origins.empty()) return damaged(pageNote(page, "a node page without node pointers"));
    const uint32_t origin = chain.origins.front();
    if (Status f = compactFields(p, origin, layout_.shapes, layout_.keyFields, fields_); !f) {
      return damaged(pageNote(page, f.reason()));
    }
    const uint32_t childAt = fields_.empty() ? origin : fields_.back().start + fields_.back().length;
    const uint32_t child = be32(p, childAt);
    if (!p.has(childAt, 4) || child >= source_->pageCount()) return damaged(pageNote(page, "a node pointer leads outside the file"));
    page = child;
  }
  return damaged("the index tree is deeper than any tree can be");
}

Status InnodbTable::readExternal(ByteView local, std::vector<uint8_t>& value) {
  const ByteView prefix = local.sub(0, local.size() - kExternalReferenceSize);
  const ByteView reference = local.sub(local.size() - kExternalReferenceSize);
  value.assign(prefix.data(), prefix.data() + prefix.size());
  uint64_t page = be32(reference, 4);
  uint32_t offset = be32(reference, 8);
  const uint64_t length = uint64_t(be32(reference, 12)) << 32 | be32(reference, 16);
  std::unordered_set<uint64_t> visited;
  uint64_t copied = 0;
  while (copied < length) {
    if (page == kNoPage) return damaged("a value kept apart ends before its length");
    if (!visited.insert(page).second) return damaged("the pages of a value kept apart loop");
    if (Status read = source_->readPage(page, blobPage_); !read) return read;
    const ByteView p(blobPage_);
    if (offset + kBlobPartHeader > p.size()) return damaged(pageNote(page, "a part of a value lies outside the page"));
    const uint32_t part = be32(p, offset);
    const uint64_t next = be32(p, offset + 4);
    const ByteView bytes = p.sub(offset + kBlobPartHeader, part);
    if (bytes.size() != part || part > length - copied) return damaged(pageNote(page, "a part of a value is longer than its page or value"));
    value.insert(value.end(), bytes.data(), bytes.data() + bytes.size());
    copied += part;
    page = next;
    offset = kFilHeaderSize;
  }
  return Ok{};
}

Status InnodbTable::valuesOf(uint32_t origin, const ReadOptions& options, std::string& note) {
  const ByteView p(page_);
  if (Status f = compactFields(p, origin, layout_.shapes, layout_.shapes.size(), fields_); !f) return f;
  for (FieldValue& v : values_) v = FieldValue{};
  for (size_t i = 0; i < layout_.fields.size(); ++i) {
    const InnoDbField& field = layout_.fields[i];
    if (field.column < 0 || field.keyPrefix) continue;
    const RecordField& r = fields_[i];
    FieldValue& v = values_[size_t(field.column)];
    if (r.isNull) continue;
    v.isNull = false;
    v.bytes = p.sub(r.start, r.length);
    if (field.mainType == MainType::Int) {
      // Stored big-endian with the sign bit inverted, so that bytes sort as numbers.
      uint8_t* bytes = integers_.data() + size_t(field.column) * 8;
      const size_t n = std::min<size_t>(r.length, 8);
      for (size_t k = 0; k < n; ++k) bytes[k] = v.bytes[n - 1 - k];
      if (n > 0 && !field.isUnsigned()) bytes[n - 1] ^= 0x80;
      v.bytes = ByteView(bytes, n);
    } else if (r.external) {
      if (r.length < kExternalReferenceSize) return damaged("a value kept apart has no reference");
      v.external = true;
      if (options.fullValues) {
        std::vector<uint8_t>& whole = externals_[size_t(field.column)];
        if (Status read = readExternal(v.bytes, whole); !read && note.empty()) note = read.reason();
        v.bytes = ByteView(whole);
        v.external = false;
        v.keptApart = true;
      }
    }
  }
  return Ok{};
}

WalkEnd InnodbTable::read(PageStart start, size_t maxRows, const RowSink& sink, const ReadOptions& options) {
  WalkEnd end;
  auto stop = [&](const std::string& why) {
    end.stopReason = why;
    end.atEnd = true;
    end.next = kEndOfPages;
    return end;
  };
  uint64_t page = uint64_t(start.page);
  uint32_t position = uint32_t(start.position);
  std::unordered_set<uint64_t> visited;
  uint64_t previous = kNoPage;
  while (end.rows < maxRows) {
    if (page == kNoPage) {
      end.atEnd = true;
      end.next = kEndOfPages;
      return end;
    }
    if (page >= source_->pageCount()) return stop(pageNote(page, "the leaf pages lead outside the file"));
    if (!visited.insert(page).second) return stop(pageNote(page, "the leaf pages loop"));
    if (Status read = source_->readPage(page, page_); !read) return stop(read.reason());
    const ByteView p(page_);
    const FilHeader header = decodeFilHeader(p);
    if (previous != kNoPage && header.previousPage != previous) {
      return stop(pageNote(page, "the leaf pages are not linked both ways"));
    }
    if (header.pageType == kIndexPageType && hasRedundantInfimum(p) && !hasCompactInfimum(p)) {
      return stop("the table uses the REDUNDANT row format, which is not supported");
    }
    if (header.pageType == kIndexPageType && hasCompactInfimum(p)) {
      if (const std::optional<PageStart> next = readLeaf(page, position, maxRows, sink, options, end)) {
        end.next = *next;
        return end;
      }
    }
    previous = page;
    page = header.nextPage;
    position = 0;
  }
  end.next = {int64_t(page), 0};
  return end;
}

std::optional<PageStart> InnodbTable::readLeaf(uint64_t page, uint32_t position, size_t maxRows, const RowSink& sink,
                                               const ReadOptions& options, WalkEnd& end) {
  const ByteView p(page_);
  RecordChain chain = compactRecords(p, position);
  if (!chain.damage.empty()) end.passedOver.passOver("the rest of a damaged record chain (" + chain.damage + ")", pageAt(page), "page");
  for (size_t i = 0; i < chain.origins.size(); ++i) {
    const uint32_t origin = chain.origins[i];
    const uint8_t info = compactInfoBits(p, origin);
    const bool deleted = info & kDeletedFlag;
    // The first record of a table altered in place holds its metadata.
    if ((info & kMinRecordFlag) || deleted != options.deletedOnly) continue;
    if ((p[origin - 3] & 7) != kOrdinaryRecord) {
      end.passedOver.passOver("a record of a kind that is not supported (columns added in place)", pageAt(page));
      continue;
    }
    std::string valueNote;
    if (Status values = valuesOf(origin, options, valueNote); !values) {
      end.passedOver.passOver("a damaged record (" + values.reason() + ")", pageAt(page));
      continue;
    }
    if (!valueNote.empty()) end.passedOver.passOver("a value kept apart cut short (" + valueNote + ")", pageAt(page), "value");
    sink(values_);
    if (++end.rows == maxRows) {
      return PageStart{int64_t(page), i + 1 < chain.origins.size() ? int64_t(chain.origins[i + 1]) : int64_t(kCompactSupremum)};
    }
  }
  return std::nullopt;
}

}  // namespace tavrin
