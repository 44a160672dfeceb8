#pragma once
// The rows of a partitioned table: the rows of each partition in the
// partition file's order, one partition after the other.
//
// A page start names its partition in the bits above the 32 that a
// partition's own page starts use.

#include <memory>
#include <string>
#include <vector>

#include "tabledef/row_values.h"

namespace tavrin {

class PartitionedRows : public RowSource {
 public:
  struct Partition {
    std::string name;
    std::unique_ptr<RowSource> rows;  // null when it could not be opened,
    std::optional<Failure> problem;   // and why, naming its file
  };
  explicit PartitionedRows(std::vector<Partition> partitions);

  PageStart firstPage() const override;
  WalkEnd read(PageStart start, size_t maxRows, const RowSink& sink, const ReadOptions& options) override;
  size_t largeValueLimit() const override;
  std::optional<uint64_t> nextAutoIncrement() const override;
  std::vector<uint16_t> keyBlockSizes() const override;

 private:
  // The first partition at or after `index` that can be read, or size().
  size_t readableFrom(size_t index) const;
  PageStart startOf(size_t index) const;
  const RowSource* firstReadable() const;

  std::vector<Partition> partitions_;
};

}  // namespace tavrin
