#include "innodb/page_checksum.h"

#include <zlib.h>

#include <array>
#include <cstring>

namespace tavrin {

namespace {

constexpr size_t kPageOffset = 4;        // the checksums skip the checksum field
constexpr size_t kFlushLsnOffset = 26;   // ... and the flush LSN and space id
constexpr size_t kDataOffset = 38;
constexpr size_t kTrailerSize = 8;

constexpr std::array<uint32_t, 256> crc32cTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrc32cTable = crc32cTable();

uint32_t crc32cPortable(const uint8_t* p, size_t n, uint32_t crc) {
  for (size_t i = 0; i < n; ++i) crc = kCrc32cTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) uint32_t crc32cHardware(const uint8_t* p, size_t n, uint32_t crc) {
  uint64_t c = crc;
  for (; n >= 8; n -= 8, p += 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    c = __builtin_ia32_crc32di(c, word);
  }
  uint32_t c32 = uint32_t(c);
  for (; n > 0; --n, ++p) c32 = __builtin_ia32_crc32qi(c32, *p);
  return c32;
}
const bool kHardwareCrc = __builtin_cpu_supports("sse4.2");
#endif

// The fold InnoDB's classic checksum is built of, on the server's 64-bit words.
uint64_t foldPair(uint64_t n1, uint64_t n2) {
  constexpr uint64_t kMask = 1463735687;
  constexpr uint64_t kMask2 = 1653893711;
  return ((((n1 ^ n2 ^ kMask2) << 8) + n1) ^ kMask) + n2;
}

uint64_t foldBytes(ByteView bytes) {
  uint64_t fold = 0;
  for (size_t i = 0; i < bytes.size(); ++i) fold = foldPair(fold, bytes.data()[i]);
  return fold;
}

uint32_t classicChecksum(ByteView page) {
  return uint32_t(foldBytes(page.sub(kPageOffset, kFlushLsnOffset - kPageOffset)) +
                  foldBytes(page.sub(kDataOffset, page.size() - kDataOffset - kTrailerSize)));
}

uint32_t classicOldChecksum(ByteView page) { return uint32_t(foldBytes(page.sub(0, kFlushLsnOffset))); }

uint32_t pageCrc32(ByteView page) {
  return crc32c(page.sub(kPageOffset, kFlushLsnOffset - kPageOffset)) ^
         crc32c(page.sub(kDataOffset, page.size() - kDataOffset - kTrailerSize));
}

PageChecksum checkClassic(ByteView page) {
  const size_t size = page.size();
  if (be32(page, 20) != be32(page, size - 4)) return PageChecksum::TornWrite;
  const uint32_t front = be32(page, 0);
  const uint32_t back = be32(page, size - kTrailerSize);
  if (front == kNoChecksumMagic && back == kNoChecksumMagic) return PageChecksum::Sound;
  if (front == back && front == pageCrc32(page)) return PageChecksum::Sound;
  // The innodb algorithm; the oldest files keep the LSN where the old checksum goes.
  const bool backMatches = back == classicOldChecksum(page) || back == be32(page, 16);
  const bool frontMatches = front == 0 || front == classicChecksum(page);
  return backMatches && frontMatches ? PageChecksum::Sound : PageChecksum::Mismatch;
}

PageChecksum checkFullCrc32(ByteView page) {
  const size_t size = page.size();
  if (be32(page, 20) != be32(page, size - kTrailerSize)) return PageChecksum::TornWrite;
  return crc32c(page.sub(0, size - 4)) == be32(page, size - 4) ? PageChecksum::Sound : PageChecksum::Mismatch;
}

// A compressed page's checksum leaves out the checksum, the LSN and the flush
// LSN, which are written after it, but not the space id; it has no trailer.
constexpr size_t kSpaceIdOffset = 34;
uint32_t compressedCrc32(ByteView page) {
  return crc32c(page.sub(kPageOffset, 12)) ^ crc32c(page.sub(24, 2)) ^ crc32c(page.sub(kSpaceIdOffset));
}

uint32_t compressedAdler(ByteView page) {
  uLong adler = adler32(0L, page.data() + kPageOffset, 12);
  adler = adler32(adler, page.data() + 24, 2);
  return uint32_t(adler32(adler, page.data() + kSpaceIdOffset, uInt(page.size() - kSpaceIdOffset)));
}

}  // namespace

uint32_t crc32c(ByteView bytes, uint32_t crc) {
  crc = ~crc;
#if defined(__x86_64__)
  if (kHardwareCrc) return ~crc32cHardware(bytes.data(), bytes.size(), crc);
#endif
  return ~crc32cPortable(bytes.data(), bytes.size(), crc);
}

PageChecksum checkPageChecksum(ByteView page, bool fullCrc32) {
  if (page.size() < kDataOffset + kTrailerSize) return PageChecksum::Mismatch;
  if (isAllZero(page)) return PageChecksum::Empty;
  return fullCrc32 ? checkFullCrc32(page) : checkClassic(page);
}

PageChecksum checkCompressedPageChecksum(ByteView page) {
  if (page.size() < kDataOffset + kTrailerSize) return PageChecksum::Mismatch;
  if (isAllZero(page)) return PageChecksum::Empty;
  const uint32_t stored = be32(page, 0);
  const bool sound = stored == kNoChecksumMagic || stored == compressedCrc32(page) || stored == compressedAdler(page);
  return sound ? PageChecksum::Sound : PageChecksum::Mismatch;
}

const char* checksumProblem(PageChecksum check) {
  switch (check) {
    case PageChecksum::Sound: return "sound";
    case PageChecksum::Empty: return "every byte of the page is zero";
    case PageChecksum::Mismatch: return "the page fails its checksum";
    case PageChecksum::TornWrite: return "the page was written only in part (its two LSN copies differ)";
  }
  return "";
}

}  // namespace tavrin
