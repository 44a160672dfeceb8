#include "innodb/innodb_table.h"

#include <algorithm>
#include <unordered_set>

#include "innodb/external.h"
#include "innodb/layout_fit.h"
#include "innodb/page_zip.h"
#include "innodb/records.h"

namespace tavrin {

namespace {

// The record status of an ordinary leaf record, in the low bits of the byte 3 below its origin.
constexpr uint8_t kOrdinaryRecord = 0;
// ... and of a record that counts its fields, in a table altered in place.
constexpr uint8_t kInstantRecord = 4;

// The pages of a compressed value kept apart, each checked as it is read.
class ZblobPages : public ZblobReader {
 public:
  ZblobPages(const Tablespace& space, std::vector<uint8_t>& buffer, DamageReport& report)
      : space_(space), buffer_(buffer), report_(report) {}
  Result<ByteView> page(uint64_t number) override {
    if (Status read = space_.readPage(number, buffer_); !read) return read.failure();
    const ByteView p(buffer_);
    if (space_.checksum(number, p) != PageChecksum::Sound) {
      report_.note("of values kept apart whose checksum fails, read all the same",
                   atPage(space_.path(), number), "page");
    }
    return p;
  }

 private:
  const Tablespace& space_;
  std::vector<uint8_t>& buffer_;
  DamageReport& report_;
};

}  // namespace

Place InnodbTable::pageAt(uint64_t page) const { return atPage(source_->path(), page); }

Status InnodbTable::ownerOf(uint64_t page) const {
  if (Status owner = checkPageOwner(ByteView(page_), {source_->spaceId(), page, indexId_}); !owner) {
    return owner.failure().prefixed(source_->path() + " ");
  }
  return Ok{};
}

Result<std::unique_ptr<InnodbTable>> InnodbTable::open(const TableDefinition& table, const std::string& name,
                                                       const std::optional<std::string>& ibdPath,
                                                       InnodbSystem system, const CollationCatalogue& catalogue) {
  std::unique_ptr<InnodbTable> t(new InnodbTable(table));
  if (ibdPath) {
    auto own = Tablespace::open(*ibdPath);
    if (!own) return own.failure();
    t->own_.emplace(std::move(*own));
  }
  const SysTablesRecord* known = system.dictionary ? system.dictionary->findTable(name) : nullptr;
  uint32_t root = 3;  // of the clustered index of a table's own tablespace
  if (table.clusteredIndex) {
    // MySQL 8 describes the index beside the table, in the same tablespace.
    if (!t->own_) return missing("the tablespace file of " + name + " (.ibd) is missing");
    root = table.clusteredIndex->rootPage;
    t->indexId_ = table.clusteredIndex->indexId;
    t->layout_ = layoutFromStoredIndex(table, *table.clusteredIndex, catalogue);
    t->source_ = &*t->own_;
  } else if (known) {
    t->format_ = known->compact ? RecordFormat::Compact : RecordFormat::Redundant;
    t->formatKnown_ = true;
    // Only a tablespace of its own holds a compressed table.
    if (((known->tableType >> 1) & 0xF) && known->spaceId == 0) {
      return damaged("the InnoDB dictionary puts a COMPRESSED table in the system tablespace");
    }
    const SysIndexesRecord* clustered = system.dictionary->clusteredIndex(known->tableId);
    if (clustered) {
      root = clustered->rootPage;
      t->indexId_ = clustered->indexId;
    } else if (known->spaceId == 0) {
      return damaged("the InnoDB dictionary names no clustered index for " + name);
    }
    if (known->spaceId == 0) {
      t->source_ = system.space;
    } else if (t->own_) {
      t->source_ = &*t->own_;
    } else {
      return missing("the InnoDB dictionary has the table (" + known->name + ", in tablespace " +
                     std::to_string(known->spaceId) + "), but its tablespace file (.ibd) is missing");
    }
    auto layout = layoutFromDictionary(table, *system.dictionary, known->tableId);
    if (layout) {
      t->layout_ = std::move(*layout);
      t->fromDictionary_ = true;
    } else {
      // The definition gives the same layout as long as the table was not altered in place.
      t->layout_ = layoutFromDefinition(table, catalogue);
      t->openNote_ = layout.reason() + "; the table is read by its definition (.frm) alone";
    }
  } else if (t->own_) {
    // Without the dictionary, the definition gives the layout.
    t->layout_ = layoutFromDefinition(table, catalogue);
    t->source_ = &*t->own_;
    if (system.dictionary && system.dictionary->damage) {
      t->openNote_ = "the InnoDB dictionary is damaged (" + system.dictionary->damage->reason +
                     ") and has no record of the table; it is read by its definition (.frm) alone";
    }
  } else if (system.dictionary) {
    return missing(system.dictionary->whyNotFound(name) + ", and there is no tablespace file (.ibd) of it");
  } else {
    return missing("neither the tablespace file of " + name + " (.ibd) nor the system tablespace (ibdata1) was found");
  }
  if (Status opened = t->openAt(root); !opened) return opened.failure();
  return t;
}

Result<std::unique_ptr<InnodbTable>> InnodbTable::openFound(const TableDefinition& table, Tablespace space,
                                                            uint32_t root, uint64_t indexId,
                                                            const CollationCatalogue& catalogue) {
  std::unique_ptr<InnodbTable> t(new InnodbTable(table));
  t->own_.emplace(std::move(space));
  t->source_ = &*t->own_;
  t->indexId_ = indexId;
  t->layout_ = layoutFromDefinition(table, catalogue);
  if (Status opened = t->openAt(root); !opened) return opened.failure();
  return t;
}

// From the clustered index's root: its first leaf, and what the root keeps.
Status InnodbTable::openAt(uint32_t root) {
  // A page that will not be read whatever the salvage, such as an encrypted one, refuses the table.
  if (Status first = source_->readPage(root, page_); !first && first.kind() == ErrorKind::Unsupported) return first;
  values_.resize(table_.columns.size());
  integers_.resize(table_.columns.size() * 8);
  externals_.resize(table_.columns.size());
  readAutoIncrement(root);
  if (Status instant = readInstantMetadata(root); !instant) return afterFirstPage(instant.failure());
  if (Status found = findFirstLeaf(root); !found) return afterFirstPage(found.failure());
  if (table_.fromStatement && !instant_) return checkLayoutFits();
  return Ok{};
}

// The first leaves, in the order they are read, against the layout.
Status InnodbTable::checkLayoutFits() {
  constexpr size_t kLeavesChecked = 8;
  LayoutFit fit;
  uint64_t page = firstLeaf_;
  std::unordered_set<uint64_t> seen;
  for (size_t i = 0; i < kLeavesChecked && page != kNoPage && seen.insert(page).second; ++i) {
    if (!source_->readPage(page, page_) || !ownerOf(page)) break;
    if (Status fits = addPageFit(ByteView(page_), format_, layout_, source_->path(), page, fit); !fits) return fits;
    page = order_ ? order_->after(page) : decodeFilHeader(ByteView(page_)).nextPage;
  }
  return judgeFit(fit);
}

Failure InnodbTable::afterFirstPage(const Failure& failure) const {
  const std::optional<Failure>& first = source_->firstPageDamage();
  return first ? failure.prefixed(first->reason + "; ") : failure;
}

void InnodbTable::readAutoIncrement(uint32_t root) {
  if (!source_->readPage(root, page_) || !ownerOf(root)) return;
  const uint16_t type = decodeFilHeader(ByteView(page_)).pageType;
  if (type != kIndexPageType && type != kInstantRootPageType) return;
  const IndexPageHeader header = decodeIndexPageHeader(ByteView(page_));
  if (indexId_ == 0) indexId_ = header.indexId;
  if (!formatKnown_) format_ = formatOf(ByteView(page_));
  rootAutoIncrement_ = header.maxTransactionId;
}

// Down the tree from its root; where the tree is damaged, the leaves are
// found by scanning the tablespace instead.
Status InnodbTable::findFirstLeaf(uint32_t root) {
  auto leaf = leftmostLeaf(root);
  if (leaf) {
    firstLeaf_ = *leaf;
    return Ok{};
  }
  if (leaf.kind() == ErrorKind::Unsupported) return leaf.failure();
  const LeafScan& scan = leafScan();
  if (!scan.leaves.count(indexId_)) indexId_ = guessClusteredIndex(scan);
  const auto found = scan.leaves.find(indexId_);
  if (found == scan.leaves.end()) {
    return damaged(leaf.reason() + "; no leaf page of the table was found in " + source_->path());
  }
  if (!formatKnown_) format_ = found->second.front().format;
  order_ = makeLeafOrder(found->second);
  if (order_->pages.empty()) return damaged(leaf.reason() + "; every leaf page of the table is free");
  firstLeaf_ = uint32_t(order_->pages.front());
  if (!openNote_.empty()) openNote_ += "; ";
  openNote_ += "the index tree is damaged (" + leaf.reason() + "); its leaf pages were found by scanning the tablespace";
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
    if (Status owner = ownerOf(page); !owner) return owner.failure();
    const uint16_t type = decodeFilHeader(p).pageType;
    if (type != kIndexPageType && !(depth == 0 && type == kInstantRootPageType)) {
      return damagedAt(pageAt(page), "not an index page");
    }
    if (!hasInfimum(format_, p) || formatOf(p) != format_) {
      return damagedAt(pageAt(page), "no records of the table's record format");
    }
    const IndexPageHeader header = decodeIndexPageHeader(p);
    if (header.level == 0) return uint32_t(page);
    RecordChain chain = recordChain(format_, p);
    if (chain.origins.empty()) return damagedAt(pageAt(page), "a node page without node pointers");
    const uint32_t origin = chain.origins.front();
    if (Status f = fieldsOf(p, origin, layout_.keyFields); !f) return damagedAt(pageAt(page), f.reason());
    const uint32_t childAt = fields_.empty() ? origin : fields_.back().start + fields_.back().length;
    const uint32_t child = be32(p, childAt);
    if (!p.has(childAt, 4) || child >= source_->pageCount()) return damagedAt(pageAt(page), "a node pointer leads outside the file");
    page = child;
  }
  return damaged("the index tree is deeper than any tree can be");
}

