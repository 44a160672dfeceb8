#include "innodb/page_compression.h"

#include <string>

#include "base/inflate.h"
#include "innodb/encryption.h"

namespace tavrin {

namespace {

constexpr size_t kTypeOffset = 24;
constexpr size_t kFullCrc32StreamOffset = 26;
constexpr uint16_t kFullCrc32Marker = 0x8000;
constexpr size_t kFullCrc32ChecksumSize = 4;
constexpr size_t kClassicZeroOffset = 26;
constexpr size_t kClassicAlgorithmOffset = 32;
constexpr size_t kClassicLengthOffset = 38;
constexpr size_t kClassicStreamOffset = 40;

const char* algorithmName(uint32_t algorithm) {
  switch (algorithm) {
    case 2: return "lz4";
    case 3: return "lzo";
    case 4: return "lzma";
    case 5: return "bzip2";
    case 6: return "snappy";
  }
  return nullptr;
}

Status zlibOnly(uint32_t algorithm) {
  if (algorithm == kPageCompressionZlib) return Ok{};
  if (const char* name = algorithmName(algorithm)) {
    return unsupported(std::string("the page is compressed with ") + name + ", which this tool does not read (only zlib)");
  }
  return damaged("the page names an unknown compression algorithm (" + std::to_string(algorithm) + ")");
}

// The bytes a full_crc32 compressed page was written with, its checksum last.
Result<size_t> fullCrc32WrittenSize(ByteView raw, uint32_t pageSize) {
  const size_t size = size_t(be16(raw, kTypeOffset) & ~kFullCrc32Marker) << 8;
  if (size <= kFullCrc32StreamOffset + kFullCrc32ChecksumSize || size >= pageSize || !raw.has(0, size)) {
    return damaged("the compressed page's length (" + std::to_string(size) + " bytes) is impossible");
  }
  return size;
}

Result<ByteView> fullCrc32Stream(ByteView raw, uint32_t pageSize, uint32_t algorithm) {
  if (Status known = zlibOnly(algorithm); !known) return known.failure();
  auto size = fullCrc32WrittenSize(raw, pageSize);
  if (!size) return size.failure();
  return raw.sub(kFullCrc32StreamOffset, *size - kFullCrc32StreamOffset - kFullCrc32ChecksumSize);
}

Result<ByteView> classicStream(ByteView raw, uint32_t pageSize) {
  if (be16(raw, kTypeOffset) == kPageCompressedEncryptedType) {
    return unsupported(kEncryptedPageReason);
  }
  if (be32(raw, 0) != kNoChecksumMagic || be48(raw, kClassicZeroOffset) != 0) {
    return damaged("the header of the compressed page is damaged");
  }
  if (Status known = zlibOnly(be16(raw, kClassicAlgorithmOffset)); !known) return known.failure();
  const size_t length = be16(raw, kClassicLengthOffset);
  if (length == 0 || length > pageSize - kClassicStreamOffset || !raw.has(kClassicStreamOffset, length)) {
    return damaged("the compressed page's length (" + std::to_string(length) + " bytes) is impossible");
  }
  return raw.sub(kClassicStreamOffset, length);
}

}  // namespace

bool isPageCompressed(ByteView raw, PageCompression space) {
  const uint16_t type = be16(raw, kTypeOffset);
  if (space.fullCrc32) return space.algorithm != 0 && (type & kFullCrc32Marker);
  return type == kPageCompressedType || type == kPageCompressedEncryptedType;
}

Status inflateCompressedPage(ByteView raw, uint32_t pageSize, PageCompression space, std::vector<uint8_t>& page) {
  auto stream = space.fullCrc32 ? fullCrc32Stream(raw, pageSize, space.algorithm) : classicStream(raw, pageSize);
  if (!stream) return stream.failure();
  page.resize(pageSize);
  return inflateExactly(*stream, page.data(), pageSize, "the compressed page");
}

PageChecksum checkFullCrc32CompressedPage(ByteView raw, uint32_t pageSize) {
  auto size = fullCrc32WrittenSize(raw, pageSize);
  if (!size) return PageChecksum::Mismatch;
  const size_t checked = *size - kFullCrc32ChecksumSize;
  return crc32c(raw.sub(0, checked)) == be32(raw, checked) ? PageChecksum::Sound : PageChecksum::Mismatch;
}

}  // namespace tavrin
