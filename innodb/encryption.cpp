#include "innodb/encryption.h"

#include <cstring>

namespace tavrin {

namespace {

constexpr uint8_t kCryptMagic[] = {'s', 0x0E, 0x0C, 'R', 'E', 't'};
constexpr size_t kSchemeOffset = 6;
constexpr size_t kIvLengthOffset = 7;
constexpr size_t kIvOffset = 8;
constexpr uint8_t kSchemeEncrypted = 1;
constexpr size_t kFullCrc32KeyVersionOffset = 0;
constexpr size_t kClassicKeyVersionOffset = 26;
constexpr uint16_t kMysqlEncrypted = 15, kMysqlCompressedAndEncrypted = 16, kMysqlEncryptedRtree = 17;

}  // namespace

SpaceEncryption decodeSpaceEncryption(ByteView firstPage, size_t offset) {
  SpaceEncryption e;
  if (!firstPage.has(offset, kIvOffset) || std::memcmp(firstPage.data() + offset, kCryptMagic, sizeof kCryptMagic) != 0) {
    return e;
  }
  e.encrypted = u8(firstPage, offset + kSchemeOffset) == kSchemeEncrypted;
  const size_t key = offset + kIvOffset + u8(firstPage, offset + kIvLengthOffset) + 4;
  e.keyId = be32(firstPage, key);
  return e;
}

bool isEncryptedPage(ByteView raw, const SpaceEncryption& space, bool fullCrc32) {
  if (isMysqlEncryptedPageType(be16(raw, 24))) return true;
  if (!space.encrypted) return false;
  return be32(raw, fullCrc32 ? kFullCrc32KeyVersionOffset : kClassicKeyVersionOffset) != 0;
}

bool isMysqlEncryptedPageType(uint16_t type) {
  return type == kMysqlEncrypted || type == kMysqlCompressedAndEncrypted || type == kMysqlEncryptedRtree;
}

}  // namespace tavrin