Status InnodbTable::fieldsOf(ByteView p, uint32_t origin, size_t count) {
  if (!instant_) return recordFields(format_, p, origin, layout_.shapes, count, fields_);
  if (format_ == RecordFormat::Compact) return instantCompactFields(p, origin, layout_.shapes, *instant_, count, fields_);
  auto all = redundantFields(p, origin);
  if (!all) return all.failure();
  if (all->size() < std::min(count, instant_->coreFields) || all->size() > layout_.fields.size() + 1) {
    return damaged("a record of " + std::to_string(all->size()) + " fields where the table has " +
                   std::to_string(layout_.fields.size()));
  }
  if (all->size() > count) all->resize(count);
  fields_ = std::move(*all);
  return Ok{};
}

Status InnodbTable::readInstantMetadata(uint32_t root) {
  if (!source_->readPage(root, page_)) return Ok{};  // the damage is found, and said, on the way down
  const ByteView r(page_);
  if (decodeFilHeader(r).pageType != kInstantRootPageType) return Ok{};
  InstantRecords instant;
  instant.coreFields = decodeIndexPageHeader(r).instantCoreFields;
  constexpr size_t kMostFields = 1023;
  if (instant.coreFields < layout_.keyFields + 2 || instant.coreFields > kMostFields) {
    return damagedAt(pageAt(root), "a table altered in place whose root counts " + std::to_string(instant.coreFields) + " core fields");
  }
  const bool altered = hasZeroedInfimum(r);
  // After a drop or a reorder the root keeps the core records' null bitmap
  // in the last byte of its supremum; it cannot be counted from the layout.
  instant.coreNullBytes = altered ? r[(format_ == RecordFormat::Compact ? kCompactSupremum : kRedundantSupremum) + 7]
                                  : nullBytesOf(layout_.shapes, instant.coreFields);
  instant_ = std::move(instant);
  auto leaf = leftmostLeaf(root);
  if (!leaf && leaf.kind() != ErrorKind::Unsupported) {
    if (auto found = scannedMetadataLeaf()) leaf = *found;
  }
  if (!leaf) return damaged("the table was altered in place and its first leaf, which says how, cannot be read (" + leaf.reason() + ")");
  return readMetadataRecord(*leaf, altered);
}

