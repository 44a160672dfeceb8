#pragma once
// What the first page of a tablespace tells about all the others: the size
// and checksum format of its pages, its space id and where the space ends.
// Page 0 is checked before it is believed. Where it is damaged, the page
// size and format are those under which the pages after it carry their own
// numbers (FIL_PAGE_OFFSET) and pass their checksums, and the space id is
// the one most of those carry: a zeroed page 0 must not make every other
// page look torn, nor hide that it is damaged.

#include <cstdint>
#include <optional>
#include <string>

#include "base/bytes.h"
#include "innodb/page.h"

namespace tavrin {

struct SpaceGeometry {
  SpaceFlags flags;
  std::optional<uint32_t> spaceId;  // unknown where no page tells
  std::optional<uint32_t> size;     // FSP_SIZE, from a sound page 0 only
  std::optional<Failure> damage;    // why page 0 was not believed
};

// Pages after page 0 that a guess reads, and the bytes of the file's start
// that hold them under the largest page size.
inline constexpr uint32_t kProbedPages = 16;
inline constexpr size_t kProbeBytes = size_t(kProbedPages + 1) * 65536;

// The geometry page 0 gives, or why it is not believed: it fails its
// checksum, is all zero, or says it is another page. `firstPage` is page 0
// at the physical size its own flags give.
SpaceGeometry firstPageGeometry(ByteView firstPage);

// The geometry the pages after page 0 give, from the file's first bytes (up
// to kProbeBytes); the flags of `fallback` where no page size fits. Its
// damage is `fallback`'s, with how the pages were read instead.
SpaceGeometry guessGeometry(ByteView start, const SpaceGeometry& fallback);

}  // namespace tavrin
