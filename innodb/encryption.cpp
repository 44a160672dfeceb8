#include "innodb/encryption.h"

#include <cstring>

namespace tavrin {

namespace {

constexpr uint8_t kCryptMagic[] = {'s', 0x0E, 0x0C, 'R', 'E', 't'};
constexpr size_t kSchemeOffset = 6;
constexpr uint8_t kSchemeEncrypted = 1;
constexpr size_t kFullCrc32KeyVersionOffset = 0;
constexpr size_t kClassicKeyVersionOffset = 26;
constexpr uint16_t kMysqlEncrypted = 15, kMysqlCompressedAndEncrypted = 16, kMysqlEncryptedRtree = 17;

}  // namespace

bool namesEncryption(ByteView firstPage, size_t offset) {
  if (!firstPage.has(offset, kSchemeOffset + 1)) return false;
  return std::memcmp(firstPage.data() + offset, kCryptMagic, sizeof kCryptMagic) == 0 &&
         u8(firstPage, offset + kSchemeOffset) == kSchemeEncrypted;
}

bool isEncryptedPage(ByteView raw, bool spaceEncrypted, bool fullCrc32) {
  if (isMysqlEncryptedPageType(be16(raw, 24))) return true;
  if (!spaceEncrypted) return false;
  return be32(raw, fullCrc32 ? kFullCrc32KeyVersionOffset : kClassicKeyVersionOffset) != 0;
}

bool isMysqlEncryptedPageType(uint16_t type) {
  return type == kMysqlEncrypted || type == kMysqlCompressedAndEncrypted || type == kMysqlEncryptedRtree;
}

}  // namespace tavrin
