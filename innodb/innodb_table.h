#pragma once
// The rows of an InnoDB table: the leaf pages of its clustered index walked
// in key order from a page start, a page of rows at a time, each record
// handed on as the values of its columns.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/result.h"
#include "innodb/dictionary.h"
#include "innodb/instant.h"
#include "innodb/layout.h"
#include "innodb/leaf_scan.h"
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

  // The table of a definition whose index's pages were found in another
  // file (`space`), its tree from `root` (the page of the highest level
  // found), else its leaves found by scanning.
  static Result<std::unique_ptr<InnodbTable>> openFound(const TableDefinition& table, Tablespace space, uint32_t root,
                                                        uint64_t indexId, const CollationCatalogue& catalogue);

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
  // The leaves in the order they are read once their chain was found broken
  // or at its end: the chain from the first leaf, then the leaves of the
  // index that a scan of the tablespace found off it, each run of linked
  // leaves as a piece, by its first key where the key's bytes sort as the
  // key does.
  struct LeafOrder {
    std::vector<uint64_t> pages;
    std::unordered_map<uint64_t, size_t> at;
    uint64_t after(uint64_t page) const;  // kNoPage at the end, or for a page not in it
  };

  explicit InnodbTable(const TableDefinition& table) : table_(table) {}
  Status openAt(uint32_t root);
  Status findFirstLeaf(uint32_t root);
  // For a definition from a CREATE TABLE text: whether it fits the records.
  Status checkLayoutFits();
  Result<uint32_t> leftmostLeaf(uint32_t root);
  void readAutoIncrement(uint32_t root);
  // For a table altered in place: the core fields, the stored layout and the
  // values of fields records lack, from the root and the metadata record.
  Status readInstantMetadata(uint32_t root);
  Status readMetadataRecord(uint32_t leaf, bool altered);
  std::optional<uint32_t> scannedMetadataLeaf();
  // The leaves of every index, from a scan of the whole tablespace made once.
  const LeafScan& leafScan();
  // The first `count` fields of the record at `origin` of `page_`: fewer
  // when the record was written before fields were added in place.
  Status fieldsOf(ByteView page, uint32_t origin, size_t count);
  const LeafOrder& leafOrder();
  LeafOrder makeLeafOrder(const std::vector<LeafPage>& leaves);
  // The id of the index whose leaves parse as records of the clustered
  // layout, for when neither the dictionary nor the root names it; 0 for none.
  uint64_t guessClusteredIndex(const LeafScan& scan);
  // True when the leaf in `page_` holds records of the clustered layout.
  bool holdsClusteredRecords();
  bool keySortsAsBytes() const;
  // The bytes of the first key field of the first record of a leaf.
  std::vector<uint8_t> firstKeyOf(uint64_t page);
  // Reads page `page` into `page_`, or why it cannot be the next leaf.
  Status readLeafPage(uint64_t page, uint64_t previous, std::unordered_set<uint64_t>& visited);
  // The pages of other tablespaces that the leaves of the index link to:
  // leaves lost to them, which the scan's order alone would pass by unsaid.
  void reportForeignLeaves(WalkEnd& end);
  // Where the walk goes on when the chain broke at `page` reached from
  // `previous`, or ended after `previous`.
  uint64_t afterBreak(uint64_t page, uint64_t previous, const Failure* why, WalkEnd& end);
  // The rows of the leaf in `page_` from `position` (0: the first); where the
  // next page of rows starts when `maxRows` rows were handed on.
  std::optional<PageStart> readLeaf(uint64_t page, uint32_t position, size_t maxRows, const RowSink& sink,
                                    const ReadOptions& options, WalkEnd& end);
  // `failure` after the damage of page 0, which may be its cause.
  Failure afterFirstPage(const Failure& failure) const;
  // Whether the page in `page_`, read as page `page`, is one of the index read.
  Status ownerOf(uint64_t page) const;
  // Page `page` of the table's tablespace.
  Place pageAt(uint64_t page) const;
  // The values of the record at `origin` of the page in `page_`.
  Status valuesOf(uint32_t origin, const ReadOptions& options, std::string& note, DamageReport& report);
  // The whole of a value kept apart: its local prefix and its BLOB pages.
  Status readExternal(ByteView local, std::vector<uint8_t>& value, DamageReport& report);

  const TableDefinition& table_;
  std::optional<Tablespace> own_;
  const Tablespace* source_ = nullptr;
  ClusteredLayout layout_;
  // The record format, from the dictionary, else the root page, else the leaves found.
  RecordFormat format_ = RecordFormat::Compact;
  bool formatKnown_ = false;
  std::optional<InstantRecords> instant_;  // for a table altered in place
  bool fromDictionary_ = false;
  uint32_t firstLeaf_ = kNoPage;
  uint64_t indexId_ = 0;
  std::string openNote_;  // how the leaves were found when the tree is damaged
  std::optional<LeafOrder> order_;
  std::optional<LeafScan> scan_;
  uint64_t rootAutoIncrement_ = 0;  // 0: none kept

  std::vector<uint8_t> page_;
  std::vector<uint8_t> blobPage_;
  std::vector<RecordField> fields_;
  RowValues values_;
  std::vector<uint8_t> integers_;                  // integers turned back into the row image's order
  std::vector<std::vector<uint8_t>> externals_;    // values read from BLOB pages, per column
};

}  // namespace tavrin
