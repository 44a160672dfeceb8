#include "innodb/space_geometry.h"

#include <map>
#include <vector>

#include "innodb/page_checksum.h"
#include "innodb/page_compression.h"

namespace tavrin {

namespace {

PageCompression pageCompressionOf(const SpaceFlags& flags) { return {flags.fullCrc32, flags.pageCompression}; }

// The checksum of a page as the file holds it, in a tablespace of `flags`.
PageChecksum checksumUnder(ByteView raw, const SpaceFlags& flags) {
  if (flags.compressed) return checkCompressedPageChecksum(raw);
  if (flags.fullCrc32 && isPageCompressed(raw, pageCompressionOf(flags))) {
    return checkFullCrc32CompressedPage(raw, flags.pageSize);
  }
  return checkPageChecksum(raw, flags.fullCrc32);
}

// Every page size and format a server writes. Which algorithm of page
// compression the flags named is lost with page 0: zlib is the one this tool
// inflates, and a page of another fails to inflate with that reason.
std::vector<SpaceFlags> possibleFlags() {
  std::vector<SpaceFlags> all;
  for (const bool fullCrc32 : {true, false}) {
    for (const uint32_t size : {16384u, 4096u, 8192u, 32768u, 65536u}) {
      all.push_back({size, size, false, fullCrc32, fullCrc32 ? kPageCompressionZlib : 0});
    }
  }
  // Compressed tables (KEY_BLOCK_SIZE) of the default 16 KiB logical pages:
  // another logical size was named only by the flags.
  for (const uint32_t physical : {8192u, 4096u, 2048u, 1024u, 16384u}) all.push_back({16384, physical, true, false, 0});
  return all;
}

// How many of the pages after page 0 carry their own number and pass their
// checksum under `flags`, and the space ids they carry.
struct Fit {
  size_t pages = 0;
  std::map<uint32_t, size_t> spaceIds;
};

Fit fitOf(ByteView start, const SpaceFlags& flags) {
  Fit fit;
  for (uint32_t n = 1; n <= kProbedPages; ++n) {
    const size_t at = size_t(n) * flags.physicalSize;
    if (!start.has(at, flags.physicalSize)) break;
    const ByteView raw = start.sub(at, flags.physicalSize);
    const FilHeader file = decodeFilHeader(raw);
    if (file.pageNumber != n || checksumUnder(raw, flags) != PageChecksum::Sound) continue;
    ++fit.pages;
    // A page compressed whole in full_crc32 keeps its space id inside the stream.
    if (!(flags.fullCrc32 && isPageCompressed(raw, pageCompressionOf(flags)))) ++fit.spaceIds[file.spaceId];
  }
  return fit;
}

std::optional<uint32_t> mostCommon(const std::map<uint32_t, size_t>& counts) {
  std::optional<uint32_t> best;
  size_t most = 0;
  for (const auto& [id, count] : counts) {
    if (count > most) {
      best = id;
      most = count;
    }
  }
  return best;
}

std::string formatName(const SpaceFlags& flags) {
  if (flags.compressed) return "compressed to " + std::to_string(flags.physicalSize) + " bytes";
  return flags.fullCrc32 ? "full_crc32 checksums" : "classic checksums";
}

}  // namespace

SpaceGeometry firstPageGeometry(ByteView firstPage) {
  SpaceGeometry g;
  const FspHeader space = decodeFspHeader(firstPage);
  g.flags = decodeSpaceFlags(space.flags);
  const PageChecksum check = checksumUnder(firstPage, g.flags);
  const FilHeader file = decodeFilHeader(firstPage);
  // The oldest checksum passes a page whose first bytes are zero, as a page cut short by zeros is.
  if (check != PageChecksum::Sound) {
    g.damage = damaged(checksumProblem(check));
  } else if (file.pageNumber != 0) {
    g.damage = damaged("it says it is page " + std::to_string(file.pageNumber));
  } else if (file.pageType != kSpaceHeaderPageType) {
    g.damage = damaged("it is no space header (its type is " + std::to_string(file.pageType) + ")");
  } else {
    g.spaceId = space.spaceId;
    g.size = space.size;
  }
  return g;
}

SpaceGeometry guessGeometry(ByteView start, const SpaceGeometry& fallback) {
  SpaceGeometry best = fallback;
  best.spaceId.reset();
  best.size.reset();
  size_t bestPages = 0;
  for (const SpaceFlags& flags : possibleFlags()) {
    Fit fit = fitOf(start, flags);
    if (fit.pages <= bestPages) continue;
    bestPages = fit.pages;
    best.flags = flags;
    best.spaceId = mostCommon(fit.spaceIds);
  }
  const std::string pages = std::to_string(best.flags.pageSize) + "-byte pages, " + formatName(best.flags);
  if (bestPages == 0) {
    best.damage->reason += "; no page after it passes its checksum under any page size, so it is read as " + pages;
  } else {
    best.damage->reason += "; the pages after it give " + pages +
                   (best.spaceId ? ", space " + std::to_string(*best.spaceId) : std::string());
  }
  return best;
}

}  // namespace tavrin