// Where the tree above it is damaged, the first leaf is the leaf of the
// index that starts the chain and whose first record says how the table was altered.
std::optional<uint32_t> InnodbTable::scannedMetadataLeaf() {
  const auto found = leafScan().leaves.find(indexId_);
  if (found == leafScan().leaves.end()) return std::nullopt;
  for (const LeafPage& leaf : found->second) {
    if (leaf.previous != kNoPage || !leaf.inUse || !source_->readPage(leaf.number, page_)) continue;
    const ByteView p(page_);
    const RecordChain chain = recordChain(format_, p);
    if (!chain.origins.empty() && (infoBits(format_, p, chain.origins.front()) & kMinRecordFlag)) {
      return uint32_t(leaf.number);
    }
  }
  return std::nullopt;
}

Status InnodbTable::readMetadataRecord(uint32_t leaf, bool altered) {
  if (Status read = source_->readPage(leaf, page_); !read) return read;
  const ByteView p(page_);
  const RecordChain chain = recordChain(format_, p);
  const uint32_t origin = chain.origins.empty() ? 0 : chain.origins.front();
  if (origin == 0 || !(infoBits(format_, p, origin) & kMinRecordFlag)) {
    // The root may say so while the change was never committed: no record tells it.
    instant_.reset();
    return Ok{};
  }
  std::vector<CompactFieldShape> shapes = layout_.shapes;
  const size_t firstUser = layout_.keyFields + 2;
  DamageReport ignored;  // checksum notes on the metadata's pages: the rows' own pages say more
  if (altered) {
    uint32_t blobAt = origin + metadataBlobOffset(layout_);
    if (format_ == RecordFormat::Redundant) {
      auto all = redundantFields(p, origin);
      if (!all || all->size() <= firstUser) return damagedAt(pageAt(leaf), "the record of the table's change in place is damaged");
      blobAt = (*all)[firstUser].start;
    }
    std::vector<uint8_t> blob;
    if (!p.has(blobAt, kExternalReferenceSize)) return damagedAt(pageAt(leaf), "the record of the table's change in place is cut short");
    if (Status read = readExternal(p.sub(blobAt, kExternalReferenceSize), blob, ignored); !read) {
      return damaged("the map of the table's fields cannot be read: " + read.reason());
    }
    auto map = decodeFieldMap(ByteView(blob));
    if (!map) return map.failure();
    auto mapped = mappedLayout(layout_, *map);
    if (!mapped) return mapped.failure();
    layout_ = std::move(*mapped);
    shapes = layout_.shapes;
    shapes.insert(shapes.begin() + ptrdiff_t(firstUser), CompactFieldShape{uint32_t(kExternalReferenceSize), false, false});
  }
  if (format_ == RecordFormat::Compact) {
    if (Status f = instantCompactFields(p, origin, shapes, *instant_, shapes.size(), fields_); !f) {
      return damagedAt(pageAt(leaf), "the record of the table's change in place: " + f.reason());
    }
  } else if (auto all = redundantFields(p, origin)) {
    fields_ = std::move(*all);
  } else {
    return damagedAt(pageAt(leaf), "the record of the table's change in place: " + all.reason());
  }
  // The metadata record holds every field; those past the core give the values of older records.
  const size_t skip = altered ? 1 : 0;
  for (size_t i = instant_->coreFields; i < layout_.fields.size(); ++i) {
    const size_t at = i + skip;
    if (at >= fields_.size() || fields_[at].isNull) {
      instant_->defaults.emplace_back();
      continue;
    }
    std::vector<uint8_t> value = p.sub(fields_[at].start, fields_[at].length).copy();
    if (fields_[at].external) {
      std::vector<uint8_t> whole;
      if (Status read = readExternal(ByteView(value), whole, ignored); !read) return read;
      value = std::move(whole);
    }
    instant_->defaults.emplace_back(std::move(value));
  }
  return Ok{};
}

