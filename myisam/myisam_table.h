#pragma once
// The rows of a MyISAM table: its data (.MYD) file walked from a byte
// position, a page of rows at a time, each row handed on as the values of its
// columns.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/file.h"
#include "base/file_window.h"
#include "base/result.h"
#include "myisam/dynamic_row.h"
#include "myisam/myi_state.h"
#include "tabledef/field_layout.h"
#include "tabledef/row_values.h"
#include "tabledef/table_definition.h"

namespace tavrin {

class MyisamTable : public RowSource {
 public:
  // Opens the data file of a table whose definition and index file were read.
  static Result<std::unique_ptr<MyisamTable>> open(const TableDefinition& table, MyisamState state,
                                                   const std::string& dataPath);

  const MyisamState& state() const { return state_; }
  uint64_t dataLength() const { return data_.size(); }

  // RowSource: pages start at a byte position of the data file.
  PageStart firstPage() const override { return {}; }
  WalkEnd read(PageStart start, size_t maxRows, const RowSink& sink, const ReadOptions& options) override;
  size_t largeValueLimit() const override;
  // As the server counts on: one past the largest value the state keeps.
  std::optional<uint64_t> nextAutoIncrement() const override { return state_.autoIncrement + 1; }
  std::vector<uint16_t> keyBlockSizes() const override { return state_.keyBlockLengths; }

 private:
  MyisamTable(const TableDefinition& table, MyisamState state, ReadOnlyFile data);
  WalkEnd walkFixed(uint64_t start, size_t maxRows, const RowSink& sink);
  WalkEnd walkDynamic(uint64_t start, size_t maxRows, const RowSink& sink);
  // The values of one row image.
  const RowValues& valuesOf(ByteView image, const std::vector<std::pair<uint32_t, ByteView>>& blobs);

  // Where walks end: the data length the index gives where it is within the
  // file, else the file's end.
  uint64_t walkLimit() const;

  const TableDefinition& table_;
  std::vector<RecordColumn> plan_;  // how each column's value is taken from the row image
  MyisamState state_;
  ReadOnlyFile data_;
  FileWindow window_;
  RowValues values_;
  std::vector<uint8_t> bitBytes_;   // BIT values put together from their two places
  std::vector<uint8_t> packedRow_;  // a row gathered from several blocks
  RowImage image_;
};

}  // namespace tavrin
