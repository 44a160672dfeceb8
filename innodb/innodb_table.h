#pragma once
// The rows of an InnoDB table: the leaf pages of its clustered index walked
// in key order from a page start, a page of rows at a time, each record
// handed on as the values of its columns.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "innodb/dictionary.h"
#include "innodb/layout.h"
#include "innodb/page.h"
#include "tabledef/row_values.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// The system tablespace and the dictionary read from it, when ibdata1 was found.
struct InnodbSystem {
  const Tablespace* space = nullptr;
  const DictionaryCache* dictionary = nullptr;
};

class InnodbTable : public RowSource {
 public:
  // `name` is database/table as the files are named; `ibdPath` the table's
  // own tablespace file when it has one.
  static Result<std::unique_ptr<InnodbTable>> open(const TableDefinition& table, const std::string& name,
                                                   const std::optional<std::string>& ibdPath, InnodbSystem system,
                                                   const CollationCatalogue& catalogue);

  // RowSource: pages start at a leaf page and a record in it.
  PageStart firstPage() const override { return {int64_t(firstLeaf_), 0}; }
  WalkEnd read(PageStart start, size_t maxRows, const RowSink& sink, const ReadOptions& options) override;
  size_t largeValueLimit() const override { return 0; }
  // One past the counter on the clustered index root, where the table has
  // an AUTO_INCREMENT column and the server kept the counter there.
  std::optional<uint64_t> nextAutoIncrement() const override;
  const ClusteredLayout& layout() const { return layout_; }
  // True when the layout came from the dictionary, false when from the definition alone.
  bool usesDictionary() const { return fromDictionary_; }


 private:
  explicit InnodbTable(const TableDefinition& table) : table_(table) {}
  Result<uint32_t> leftmostLeaf(uint32_t root);
  Status readAutoIncrement(uint32_t root);
  // The rows of the leaf in `page_` from `position` (0: the first); where the
  // next page of rows starts when `maxRows` rows were handed on.
  std::optional<PageStart> readLeaf(uint64_t page, uint32_t position, size_t maxRows, const RowSink& sink,
                                    const ReadOptions& options, WalkEnd& end);
  // "FILE page N", and with ": what" after it.
  std::string pageAt(uint64_t page) const;
  std::string pageNote(uint64_t page, const std::string& what) const;
  // The values of the record at `origin` of the page in `page_`.
  Status valuesOf(uint32_t origin, const ReadOptions& options, std::string& note);
  // The whole of a value kept apart: its local prefix and its BLOB pages.
  Status readExternal(ByteView local, std::vector<uint8_t>& value);

  const TableDefinition& table_;
  std::optional<Tablespace> own_;
  const Tablespace* source_ = nullptr;
  ClusteredLayout layout_;
  bool fromDictionary_ = false;
  uint32_t firstLeaf_ = kNoPage;
  uint64_t rootAutoIncrement_ = 0;  // 0: none kept

  std::vector<uint8_t> page_;
  std::vector<uint8_t> blobPage_;
  std::vector<RecordField> fields_;
  RowValues values_;
  std::vector<uint8_t> integers_;                  // integers turned back into the row image's order
  std::vector<std::vector<uint8_t>> externals_;    // values read from BLOB pages, per column
};

}  // namespace tavrin
