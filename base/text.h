#pragma once
// ASCII helpers: case for comparisons and names that ignore case,
// hexadecimal digits and base64.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

inline std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return out;
}

inline std::string asciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  }
  return out;
}

// The length of the valid UTF-8 sequence at the start of `text`, or 0 when
// it starts none (a stray byte, an overlong form, a surrogate, cut short).
inline size_t utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto b = static_cast<unsigned char>(text[0]);
  if (b < 0x80) return 1;
  size_t n;
  uint32_t min;
  if ((b & 0xE0) == 0xC0) { n = 2; min = 0x80; }
  else if ((b & 0xF0) == 0xE0) { n = 3; min = 0x800; }
  else if ((b & 0xF8) == 0xF0) { n = 4; min = 0x10000; }
  else return 0;
  if (text.size() < n) return 0;
  uint32_t cp = b & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

// The code point of a valid sequence of `length` bytes at the start of `text`.
inline uint32_t utf8CodePoint(std::string_view text, size_t length) {
  const auto b = static_cast<unsigned char>(text[0]);
  uint32_t cp = length == 1 ? b : b & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
  return cp;
}

inline bool isValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = utf8SequenceLength(text.substr(i));
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// The UTF-8 bytes of a code point, appended to `out`; one that is no
// character (a surrogate, past U+10FFFF) becomes '?', as the server shows it.
inline void appendUtf8(std::string& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = uint32_t('?');
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

// `text` as UTF-8 that can be shown: a byte that starts no UTF-8 character
// becomes U+FFFD.
inline std::string shownUtf8(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const size_t n = utf8SequenceLength(text.substr(i));
    if (n == 0) {
      appendUtf8(out, 0xFFFD);
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

// `text` on one line that shows what it holds: control characters as \n,
// \r, \t and \xHH, and bytes that start no UTF-8 character as \xHH, so
// that a name from a file cannot make a report line of its own.
inline std::string printable(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t n = utf8SequenceLength(text.substr(i));
    if (n > 0 && b >= 0x20 && b != 0x7F) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    if (b == '\n') out += "\\n";
    else if (b == '\r') out += "\\r";
    else if (b == '\t') out += "\\t";
    else out += std::string("\\x") + kDigits[b >> 4] + kDigits[b & 15];
    ++i;
  }
  return out;
}

// The UTF-16 little-endian bytes of a UTF-8 text, appended to `out`; a byte
// that starts no UTF-8 character becomes U+FFFD.
inline void appendUtf16Le(std::string& out, std::string_view utf8) {
  auto unit = [&](uint32_t u) {
    out.push_back(char(u & 0xFF));
    out.push_back(char(u >> 8));
  };
  for (size_t i = 0; i < utf8.size();) {
    const size_t n = utf8SequenceLength(utf8.substr(i));
    if (n == 0) {
      unit(0xFFFD);
      ++i;
      continue;
    }
    uint32_t cp = utf8CodePoint(utf8.substr(i), n);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 | (cp >> 10));
      unit(0xDC00 | (cp & 0x3FF));
    } else {
      unit(cp);
    }
    i += n;
  }
}

// The value of a hexadecimal digit in either case, or -1.
inline int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of base64 text (RFC 4648, line breaks allowed), or nothing when
// the text is not base64.
inline std::optional<std::string> base64Decoded(std::string_view text) {
  std::string out;
  uint32_t bits = 0;
  int held = 0;
  size_t padding = 0;
  for (const char c : text) {
    int value;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    else if (c >= '0' && c <= '9') value = c - '0' + 52;
    else if (c == '+') value = 62;
    else if (c == '/') value = 63;
    else if (c == '\n' || c == '\r') continue;
    else if (c == '=') { ++padding; continue; }
    else return std::nullopt;
    if (padding) return std::nullopt;  // a character after the padding
    bits = bits << 6 | uint32_t(value);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out.push_back(char((bits >> held) & 0xFF));
    }
  }
  if (padding > 2) return std::nullopt;
  return out;
}

}  // namespace tavrin
