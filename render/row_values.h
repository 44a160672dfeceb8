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
#include <string>
#include <vector>

#include "base/bytes.h"

namespace tavrin {

struct FieldValue {
  bool isNull = true;
  ByteView bytes;
  // Kept outside the row by the storage engine and not read (a marker is shown).
  bool external = false;
};

using RowValues = std::vector<FieldValue>;

// Rows are handed on one at a time; the views stay valid during the call.
using RowSink = std::function<void(const RowValues&)>;

// Where a page of rows starts: a byte position in a MyISAM data file (page
// 0), or an InnoDB leaf page and the offset of a record in it (0: its first).
struct PageStart {
  int64_t page = 0;
  int64_t position = 0;
  bool operator==(const PageStart&) const = default;
};

// What a walk hands on.
struct ReadOptions {
  bool fullValues = false;   // read values kept apart from their rows (InnoDB BLOB pages)
  bool deletedOnly = false;  // the rows deleted but still on their pages, instead of the live ones
};

// Where a walk over rows ended.
struct WalkEnd {
  PageStart next;          // where the next page of rows starts
  bool atEnd = false;      // no rows after `next`
  size_t rows = 0;         // rows handed on
  std::string damage;      // why the walk stopped early, or a damaged row it passed over
  bool stoppedEarly = false;
};

}  // namespace tavrin
