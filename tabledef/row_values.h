#pragma once
// One decoded row as the storage readers hand it to the renderer: for every
// column of the table its bytes in one canonical form, or NULL.
//
// Canonical forms: numbers, dates and times as the server's row image keeps
// them (integers little-endian); CHAR, VARCHAR, BLOB/TEXT and GEOMETRY as
// their stored bytes without any length prefix; BIT as its bytes
// big-endian, (bits + 7) / 8 of them.

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/place.h"
#include "base/result.h"

namespace tavrin {

struct FieldValue {
  bool isNull = true;
  ByteView bytes;
  // Kept outside the row by the storage engine and not read (a marker is shown).
  bool external = false;
  // Read whole from where the storage engine kept it apart from its row.
  bool keptApart = false;
};

using RowValues = std::vector<FieldValue>;

// Rows are handed on one at a time; the views stay valid during the call.
using RowSink = std::function<void(const RowValues&)>;

// The rows of a page: what the grid shows at a time.
inline constexpr size_t kRowsPerPage = 1000;

// Where a page of rows starts: a byte position in a MyISAM data file (page
// 0), or an InnoDB leaf page and the offset of a record in it (0: its first).
struct PageStart {
  int64_t page = 0;
  int64_t position = 0;
  bool operator==(const PageStart&) const = default;
};

// A page start that means "no page after this one".
inline constexpr PageStart kEndOfPages{0xFFFFFFFF, 0};

// What a walk hands on.
struct ReadOptions {
  bool fullValues = false;   // read values kept apart from their rows (InnoDB BLOB pages)
  bool deletedOnly = false;  // the rows deleted but still on their pages, instead of the live ones
};

// What a walk passed over and went on: per reason, how many rows, pages or
// values, and where the first of them was.
class DamageReport {
 public:
  // `unit` is "row", "page", "byte", "value" or "partition"; `firstAt` is
  // where the first of them lies.
  void passOver(const std::string& reason, const Place& firstAt, const char* unit = "row", size_t count = 1);
  // Damage that cost no rows but is worth knowing: with a unit, counted
  // ("2 pages read although they fail their checksum (the first at WHERE)"),
  // without one told once.
  void note(const std::string& what, const Place& firstAt = {}, const char* unit = "", size_t count = 1);
  void merge(const DamageReport& other);
  bool empty() const { return entries_.empty(); }
  // One line per reason: "3 rows passed over: REASON (the first at WHERE)".
  std::vector<std::string> lines() const;

 private:
  struct Entry {
    std::string reason;
    Place firstAt;
    std::string unit;
    size_t count = 0;
    bool passedOver = true;
    // Of a page unit, where each page counted was: a page read twice (its
    // rows in two calls) is one damaged page, where rows and values count each time.
    std::set<Place> pages;
  };
  void add(Entry entry);
  std::vector<Entry> entries_;
};

// Where a walk over rows ended.
struct WalkEnd {
  PageStart next;          // where the next page of rows starts
  bool atEnd = false;      // no rows after `next`
  size_t rows = 0;         // rows handed on
  std::optional<Failure> stop;  // why the walk ended before the table did, when it did
  DamageReport passedOver;

  bool stoppedEarly() const { return stop.has_value(); }
};

// The rows of one table, a page at a time, whatever its storage engine.
class RowSource {
 public:
  virtual ~RowSource() = default;
  // Where the first page of rows starts.
  virtual PageStart firstPage() const = 0;
  // Up to `maxRows` rows from `start`.
  virtual WalkEnd read(PageStart start, size_t maxRows, const RowSink& sink, const ReadOptions& options) = 0;
  // BLOB/TEXT values of at least this many bytes show a marker in the
  // display form; 0 for none.
  virtual size_t largeValueLimit() const = 0;
  // The value the table's next AUTO_INCREMENT row gets, where its files keep
  // the counter.
  virtual std::optional<uint64_t> nextAutoIncrement() const { return std::nullopt; }
  // The size of each key's index blocks, where the engine picks its own
  // (MyISAM) and SHOW CREATE TABLE shows that; empty elsewhere.
  virtual std::vector<uint16_t> keyBlockSizes() const { return {}; }
};

// The pages of a table one after another from the first, each start held
// against those before it, so that a chain of pages that comes back to one
// ends the walk: the one loop check of every walk over pages.
class PageWalk {
 public:
  explicit PageWalk(RowSource& source) : source_(source), start_(source.firstPage()) {}
  // The next page, its rows handed to `sink`; false when there is none,
  // the table or a loop having ended the walk.
  bool next(size_t maxRows, const RowSink& sink, const ReadOptions& options);
  // Ends the walk early, for `why`.
  void stop(Failure why);
  // The pages read so far: their rows, what they passed over, and why the
  // walk stopped early if it did.
  const WalkEnd& walked() const { return walked_; }
  // The page read last.
  const WalkEnd& last() const { return last_; }
  uint64_t pages() const { return pages_; }

 private:
  RowSource& source_;
  PageStart start_;
  std::set<std::pair<int64_t, int64_t>> starts_;
  WalkEnd walked_;
  WalkEnd last_;
  uint64_t pages_ = 0;
  bool done_ = false;
};

// Every row, page after page; what each page passed over is reported
// together, and a walk that comes back to a page it read stops. `stopped`
// is asked between pages; when it says yes, the walk ends with the reason
// "stopped".
WalkEnd readAllRows(RowSource& source, const RowSink& sink, const ReadOptions& options = {},
                    const std::function<bool()>& stopped = {});

}  // namespace tavrin
