#include "myisam/myisam_table.h"

#include <optional>
#include <unordered_set>

#include "tabledef/field_layout.h"

namespace tavrin {

namespace {
constexpr size_t kMinDeletedBlock = 20;
// The bytes of the longest BIT value, put together for each column.
constexpr uint32_t kMaxBitBytes = kMaxBitWidth / 8;

std::string byteOf(uint64_t position, const ReadOnlyFile& file) {
  return "byte " + std::to_string(position) + " of " + file.path();
}

// Why a walk stops, and at which byte.
struct Stop {
  std::string why;
  uint64_t position = 0;
};

// What a walk of a dynamic-format data file does at a block: stops there,
// passes over it to `next`, or reads the row that starts in it.
struct BlockStep {
  std::string stopReason;  // stop at the block, when not empty
  uint64_t next = 0;       // where the following block starts
  bool startsRow = false;
};

BlockStep stepAt(uint64_t position, const BlockInfo& block, uint32_t flags, uint64_t size, uint64_t longestRow) {
  if (flags & BlockFlag::Invalid) return {"a block of unknown type " + std::to_string(block.type)};
  if (flags & BlockFlag::Deleted) {
    if (block.blockLength < kMinDeletedBlock || position + block.blockLength > size) {
      return {"a deleted block of " + std::to_string(block.blockLength) + " bytes"};
    }
    return {"", position + block.blockLength};
  }
  const uint64_t after = position + block.headerLength + block.blockLength;
  if (after > size) return {"a block runs past the end of the data file"};
  // The rest of a row that started earlier.
  if (!(flags & BlockFlag::First)) return {"", after};
  if (block.recordLength > longestRow) {
    return {"a row of " + std::to_string(block.recordLength) + " bytes, longer than the table allows"};
  }
  return {"", after, true};
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
}  // namespace

Result<std::unique_ptr<MyisamTable>> MyisamTable::open(const TableDefinition& table, MyisamState state,
                                                       const std::string& dataPath) {
  if (state.recordFormat == MyisamRowFormat::Compressed) return unsupported("compressed MyISAM tables are not supported");
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
  return std::unique_ptr<MyisamTable>(new MyisamTable(table, std::move(state), std::move(*data)));
}

MyisamTable::MyisamTable(const TableDefinition& table, MyisamState state, ReadOnlyFile data)
    : table_(table), state_(std::move(state)), data_(std::move(data)), window_(data_) {
  values_.resize(table_.columns.size());
  bitBytes_.resize(table_.columns.size() * kMaxBitBytes);
  for (const ColumnDefinition& c : table_.columns) plan_.push_back(recordColumn(c));
}

size_t MyisamTable::largeValueLimit() const {
  // The display form shows MyISAM BLOB/TEXT values from this size on as a marker.
  constexpr size_t kDisplayLimit = 1000;
  return kDisplayLimit;
}

uint64_t MyisamTable::walkLimit() const {
  return state_.dataLength > 0 && state_.dataLength < data_.size() ? state_.dataLength : data_.size();
}



WalkEnd MyisamTable::read(PageStart start, size_t maxRows, const RowSink& sink, const ReadOptions& options) {
  if (options.deletedOnly) {
    WalkEnd end;
    end.next = start;
    end.atEnd = true;
    end.stopReason = "deleted rows are shown for InnoDB tables only";
    return end;
  }
  const uint64_t from = uint64_t(start.position);
  WalkEnd end = state_.recordFormat == MyisamRowFormat::Dynamic ? walkDynamic(from, maxRows, sink)
                                                                : walkFixed(from, maxRows, sink);
  if (end.atEnd && !end.stoppedEarly() && walkLimit() < data_.size()) {
    end.passedOver.passOver("the data file is longer than its index says", byteOf(walkLimit(), data_), "byte",
                            data_.size() - walkLimit());
  }
  // A data file cut short (or emptied) loses the rows its index still counts.
  if (end.atEnd && !end.stoppedEarly() && state_.dataLength > data_.size()) {
    end.passedOver.passOver("the data file is shorter than its index says", byteOf(data_.size(), data_), "byte",
                            state_.dataLength - data_.size());
  }
  return end;
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
    end.stopReason = "the table's rows have no length";
    end.atEnd = true;
    return end;
  }
  static const std::vector<std::pair<uint32_t, ByteView>> kNoBlobs;
  while (p < size && end.rows < maxRows) {
    if (p + step > size) {
      end.stopReason = "the data file ends inside a row at " + byteOf(p, data_);
      break;
    }
    ByteView row = window_.view(p, size_t(step));
    p += step;
    if (row[0] == 0) continue;  // a deleted row
    sink(valuesOf(row.sub(0, state_.recordLength), kNoBlobs));
    ++end.rows;
  }
  end.next = {0, int64_t(p)};
  end.atEnd = p >= size || end.stoppedEarly();
  return end;
}

WalkEnd MyisamTable::walkDynamic(uint64_t start, size_t maxRows, const RowSink& sink) {
  WalkEnd end;
  const uint64_t size = walkLimit();
  // No row is longer than the table allows, nor than its data file.
  const uint64_t longestRow = std::min<uint64_t>(state_.maxPackLength ? state_.maxPackLength : size, size);
  uint64_t p = start;
  auto stop = [&](const std::string& why, uint64_t position) {
    end.stopReason = why + " at " + byteOf(position, data_);
  };
  while (p < size && end.rows < maxRows) {
    BlockInfo block;
    const uint32_t flags = decodeBlockHeader(window_.view(p, kBlockHeaderBytes), block);
    const BlockStep step = stepAt(p, block, flags, size, longestRow);
    if (!step.stopReason.empty()) {
      stop(step.stopReason, p);
      break;
    }
    if (!step.startsRow) {
      p = step.next;
      continue;
    }
    const uint64_t data = p + block.headerLength;
    ByteView packed;
    if (block.dataLength == block.recordLength) {
      packed = window_.view(data, block.dataLength);
    } else if (const std::optional<Stop> broken = gatherRow(window_, p, block, size, packedRow_)) {
      stop(broken->why, broken->position);
      break;
    } else {
      packed = ByteView(packedRow_);
    }
    p = step.next;
    Status unpacked = unpackDynamicRow(packed, state_, image_);
    if (!unpacked) {
      // The walk goes on with the next row; the row is reported.
      end.passedOver.passOver("a damaged row (" + unpacked.reason() + ")", byteOf(data, data_));
      continue;
    }
    sink(valuesOf(ByteView(image_.bytes), image_.blobs));
    ++end.rows;
  }
  end.next = {0, int64_t(p)};
  end.atEnd = p >= size || end.stoppedEarly();
  return end;
}

}  // namespace tavrin
