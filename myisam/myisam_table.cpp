#include "myisam/myisam_table.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "tabledef/field_layout.h"

namespace tavrin {

namespace {
constexpr size_t kMinDeletedBlock = 20;
// Blocks of a dynamic-format data file start at multiples of this.
constexpr uint64_t kBlockAlign = 4;
// The bytes of rows a search for the next sound row may put together: this,
// and a few for each byte it passes, so that it stays linear in the damage.
constexpr uint64_t kResyncBaseBudget = 1u << 20;
constexpr uint64_t kResyncBudgetPerByte = 16;
// Fixed-length rows of a definition without packed rows start with this bit set.
constexpr uint8_t kLiveRowBit = 0x01;

// The bytes of the longest BIT value, put together for each column.
constexpr uint32_t kMaxBitBytes = kMaxBitWidth / 8;

Place byteOf(uint64_t position, const ReadOnlyFile& file) { return atByte(file.path(), position); }

// Why a walk stops, and at which byte.
struct Stop {
  std::string why;
  uint64_t position = 0;
};

// What a walk of a dynamic-format data file does at a block: stops there,
// passes over it to `next`, or reads the row that starts in it.
struct BlockStep {
  std::optional<Failure> stop;  // stop at the block, and why
  uint64_t next = 0;            // where the following block starts
  bool startsRow = false;
};

BlockStep stepAt(uint64_t position, const BlockInfo& block, uint32_t flags, uint64_t size, uint64_t longestRow) {
  if (flags & BlockFlag::Invalid) return {damaged("a block of unknown type " + std::to_string(block.type))};
  if (flags & BlockFlag::Deleted) {
    if (block.blockLength < kMinDeletedBlock || position + block.blockLength > size) {
      return {damaged("a deleted block of " + std::to_string(block.blockLength) + " bytes")};
    }
    return {std::nullopt, position + block.blockLength};
  }
  const uint64_t after = position + block.headerLength + block.blockLength;
  if (after > size) return {damaged("a block runs past the end of the data file")};
  // The rest of a row that started earlier.
  if (!(flags & BlockFlag::First)) return {std::nullopt, after};
  if (block.recordLength > longestRow) {
    return {damaged("a row of " + std::to_string(block.recordLength) + " bytes, longer than the table allows")};
  }
  return {std::nullopt, after, true};
}

// Gathers into `row` a row that spans several blocks, following the chain
// from its first block at `position`; says where and why the chain breaks.
std::optional<Stop> gatherRow(FileWindow& window, uint64_t position, const BlockInfo& first, uint64_t size,
                              std::vector<uint8_t>& row) {
  row.clear();
  std::unordered_set<uint64_t> visited{position};
  BlockInfo piece = first;
  uint64_t piecePosition = position;
  while (true) {
    if (piece.dataLength > first.recordLength - row.size()) {
      return Stop{"the blocks of a row hold more than its length", piecePosition};
    }
    if (piecePosition + piece.headerLength + piece.dataLength > size) {
      return Stop{"a block of a row runs past the end of the data file", piecePosition};
    }
    ByteView bytes = window.view(piecePosition + piece.headerLength, piece.dataLength);
    row.insert(row.end(), bytes.data(), bytes.data() + bytes.size());
    if (row.size() == first.recordLength) return std::nullopt;
    if (!piece.hasNext || piece.nextPosition >= size || !visited.insert(piece.nextPosition).second) {
      return Stop{"the chain of blocks of a row breaks off or loops", position};
    }
    piecePosition = piece.nextPosition;
    const uint32_t flags = decodeBlockHeader(window.view(piecePosition, kBlockHeaderBytes), piece);
    if (flags & (BlockFlag::First | BlockFlag::Deleted | BlockFlag::Invalid)) {
      return Stop{"a row continues in a block that is not its continuation", piecePosition};
    }
  }
}
// The header of a compressed data file: the packing of the columns and the
// trees, read whole.
Result<PackedLayout> readPackedHeader(const ReadOnlyFile& data, const MyisamState& state) {
  // Far more than the trees of any table take.
  constexpr uint64_t kMaxHeaderBytes = 64u << 20;
  auto header = parsePackedHeader(ByteView(data.readAt(0, kPackedHeaderBytes)));
  if (!header) return header.failure();
  if (header->headerLength > data.size() || header->headerLength > kMaxHeaderBytes) {
    return damaged("the header of the compressed rows says it is " + std::to_string(header->headerLength) +
                   " bytes long, the data file is " + std::to_string(data.size()));
  }
  return readPackedLayout(ByteView(data.readAt(0, header->headerLength)), state);
}
}  // namespace

struct MyisamTable::Found {
  enum class Kind { Pass, Row, LostRow, Damaged };
  Kind kind = Kind::Damaged;
  uint64_t next = 0;  // Pass, Row, LostRow: where the following block starts
  std::string why;    // LostRow, Damaged
  uint64_t at = 0;    // LostRow: where the row breaks off
  ByteView packed;    // Row