Status InnodbTable::readExternal(ByteView local, std::vector<uint8_t>& value, DamageReport& report) {
  const ByteView prefix = local.sub(0, local.size() - kExternalReferenceSize);
  value.assign(prefix.data(), prefix.data() + prefix.size());
  if (source_->isCompressed()) {
    // The value is one zlib stream over its pages.
    const ExternalReference ref = decodeExternalReference(local);
    ZblobPages pages(*source_, blobPage_, report);
    return inflateZblob(pages, ref.page, ref.offset, ref.length, value);
  }
  return readExternalValue(*source_, decodeExternalReference(local), value, blobPage_, [&](uint64_t page) {
    report.note("of values kept apart whose checksum fails, read all the same", pageAt(page), "page");
  });
}

Status InnodbTable::valuesOf(uint32_t origin, const ReadOptions& options, std::string& note, DamageReport& report) {
  const ByteView p(page_);
  if (Status f = fieldsOf(p, origin, layout_.fields.size()); !f) return f;
  for (FieldValue& v : values_) v = FieldValue{};
  for (size_t i = 0; i < layout_.fields.size(); ++i) {
    const InnoDbField& field = layout_.fields[i];
    if (field.column < 0 || field.keyPrefix) continue;
    FieldValue& v = values_[size_t(field.column)];
    if (i >= fields_.size()) {
      // A field added after the record was written: the value it was added with.
      if (!instant_ || i < instant_->coreFields || i - instant_->coreFields >= instant_->defaults.size()) {
        return damaged("a record lacks fields it must hold");
      }
      const auto& added = instant_->defaults[i - instant_->coreFields];
      v.isNull = !added;
      if (added) v.bytes = ByteView(*added);
    } else if (fields_[i].isNull) {
      continue;
    } else {
      v.isNull = false;
      v.bytes = p.sub(fields_[i].start, fields_[i].length);
    }
    if (v.isNull) continue;
    const RecordField r = i < fields_.size() ? fields_[i] : RecordField{0, uint32_t(v.bytes.size()), false, false};
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
        if (Status read = readExternal(v.bytes, whole, report); !read && note.empty()) note = read.reason();
        v.bytes = ByteView(whole);
        v.external = false;
        v.keptApart = true;
      }
    }
  }
  return Ok{};
}

