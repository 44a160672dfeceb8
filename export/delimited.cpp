#include "export/delimited.h"

#include <cstdint>
#include <cstring>

namespace tavrin {

namespace {

// True when one of the 8 bytes of `word` needs escaping in TSV: a zero
// byte, a tab, a line feed or a backslash.
inline bool hasTsvSpecial(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
  auto hasZero = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  return hasZero(word) | hasZero(word ^ (kOnes * '\t')) | hasZero(word ^ (kOnes * '\n')) |
         hasZero(word ^ (kOnes * '\\'));
}

}  // namespace

void appendTsvField(std::string& out, std::string_view text) {
  // Runs without a character to escape are copied whole.
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i + 8 <= text.size()) {
      uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      if (!hasTsvSpecial(word)) {
        i += 7;
        continue;
      }
    }
    const char c = text[i];
    const char* escaped = c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\0' ? "\\0" : nullptr;
    if (!escaped) continue;
    out.append(text.data() + run, i - run);
    out.append(escaped, 2);
    run = i + 1;
  }
  out.append(text.data() + run, text.size() - run);
}

void appendCsvField(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out.push_back('"');
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace tavrin
