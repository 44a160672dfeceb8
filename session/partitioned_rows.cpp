#include "session/partitioned_rows.h"

#include <algorithm>

namespace tavrin {

namespace {

constexpr int kPartitionShift = 32;
constexpr int64_t kInnerPageMask = 0xFFFFFFFF;

PageStart outer(size_t partition, PageStart inner) {
  return {int64_t(partition) << kPartitionShift | (inner.page & kInnerPageMask), inner.position};
}

}  // namespace

PartitionedRows::PartitionedRows(std::vector<Partition> partitions) : partitions_(std::move(partitions)) {}

size_t PartitionedRows::readableFrom(size_t index) const {
  while (index < partitions_.size() && !partitions_[index].rows) ++index;
  return index;
}

PageStart PartitionedRows::startOf(size_t index) const {
  const size_t readable = readableFrom(index);
  return readable < partitions_.size() ? outer(readable, partitions_[readable].rows->firstPage()) : kEndOfPages;
}

PageStart PartitionedRows::firstPage() const { return startOf(0); }

const RowSource* PartitionedRows::firstReadable() const {
  const size_t readable = readableFrom(0);
  return readable < partitions_.size() ? partitions_[readable].rows.get() : nullptr;
}

WalkEnd PartitionedRows::read(PageStart start, size_t maxRows, const RowSink& sink, const ReadOptions& options) {
  WalkEnd end;
  if (start == firstPage()) {
    // Partitions that cannot be read are told once, with the first page.
    for (const Partition& p : partitions_) {
      if (!p.rows) end.passedOver.passOver("a partition that cannot be read (" + p.problem->reason + ")", inPart("partition " + p.name), "partition");
    }
  }
  size_t index = start == kEndOfPages ? partitions_.size() : size_t(uint64_t(start.page) >> kPartitionShift);
  PageStart inner{start.page & kInnerPageMask, start.position};
  while (true) {
    if (index >= partitions_.size() || !partitions_[index].rows) {
      end.atEnd = true;
      end.next = kEndOfPages;
      return end;
    }
    const Partition& p = partitions_[index];
    WalkEnd part = p.rows->read(inner, maxRows - end.rows, sink, options);
    end.rows += part.rows;
    end.passedOver.merge(part.passedOver);
    if (part.stoppedEarly()) {
      // The other partitions are still read: only this one's rest is lost.
      end.passedOver.passOver("the rest of a partition (" + part.stop->reason + ")", inPart("partition " + p.name), "partition");
    } else if (!part.atEnd) {
      end.next = outer(index, part.next);
      return end;
    }
    index = readableFrom(index + 1);
    inner = index < partitions_.size() ? partitions_[index].rows->firstPage() : PageStart{};
    if (end.rows == maxRows) {
      end.next = startOf(index);
      end.atEnd = index >= partitions_.size();
      return end;
    }
  }
}

size_t PartitionedRows::largeValueLimit() const {
  const RowSource* first = firstReadable();
  return first ? first->largeValueLimit() : 0;
}

std::optional<uint64_t> PartitionedRows::nextAutoIncrement() const {
  std::optional<uint64_t> next;
  for (const Partition& p : partitions_) {
    if (!p.rows) continue;
    const std::optional<uint64_t> own = p.rows->nextAutoIncrement();
    if (own && (!next || *own > *next)) next = own;
  }
  return next;
}

std::vector<uint16_t> PartitionedRows::keyBlockSizes() const {
  const RowSource* first = firstReadable();
  return first ? first->keyBlockSizes() : std::vector<uint16_t>{};
}

}  // namespace tavrin