uint64_t InnodbTable::LeafOrder::after(uint64_t page) const {
  const auto found = at.find(page);
  if (found == at.end() || found->second + 1 >= pages.size()) return kNoPage;
  return pages[found->second + 1];
}

const LeafScan& InnodbTable::leafScan() {
  if (!scan_) scan_ = scanLeaves(*source_);
  return *scan_;
}

const InnodbTable::LeafOrder& InnodbTable::leafOrder() {
  if (!order_) {
    const LeafScan& scan = leafScan();
    const auto found = scan.leaves.find(indexId_);
    order_ = makeLeafOrder(found == scan.leaves.end() ? std::vector<LeafPage>{} : found->second);
  }
  return *order_;
}

InnodbTable::LeafOrder InnodbTable::makeLeafOrder(const std::vector<LeafPage>& leaves) {
  std::unordered_map<uint64_t, const LeafPage*> byNumber;
  for (const LeafPage& leaf : leaves) byNumber[leaf.number] = &leaf;
  LeafOrder order;
  std::unordered_set<uint64_t> taken;
  // A run of leaves linked both ways, from `first`; `freeToo` lets the chain
  // from the first leaf keep pages the tablespace counts free, as the tree does.
  auto run = [&](uint64_t first, bool freeToo) {
    std::vector<uint64_t> pages;
    for (uint64_t page = first; byNumber.count(page) && !taken.count(page);) {
      const LeafPage& leaf = *byNumber[page];
      if (!leaf.inUse && !freeToo) break;
      taken.insert(page);
      pages.push_back(page);
      const auto next = byNumber.find(leaf.next);
      if (next == byNumber.end() || next->second->previous != page) break;
      page = leaf.next;
    }
    return pages;
  };
  std::vector<uint64_t> chain = run(firstLeaf_, true);
  std::vector<std::vector<uint64_t>> pieces;
  for (const LeafPage& leaf : leaves) {
    const auto previous = byNumber.find(leaf.previous);
    const bool linkedFrom = previous != byNumber.end() && previous->second->next == leaf.number &&
                            previous->second->inUse && !taken.count(leaf.previous);
    if (!linkedFrom && leaf.inUse && !taken.count(leaf.number)) pieces.push_back(run(leaf.number, false));
  }
  // What is left are runs that loop back on themselves.
  for (const LeafPage& leaf : leaves) {
    if (leaf.inUse && !taken.count(leaf.number)) pieces.push_back(run(leaf.number, false));
  }
  if (keySortsAsBytes()) {
    std::vector<std::pair<std::vector<uint8_t>, size_t>> keys;
    for (size_t i = 0; i < pieces.size(); ++i) keys.push_back({firstKeyOf(pieces[i].front()), i});
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return bytesBefore(ByteView(a.first), ByteView(b.first)); });
    std::vector<std::vector<uint64_t>> sorted;
    for (const auto& key : keys) sorted.push_back(std::move(pieces[key.second]));
    pieces = std::move(sorted);
  }
  for (const auto& piece : pieces) chain.insert(chain.end(), piece.begin(), piece.end());
  order.pages = std::move(chain);
  for (size_t i = 0; i < order.pages.size(); ++i) order.at[order.pages[i]] = i;
  return order;
}

