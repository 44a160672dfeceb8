#pragma once
// ASCII helpers: case for comparisons and names that ignore case, and
// hexadecimal digits.

#include <cstdint>
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

// The UTF-16 little-endian bytes of a UTF-8 text, appended to `out`; a byte
// that starts no UTF-8 character becomes U+FFFD.
inline void appendUtf16Le(std::string& out, std::string_view utf8) {
  auto unit = [&](uint32_t u) {
    out.push_back(char(u & 0xFF));
    out.push_back(char(u >> 8));
  };
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    uint32_t cp = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
    for (size_t k = 1; k < n; ++k) {
      const auto c = i + k < utf8.size() ? static_cast<unsigned char>(utf8[i + k]) : 0;
      if ((c & 0xC0) != 0x80) n = 0;
      cp = cp << 6 | (c & 0x3F);
    }
    if (n == 0) {
      unit(0xFFFD);
      ++i;
      continue;
    }
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

}  // namespace tavrin
