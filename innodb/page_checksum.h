#pragma once
// The checksums InnoDB keeps on every page. A tablespace in MariaDB's
// full_crc32 format has one algorithm, named by its flags; the others may
// hold pages written by any of the classic algorithms (crc32, innodb, none),
// since the server's setting could change between writes, so a page passes
// when any of them matches, as the server itself accepts it.

#include <cstdint>

#include "base/bytes.h"

namespace tavrin {

// Written in the checksum field instead of a checksum (innodb_checksum_algorithm=none,
// and on pages compressed whole in the classic format).
inline constexpr uint32_t kNoChecksumMagic = 0xDEADBEEF;

enum class PageChecksum {
  Sound,
  Empty,      // every byte zero: a page never written
  Mismatch,   // the stored checksum is not the page's
  TornWrite,  // the LSN at the start and its copy at the end differ
};

PageChecksum checkPageChecksum(ByteView page, bool fullCrc32);
// A page of a compressed tablespace, of its physical size: crc32, innodb
// (adler32 there) or none, over the page but its header's later-written fields.
PageChecksum checkCompressedPageChecksum(ByteView page);

// What a failed check means, for reports.
const char* checksumProblem(PageChecksum check);

// CRC-32C (Castagnoli) of `bytes`, continuing from `crc`.
uint32_t crc32c(ByteView bytes, uint32_t crc = 0);

}  // namespace tavrin