bool InnodbTable::keySortsAsBytes() const {
  // Integers are kept big-endian with the sign bit inverted, and so is the row id.
  if (layout_.fields.empty()) return false;
  const InnoDbField& first = layout_.fields.front();
  return first.mainType == MainType::Int || (first.column < 0 && first.systemName == "DB_ROW_ID");
}

std::vector<uint8_t> InnodbTable::firstKeyOf(uint64_t page) {
  if (!source_->readPage(page, page_)) return {};
  const ByteView p(page_);
  const RecordChain chain = recordChain(format_, p);
  for (const uint32_t origin : chain.origins) {
    if (infoBits(format_, p, origin) & kMinRecordFlag) continue;
    if (!fieldsOf(p, origin, layout_.keyFields) || fields_.empty()) return {};
    return p.sub(fields_.front().start, fields_.front().length).copy();
  }
  return {};
}

uint64_t InnodbTable::guessClusteredIndex(const LeafScan& scan) {
  constexpr size_t kPagesTried = 4;
  uint64_t best = 0;
  size_t bestRecords = 0;
  for (const auto& [id, leaves] : scan.leaves) {
    size_t records = 0;
    bool parses = true;
    if (!formatKnown_) format_ = leaves.front().format;
    for (size_t i = 0; i < leaves.size() && i < kPagesTried && parses; ++i) {
      parses = source_->readPage(leaves[i].number, page_) && holdsClusteredRecords();
      records += recordChain(format_, ByteView(page_)).origins.size();
    }
    if (parses && records > bestRecords) {
      best = id;
      bestRecords = records;
    }
  }
  return best;
}

bool InnodbTable::holdsClusteredRecords() {
  const ByteView p(page_);
  RecordChain chain = recordChain(format_, p);
  if (chain.damage) return false;
  // Each record's fields must end before the next record in the heap begins
  // (its header is 5 bytes at least), and the last before the heap's top.
  std::sort(chain.origins.begin(), chain.origins.end());
  for (size_t i = 0; i < chain.origins.size(); ++i) {
    if (!fieldsOf(p, chain.origins[i], layout_.fields.size())) return false;
    const uint64_t end = fields_.empty() ? chain.origins[i] : fields_.back().start + fields_.back().length;
    const uint64_t limit = i + 1 < chain.origins.size() ? chain.origins[i + 1] - 5 : decodeIndexPageHeader(p).heapTop;
    if (end > limit) return false;
  }
  return true;
}

Status InnodbTable::readLeafPage(uint64_t page, uint64_t previous, std::unordered_set<uint64_t>& visited) {
  if (page >= source_->pageCount()) return damaged("the leaf pages lead outside the file");
  if (!visited.insert(page).second) return damaged("the leaf pages loop");
  if (Status read = source_->readPage(page, page_); !read) return read;
  if (Status owner = ownerOf(page); !owner) return owner;
  const ByteView p(page_);
  const FilHeader header = decodeFilHeader(p);
  if (!isIndexLeaf(p, page) || formatOf(p) != format_) {
    const PageChecksum check = source_->checksum(page, p);
    return damaged(check == PageChecksum::Sound ? "not a leaf page of the table" : checksumProblem(check));
  }
  if (!order_ && previous != kNoPage && header.previousPage != previous) {
    return damaged("the leaf pages are not linked both ways");
  }
  return Ok{};
}

void InnodbTable::reportForeignLeaves(WalkEnd& end) {
  if (!scan_) return;  // no scan, no leaf found off the chain: the chain was whole
  const LeafScan& scan = *scan_;
  const auto found = scan.leaves.find(indexId_);
  if (found == scan.leaves.end()) return;
  for (const LeafPage& leaf : found->second) {
    for (const uint64_t linked : {uint64_t(leaf.previous), uint64_t(leaf.next)}) {
      const auto foreign = scan.foreign.find(linked);
      if (foreign != scan.foreign.end()) end.passedOver.passOver(foreign->second, pageAt(linked), "page");
    }
  }
}