  static Found damage(std::string why) {
    Found f;
    f.why = std::move(why);
    return f;
  }
  static Found of(Kind kind, uint64_t next) {
    Found f;
    f.kind = kind;
    f.next = next;
    return f;
  }
};

Result<std::unique_ptr<MyisamTable>> MyisamTable::open(const TableDefinition& table, MyisamState state,
                                                       const std::string& dataPath, std::string layoutNote) {
  // The index file describes the stored part of the row image: the columns
  // before those computed when read.
  uint64_t described = 0;
  for (const MyisamColumnDef& c : state.columnDefs) described += c.length;
  if (state.recordLength == 0 || state.recordLength > table.recordLength) {
    return damaged("the index file does not describe the rows of this table: its rows are " +
                   std::to_string(state.recordLength) + " bytes long, the definition's " +
                   std::to_string(table.recordLength));
  }
  if (described != state.recordLength) {
    return damaged("the index file does not describe the rows of this table: its column descriptions add up to " +
                   std::to_string(described) + " bytes, its rows are " + std::to_string(state.recordLength));
  }
  auto data = ReadOnlyFile::open(dataPath);
  if (!data) return data.failure();
  // The data file's start says whether its rows are compressed, whatever
  // the index file or the definition says.
  std::optional<PackedLayout> packed;
  const bool magic = startsPackedFile(ByteView(data->readAt(0, kPackedHeaderBytes)));
  if (magic || state.recordFormat == MyisamRowFormat::Compressed) {
    auto layout = readPackedHeader(*data, state);
    if (!layout) return layout.failure().prefixed(dataPath + ": ");
    packed = std::move(*layout);
    state.recordFormat = MyisamRowFormat::Compressed;
  }
  auto opened = std::unique_ptr<MyisamTable>(
      new MyisamTable(table, std::move(state), std::move(*data), std::move(layoutNote), std::move(packed)));
  // The index file says the rows are compressed and the header holds: only the magic is damaged.
  opened->damagedMagic_ = opened->packed_ && !magic;
  return opened;
}

MyisamTable::MyisamTable(const TableDefinition& table, MyisamState state, ReadOnlyFile data, std::string layoutNote,
                         std::optional<PackedLayout> packed)
    : table_(table), state_(std::move(state)), data_(std::move(data)), window_(data_),
      layoutNote_(std::move(layoutNote)), packed_(std::move(packed)) {
  if (packed_ && data_.size() >= packed_->header.headerLength + kPackedTailBytes) {
    const std::vector<uint8_t> tail = data_.readAt(data_.size() - kPackedTailBytes, kPackedTailBytes);
    packedTail_ = std::all_of(tail.begin(), tail.end(), [](uint8_t b) { return b == 0; });
  }
  values_.resize(table_.columns.size());
  bitBytes_.resize(table_.columns.size() * kMaxBitBytes);
  for (const ColumnDefinition& c : table_.columns) plan_.push_back(recordColumn(c));
}

size_t MyisamTable::largeValueLimit() const {
  // The display form shows MyISAM BLOB/TEXT values from this size on as a marker.
  constexpr size_t kDisplayLimit = 1000;
  return kDisplayLimit;
}

uint64_t MyisamTable::dataEnd() const { return packedTail_ ? data_.size() - kPackedTailBytes : data_.size(); }

uint64_t MyisamTable::walkLimit() const {
  return state_.dataLength > 0 && state_.dataLength < dataEnd() ? state_.dataLength : dataEnd();
}



WalkEnd MyisamTable::read(PageStart start, size_t maxRows, const RowSink& sink, const ReadOptions& options) {
  if (options.deletedOnly) {
    WalkEnd end;
    end.next = start;
    end.atEnd = true;
    end.stop = unsupported("deleted rows are shown for InnoDB tables only");
    return end;
  }
  const uint64_t from = uint64_t(start.position);
  WalkEnd end = packed_                                            ? walkPacked(from, maxRows, sink)
                : state_.recordFormat == MyisamRowFormat::Dynamic ? walkDynamic(from, maxRows, sink)
                                                                  : walkFixed(from, maxRows, sink);
  if (end.atEnd && !end.stoppedEarly() && walkLimit() < dataEnd()) {
    end.passedOver.passOver("the data file is longer than its index says", byteOf(walkLimit(), data_), "byte",
                            dataEnd() - walkLimit());
  }
  // A data file cut short (or emptied) loses the rows its index still counts.
  if (end.atEnd && state_.dataLength > data_.size()) {
    end.passedOver.passOver("the data file is shorter than its index says", byteOf(data_.size(), data_), "byte",
                            state_.dataLength - data_.size());
  }
  reportTableWide(start, end);
  return end;
}

void MyisamTable::reportTableWide(PageStart start, WalkEnd& end) {
  if (start == firstPage()) {
    rowsSoFar_ = 0;
    walkedTo_ = start.position;
    if (!layoutNote_.empty()) {
      end.passedOver.passOver(layoutNote_ + "; the layout of the rows comes from the table's definition", {},
                              "index file");
    }
    if (damagedMagic_) end.passedOver.note("the compressed data file does not start as one does", byteOf(0, data_));
  }
  if (walkedTo_ != start.position) {
    walkedTo_ = -1;
    return;
  }
  rowsSoFar_ += end.rows;
  walkedTo_ = end.next.position;
  // Rows lost without a trace in the data file (a block's type changed to
  // one the walk passes over) still show against the index's count.
  if (end.atEnd && layoutNote_.empty() && rowsSoFar_ < state_.rows) {
    end.passedOver.passOver("the index file counts " + std::to_string(state_.rows) + " rows, the data file gave " +
                                std::to_string(rowsSoFar_),
                            {}, "row", state_.rows - rowsSoFar_);
  }
}

const RowValues& MyisamTable::valuesOf(ByteView image, const std::vector<std::pair<uint32_t, ByteView>>& blobs) {
  for (size_t i = 0; i < plan_.size(); ++i) {
    FieldValue& v = values_[i];
    v = recordValue(plan_[i], image, bitBytes_.data() + i * kMaxBitBytes);
    if (v.isNull || plan_[i].take != RecordColumn::Take::Blob) continue;
    for (const auto& [blobOffset, bytes] : blobs) {
      if (blobOffset == plan_[i].offset) v.bytes = bytes;
    }
  }
  return values_;
}

WalkEnd MyisamTable::walkFixed(uint64_t start, size_t maxRows, const RowSink& sink) {
  WalkEnd end;
  const uint64_t step = state_.packedRecordLength ? state_.packedRecordLength : table_.recordLength;
  const uint64_t size = walkLimit();
  uint64_t p = start;
  if (step == 0) {
    end.stop = damaged("the table's rows have no length");
    end.atEnd = true;
    return end;
  }
  static const std::vector<std::pair<uint32_t, ByteView>> kNoBlobs;
  while (p < size && end.rows < maxRows) {
    if (p + step > size) {
      end.stop = damaged("the data file ends inside a row at " + describe(byteOf(p, data_)));
      break;
    }
    ByteView row = window_.view(p, size_t(step));
    p += step;
    if (row[0] == 0) continue;  // a deleted row
    if (!(table_.createOptions & MyisamOption::PackRecord) && !(row[0] & kLiveRowBit)) {
      end.passedOver.passOver("a row neither live nor deleted (its first byte is " + std::to_string(row[0]) + ")",
                              byteOf(p - step, data_));
      continue;
    }
    sink(valuesOf(row.sub(0, state_.recordLength), kNoBlobs));
    ++end.rows;
  }
  end.next = {0, int64_t(p)};
  end.atEnd = p >= size || end.stoppedEarly();
  return end;
}

MyisamTable::Found MyisamTable::blockAt(uint64_t p, uint64_t size, uint64_t longestRow) {
  BlockInfo block;
  const uint32_t flags = decodeBlockHeader(window_.view(p, kBlockHeaderBytes), block);
  const BlockStep step = stepAt(p, block, flags, size, longestRow);
  if (step.stop) return Found::damage(step.stop->reason);
  if (!step.startsRow) return Found::of(Found::Kind::Pass, step.next);
  if (block.recordLength < state_.minPackLength) {
    return Found::damage("a row shorter than the table's shortest");
  }
  Found found = Found::of(Found::Kind::Row, step.next);
  if (block.dataLength == block.recordLength) {
    found.packed = window_.view(p + block.headerLength, block.dataLength);
  } else if (const std::optional<Stop> broken = gatherRow(window_, p, block, size, packedRow_)) {
    found.kind = Found::Kind::LostRow;
    found.why = broken->why;
    found.at = broken->position;
  } else {
    found.packed = ByteView(packedRow_);
  }
  return found;
}

bool MyisamTable::blockStartsAt(uint64_t p, uint64_t size) {
  if (p == size) return true;
  BlockInfo block;
  const uint32_t flags = decodeBlockHeader(window_.view(p, kBlockHeaderBytes), block);
  return !stepAt(p, block, flags, size, size).stop;
}

// A row starts at `p` when its block and all its pieces are sound, it
// unpacks to the definition's row exactly, and a block starts after it.
bool MyisamTable::soundRowAt(uint64_t p, uint64_t size, uint64_t longestRow) {
  const Found found = blockAt(p, size, longestRow);
  return found.kind == Found::Kind::Row && unpackDynamicRow(found.packed, state_, image_) &&
         blockStartsAt(found.next, size);
}

uint64_t MyisamTable::resync(uint64_t from, uint64_t size, uint64_t longestRow) {
  uint64_t spent = 0;
  for (uint64_t q = (from / kBlockAlign + 1) * kBlockAlign; q < size; q += kBlockAlign) {
    BlockInfo block;
    const uint32_t flags = decodeBlockHeader(window_.view(q, kBlockHeaderBytes), block);
    if (!(flags & BlockFlag::First) || (flags & (BlockFlag::Deleted | BlockFlag::Invalid))) continue;
    // Rows that would take the search past its budget are not tried.
    if (spent + block.recordLength > kResyncBaseBudget + kResyncBudgetPerByte * (q - from)) continue;
    spent += block.recordLength;
    if (soundRowAt(q, size, longestRow)) return q;
  }
  return size;
}

WalkEnd MyisamTable::walkDynamic(uint64_t start, size_t maxRows, const RowSink& sink) {
  WalkEnd end;
  const uint64_t size = walkLimit();
  // No row is longer than the table allows, nor than its data file.
  const uint64_t longestRow = std::min<uint64_t>(state_.maxPackLength ? state_.maxPackLength : size, size);
  uint64_t p = start;
  // Damage at `p`: the walk goes on at the next sound row.
  auto skipDamage = [&](const std::string& why) {
    const uint64_t next = resync(p, size, longestRow);
    end.passedOver.passOver(why, byteOf(p, data_), "byte", next - p);
    p = next;
  };
  while (p < size && end.rows < maxRows) {
    const Found found = blockAt(p, size, longestRow);
    if (found.kind == Found::Kind::Damaged) {
      skipDamage(found.why);
      continue;
    }
    if (found.kind == Found::Kind::LostRow) {
      // Its first block is sound: the walk goes on after it.
      end.passedOver.passOver("a row whose blocks cannot all be found (" + found.why + ")", byteOf(found.at, data_));
      p = found.next;
      continue;
    }
    if (found.kind == Found::Kind::Pass) {
      p = found.next;
      continue;
    }
    Status unpacked = unpackDynamicRow(found.packed, state_, image_);
    if (!unpacked && (found.next == size || soundRowAt(found.next, size, longestRow))) {
      // Only the row's bytes are damaged: the blocks around it hold.
      end.passedOver.passOver("a damaged row (" + unpacked.reason() + ")", byteOf(p, data_));
      p = found.next;
      continue;
    }
    if (!unpacked) {
      skipDamage("a damaged block (" + unpacked.reason() + ")");
      continue;
    }
    p = found.next;
    sink(valuesOf(ByteView(image_.bytes), image_.blobs));
    ++end.rows;
  }
  end.next = {0, int64_t(p)};
  end.atEnd = p >= size;
  return end;
}

WalkEnd MyisamTable::walkPacked(uint64_t start, size_t maxRows, const RowSink& sink) {
  // A row's length prefix: two lengths of 5 bytes at the most.
  constexpr size_t kMaxPrefixBytes = 10;
  WalkEnd end;
  const PackedLayout& layout = *packed_;
  const uint64_t size = walkLimit();
  uint64_t p = std::max<uint64_t>(start, layout.header.headerLength);
  while (p < size && end.rows < maxRows) {
    const auto prefix = readRowPrefix(window_.view(p, size_t(std::min<uint64_t>(kMaxPrefixBytes, size - p))), layout);
    const uint64_t bitsAt = p + (prefix ? prefix->bytes : 0);
    if (!prefix || prefix->length > size - bitsAt) {
      // Without a sound length the next row cannot be found.
      const std::string why = prefix ? "a row runs past the end of the data file" : prefix.reason();
      end.passedOver.passOver(why, byteOf(p, data_), "byte", size - p);
      p = size;
      break;
    }
    const ByteView bits = window_.view(bitsAt, size_t(prefix->length));
    Status unpacked = unpackPackedRow(bits, prefix->blobLength, layout, image_);
    const uint64_t rowAt = p;
    p = bitsAt + prefix->length;
    if (!unpacked) {
      end.passedOver.passOver("a damaged row (" + unpacked.reason() + ")", byteOf(rowAt, data_));
      continue;
    }
    sink(valuesOf(ByteView(image_.bytes), image_.blobs));
    ++end.rows;
  }
  end.next = {0, int64_t(p)};
  end.atEnd = p >= size;
  return end;
}

}  // namespace tavrin
