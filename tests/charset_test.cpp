#include <gtest/gtest.h>

#include "tabledef/charset.h"

namespace tavrin {
namespace {

std::string decode(const char* charset, std::string bytes) {
  return TextDecoder(charset).decode(ByteView(bytes));
}

TEST(Charset, DecodesEachSetToUtf8) {
  struct Case {
    const char* charset;
    std::string bytes;
    std::string text;
  } cases[] = {
      {"latin1", "caf\xE9 \x80 \x81", "café € \xC2\x81"},
      {"utf8mb4", "\xF0\x9F\x98\x80 ok", "😀 ok"},
      {"utf8mb3", "bad \xC3", "bad ?"},
      {"ucs2", std::string("\x00\x61\x4E\x2D", 4), "a中"},
      {"ucs2", std::string("\x00\x61\x4E", 3), "a?"},
      {"utf16", std::string("\xD8\x3D\xDE\x00", 4), "😀"},
      {"utf16le", std::string("\x61\x00\x3D\xD8\x00\xDE", 6), "a😀"},
      {"utf32", std::string("\x00\x01\xF6\x00", 4), "😀"},
      {"sjis", "\x93\xFA\x96\x7B", "日本"},
      {"koi8r", "\xF0\xD2\xC9", "При"},
      {"gbk", "\xD6\xD0\xCE\xC4", "中文"},
      {"binary", std::string("a\0\xFF", 3), std::string("a\0\xFF", 3)},
      {"latin1", std::string("a\0b", 3), std::string("a\0b", 3)},  // nothing cut at a zero byte
      {"ascii", "a\xE9", "a?"},
      {"", "caf\xC3\xA9 caf\xE9", "café café"},  // unknown: UTF-8, else latin1
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decode(c.charset, c.bytes), c.text) << c.charset;
  }
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

// Damaged bytes in a multi-byte set, found by fuzzing: the system's converter
// reported a bad sequence with nothing left to read, and the walk stepped
// past the end.
TEST(Charset, DamagedMultiByteTextEndsWithinItsBytes) {
  const std::string bytes = "s\xff\xff\xff\xff\xf4\xa1\xe8\xe8\xe8\xe8\xa2\xe8";
  const std::string text = TextDecoder("euckr").decode(ByteView(bytes));
  EXPECT_EQ(text.rfind("s", 0), 0u);
  EXPECT_NE(text.find("?"), std::string::npos);
}

}  // namespace
}  // namespace tavrin