uint64_t InnodbTable::afterBreak(uint64_t page, uint64_t previous, const Failure* why, WalkEnd& end) {
  const bool following = !order_;
  const LeafOrder& order = leafOrder();
  // In the order, a page that fails is passed by; on the chain, the walk
  // goes on after the last leaf it read.
  const uint64_t next = following ? (previous == kNoPage ? kNoPage : order.after(previous)) : order.after(page);
  if (following && next != kNoPage) {
    const Place where = page == kNoPage ? pageAt(previous) : pageAt(page);
    end.passedOver.note("the chain of leaf pages " + (why ? "breaks: " + why->reason : "ends early") +
                            "; the leaf pages after it were found by scanning the tablespace",
                        where);
  } else if (why && page != kNoPage) {
    end.passedOver.passOver(why->reason, pageAt(page), "page");
  }
  return next;
}

WalkEnd InnodbTable::read(PageStart start, size_t maxRows, const RowSink& sink, const ReadOptions& options) {
  WalkEnd end;
  if (start == firstPage() && !openNote_.empty()) end.passedOver.note(openNote_);
  // The page size and format were guessed: every page of rows says so.
  if (source_->firstPageDamage()) end.passedOver.note(source_->firstPageDamage()->reason);
  uint64_t page = uint64_t(start.page);
  uint32_t position = uint32_t(start.position);
  std::unordered_set<uint64_t> visited;
  uint64_t previous = kNoPage;
  while (end.rows < maxRows) {
    // The chain's end is checked against the scan, which finds the leaves a
    // damaged link cut off.
    if (page == kNoPage && previous != kNoPage) page = afterBreak(kNoPage, previous, nullptr, end);
    if (page == kNoPage) {
      reportForeignLeaves(end);
      end.atEnd = true;
      end.next = kEndOfPages;
      return end;
    }
    const Status leaf = readLeafPage(page, previous, visited);
    const ByteView p(page_);
    if (!leaf) {
      page = afterBreak(page, previous, &leaf.failure(), end);
      position = 0;
      continue;
    }
    if (const PageChecksum check = source_->checksum(page, p); check != PageChecksum::Sound) {
      end.passedOver.note(check == PageChecksum::TornWrite ? "written only in part, read all the same"
                                                           : "whose checksum fails, read all the same",
                          pageAt(page), "page");
    }
    const uint64_t linked = decodeFilHeader(p).nextPage;
    if (const std::optional<PageStart> next = readLeaf(page, position, maxRows, sink, options, end)) {
      end.next = *next;
      return end;
    }
    previous = page;
    page = order_ ? order_->after(page) : linked;
    position = 0;
  }
  end.next = {int64_t(page), 0};
  return end;
}

std::optional<PageStart> InnodbTable::readLeaf(uint64_t page, uint32_t position, size_t maxRows, const RowSink& sink,
                                               const ReadOptions& options, WalkEnd& end) {
  const ByteView p(page_);
  RecordChain chain = recordChain(format_, p, position);
  if (chain.damage) {
    end.passedOver.passOver("the rest of a damaged record chain (" + chain.damage->reason + ")", pageAt(page), "page");
  }
  for (size_t i = 0; i < chain.origins.size(); ++i) {
    const uint32_t origin = chain.origins[i];
    const uint8_t info = infoBits(format_, p, origin);
    const bool deleted = info & kDeletedFlag;
    // The first record of a table altered in place holds its metadata.
    if ((info & kMinRecordFlag) || deleted != options.deletedOnly) continue;
    const uint8_t status = p[origin - REC_NEW_STATUS] & 7;
    if (format_ == RecordFormat::Compact && status != kOrdinaryRecord && !(instant_ && status == kInstantRecord)) {
      end.passedOver.passOver("a record whose header says it is not a row of a leaf", pageAt(page));
      continue;
    }
    std::string valueNote;
    if (Status values = valuesOf(origin, options, valueNote, end.passedOver); !values) {
      end.passedOver.passOver("a damaged record (" + values.reason() + ")", pageAt(page));
      continue;
    }
    if (!valueNote.empty()) end.passedOver.passOver("a value kept apart cut short (" + valueNote + ")", pageAt(page), "value");
    sink(values_);
    if (++end.rows == maxRows) {
      const uint32_t next = i + 1 < chain.origins.size() ? chain.origins[i + 1] : supremumOf(format_);
      return PageStart{int64_t(page), int64_t(next)};
    }
  }
  return std::nullopt;
}

}  // namespace tavrin
