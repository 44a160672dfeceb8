#pragma once
// Text of the server's character sets, as UTF-8. One decoder per character
// set: the single place where stored bytes become text.

#include <memory>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "base/text.h"

namespace tavrin::charset_tables {
struct SingleByteSet;
struct MultiByteSet;
}  // namespace tavrin::charset_tables

namespace tavrin {

class TextDecoder {
 public:
  // A decoder for the server's character set name (latin1, utf8mb4, ucs2,
  // sjis, ...), mapping as the server maps. An unknown or empty name decodes
  // UTF-8 where the bytes are valid UTF-8 and latin1 elsewhere.
  explicit TextDecoder(std::string_view charsetName);
  ~TextDecoder();
  TextDecoder(TextDecoder&&) noexcept;
  TextDecoder& operator=(TextDecoder&&) noexcept;

  // The bytes as UTF-8. Bytes that are not a character of the set become
  // '?', as the server shows them; nothing is cut at a zero byte.
  std::string decode(ByteView bytes) const;
  void decodeAppend(ByteView bytes, std::string& out) const;

  const std::string& charsetName() const { return name_; }

 private:
  enum class Kind { Utf8, Ucs2, Utf16, Utf16Le, Utf32, Binary, SingleByte, MultiByte, Fallback };
  struct SystemConverter;
  const uint32_t* overrideOf(uint32_t code) const;
  void convertRun(ByteView bytes, std::string& out) const;

  std::string name_;
  Kind kind_ = Kind::Fallback;
  const charset_tables::SingleByteSet* singleByte_ = nullptr;
  const charset_tables::MultiByteSet* multiByte_ = nullptr;
  std::unique_ptr<SystemConverter> system_;
};

// The UTF-8 sets of the server (utf8mb4, utf8mb3 and its old name utf8).
bool isUtf8Charset(std::string_view charsetName);
// The sets whose characters all take two or four bytes (UCS-2, UTF-16,
// UTF-32): in every other set an ASCII byte is that character, and never
// part of another.
bool isWideCharset(std::string_view charsetName);

// Names and comments in definition files are UTF-8; files of servers older
// than 4.1 may hold latin1 bytes, which are taken as such.
std::string decodeIdentifier(ByteView bytes);

// The text as the server's own character set (utf8mb3) holds it, which is
// how SHOW CREATE TABLE gives names, defaults and comments: a character
// beyond it reads '?'.
std::string asUtf8mb3(std::string_view utf8);

}  // namespace tavrin
