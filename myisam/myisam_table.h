#pragma once
// The rows of a MyISAM table: its data (.MYD) file walked from a byte
// position, a page of rows at a time, each row handed on as the values of its
// columns.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/file.h"
#include "base/file_window.h"
#include "base/result.h"
#include "myisam/dynamic_row.h"
#include "myisam/myi_state.h"
#include "myisam/packed_file.h"
#include "tabledef/field_layout.h"
#include "tabledef/row_values.h"
#include "tabledef/table_definition.h"

namespace tavrin {

class MyisamTable : public RowSource {
 public:
  // Opens the data file of a table whose definition and index file were
  // read. `layoutNote`, when not empty, says why the layout was taken from
  // elsewhere than a sound index file; the first page reports it, and the
  // counts of the index are not compared with the rows read.
  static Result<std::unique_ptr<MyisamTable>> open(const TableDefinition& table, MyisamState state,
                                                   const std::string& dataPath, std::string layoutNote = {});

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
  // What the walk of a dynamic-format data file finds at a block.
  struct Found;

  MyisamTable(const TableDefinition& table, MyisamState state, ReadOnlyFile data, std::string layoutNote,
              std::optional<PackedLayout> packed);
  WalkEnd walkFixed(uint64_t start, size_t maxRows, const RowSink& sink);
  WalkEnd walkPacked(uint64_t start, size_t maxRows, const RowSink& sink);
  WalkEnd walkDynamic(uint64_t start, size_t maxRows, const RowSink& sink);
  Found blockAt(uint64_t position, uint64_t size, uint64_t longestRow);
  // Where the next sound row starts after damage at `position`, or `size`.
  uint64_t resync(uint64_t position, uint64_t size, uint64_t longestRow);
  bool soundRowAt(uint64_t position, uint64_t size, uint64_t longestRow);
  bool blockStartsAt(uint64_t position, uint64_t size);
  // What the walk reports once per reading of the whole table: the layout's
  // origin, and rows the index counts that the data file did not give.
  void reportTableWide(PageStart start, WalkEnd& end);
  // The values of one row image.
  const RowValues& valuesOf(ByteView image, const std::vector<std::pair<uint32_t, ByteView>>& blobs);

  // Where walks end: the data length the index gives where it is within the
  // file, else where the rows end by the file's size.
  uint64_t walkLimit() const;
  // The end of the rows by the file's size: before the zero bytes myisampack
  // leaves after the last compressed row.
  uint64_t dataEnd() const;

  const TableDefinition& table_;
  std::vector<RecordColumn> plan_;  // how each column's value is taken from the row image
  MyisamState state_;
  ReadOnlyFile data_;
  FileWindow window_;
  RowValues values_;
  std::vector<uint8_t> bitBytes_;   // BIT values put together from their two places
  std::vector<uint8_t> packedRow_;  // a row gathered from several blocks
  RowImage image_;
  std::string layoutNote_;
  std::optional<PackedLayout> packed_;  // the columns' packing, of a compressed data file
  bool packedTail_ = false;             // the compressed data file ends in myisampack's zero bytes
  bool damagedMagic_ = false;           // it does not start as one does
  // Rows read by the pages walked one after the other from the first, and
  // where the last of them ended (-1: pages were read out of order).
  uint64_t rowsSoFar_ = 0;
  int64_t walkedTo_ = -1;
};

}  // namespace tavrin
