#include <gtest/gtest.h>

#include "base/bytes.h"

namespace tavrin {
namespace {

TEST(Bytes, IntegersOfEveryWidthAndOrder) {
  const uint8_t b[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  ByteView v(b, sizeof b);
  EXPECT_EQ(le16(v, 0), 0x0201);
  EXPECT_EQ(le24(v, 1), 0x040302u);
  EXPECT_EQ(le32(v, 0), 0x04030201u);
  EXPECT_EQ(le64(v, 0), 0x0807060504030201ull);
  EXPECT_EQ(be16(v, 0), 0x0102);
  EXPECT_EQ(be24(v, 0), 0x010203u);
  EXPECT_EQ(be32(v, 4), 0x05060708u);
  EXPECT_EQ(be40(v, 0), 0x0102030405ull);
  EXPECT_EQ(be48(v, 0), 0x010203040506ull);
  EXPECT_EQ(be56(v, 0), 0x01020304050607ull);
  EXPECT_EQ(be64(v, 0), 0x0102030405060708ull);
}

TEST(Bytes, NothingIsReadOutsideTheView) {
  const uint8_t b[] = {0xFF, 0xFF, 0xFF};
  ByteView v(b, 2);
  EXPECT_FALSE(v.has(1, 2));
  EXPECT_FALSE(v.has(3, 0));
  EXPECT_TRUE(v.has(2, 0));
  EXPECT_FALSE(v.has(1, SIZE_MAX));
  EXPECT_EQ(le24(v, 0), 0u);
  EXPECT_EQ(v[2], 0);
  EXPECT_EQ(v.sub(1, 100).size(), 1u);
  EXPECT_EQ(v.sub(5).size(), 0u);
}

}  // namespace
}  // namespace tavrin
