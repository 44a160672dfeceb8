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

 private:
  MyisamTable(const TableDefinition& table, MyisamState state, ReadOnlyFile data);
  WalkEnd walkFixed(uint64_t start, size_t maxRows, const RowSink& sink);
  WalkEnd walkDynamic(uint64_t start, size_t maxRows, const RowSink& sink);
  // The values of one row image.
  const RowValues& valuesOf(ByteView image, const std::vector<std::pair<uint32_t, ByteView>>& blobs);

  // How each column's value is taken from the row image.
  enum class Take { Skip, Fixed, Varchar, Blob, Bits };
  struct ColumnPlan {
    Take take = Take::Skip;
    uint32_t offset = 0;
    uint32_t width = 0;   // Fixed: bytes; Varchar: length bytes; Bits: whole bytes
    uint32_t limit = 0;   // Varchar: the longest value
    uint32_t nullByte = 0;
    uint8_t nullMask = 0;  // 0 when the column cannot be NULL
    uint32_t bitsByte = 0;
    uint8_t bitsShift = 0;
    uint32_t oddBits = 0;
  };

  // Where walks end: the data length the index gives where it is within the
  // file, else the file's end.
  uint64_t walkLimit() const;

  const TableDefinition& table_;
  std::vector<ColumnPlan> plan_;
  MyisamState state_;
  ReadOnlyFile data_;
  FileWindow window_;
  RowValues values_;
  std::vector<uint8_t> bitBytes_;   // BIT values put together from their two places
  std::vector<uint8_t> packedRow_;  // a row gathered from several blocks
  RowImage image_;
};

}  // namespace tavrin
