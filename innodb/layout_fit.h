#pragma once
// Whether a clustered layout that came from a CREATE TABLE text (not from
// the server's own files) fits the records of a table's leaf pages. Each
// record's fields, as the layout reads them, must end where the next
// record's header begins (the records of a page follow one another in its
// heap); a column missing, one too many or of another width shifts every
// end. A definition that does not fit would read garbage, and is refused.

#include <cstddef>
#include <string>

#include "base/bytes.h"
#include "base/result.h"
#include "innodb/layout.h"
#include "innodb/records.h"

namespace tavrin {

// What the leaves checked so far show.
struct LayoutFit {
  size_t joins = 0;       // places where a record's end meets what follows it
  size_t exact = 0;       // ... exactly
  std::optional<Failure> firstMismatch;  // the first that did not
};

// Adds what the index page `page` (page number `number`, of `file`) shows:
// a leaf's records against every field, a node pointer's (compact format)
// against the key fields. A record whose fields run over the next one's
// header fails at once.
Status addPageFit(ByteView page, RecordFormat format, const ClusteredLayout& layout, const std::string& file,
                  uint64_t number, LayoutFit& fit);

// Ok when enough of the joins were exact (a quarter; of a few, half):
// purged and moved records leave gaps in a heap, but many records meet
// their neighbours.
Status judgeFit(const LayoutFit& fit);

}  // namespace tavrin
