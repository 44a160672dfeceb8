#include "tabledef/definition_file.h"

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "tabledef/charset.h"
#include "tabledef/filename_table.h"

namespace tavrin {

std::optional<std::string_view> definitionValue(std::string_view text, std::string_view key) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=') {
      return line.substr(key.size() + 1);
    }
    start = end + 1;
  }
  return std::nullopt;
}

Result<std::string> unescapeDefinitionValue(std::string_view escaped) {
  std::string out;
  out.reserve(escaped.size());
  for (size_t i = 0; i < escaped.size(); ++i) {
    char c = escaped[i];
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (++i == escaped.size()) return damaged("a value ends in a lone backslash");
    switch (escaped[i]) {
      case '\\': out.push_back('\\'); break;
      case 'n': out.push_back('\n'); break;
      case '0': out.push_back('\0'); break;
      case 'z': out.push_back('\x1A'); break;
      case '\'': out.push_back('\''); break;
      default:
        return damaged(std::string("a value holds the unknown escape \\") + escaped[i]);
    }
  }
  return out;
}

Result<std::vector<std::string>> splitDefinitionList(std::string_view value) {
  std::vector<std::string> items;
  size_t p = 0;
  while (p < value.size()) {
    if (value[p] != '\'') return damaged("a list item does not start with a quote");
    size_t end = p + 1;
    bool escaped = false;
    while (end < value.size() && (value[end] != '\'' || escaped)) {
      escaped = value[end] == '\\' && !escaped;
      ++end;
    }
    if (end >= value.size()) return damaged("a list item has no closing quote");
    auto item = unescapeDefinitionValue(value.substr(p + 1, end - p - 1));
    if (!item) return item.failure();
    items.push_back(std::move(*item));
    p = end + 1;
    if (p < value.size()) {
      if (value[p] != ' ') return damaged("list items are not separated by a space");
      ++p;
    }
  }
  return items;
}

namespace {

// The character of a two-character form ("@0G"), or 0.
uint32_t twoCharacterForm(char first, char second) {
  using filename_table::kTwoCharacterForms;
  const auto* end = kTwoCharacterForms + filename_table::kTwoCharacterFormCount;
  const auto* found = std::lower_bound(kTwoCharacterForms, end, std::pair(first, second),
                                       [](const filename_table::TwoCharacterForm& f, std::pair<char, char> key) {
                                         return std::pair(f.first, f.second) < key;
                                       });
  return found != end && found->first == first && found->second == second ? found->codePoint : 0;
}

// The character of four hexadecimal digits, or -1.
int64_t fourHexDigits(std::string_view digits) {
  int64_t codePoint = 0;
  for (char c : digits) {
    const int digit = hexDigitValue(c);
    if (digit < 0) return -1;
    codePoint = codePoint << 4 | digit;
  }
  return codePoint;
}

}  // namespace

std::string objectNameFromFileName(std::string_view stem) {
  std::string name;
  for (size_t i = 0; i < stem.size(); ++i) {
    if (stem[i] != '@') {
      name.push_back(stem[i]);
      continue;
    }
    // As the server reads them: a two-character form first, then "@@" for a
    // zero character, then four hexadecimal digits; anything else is kept.
    const std::string_view rest = stem.substr(i + 1);
    if (rest.size() >= 2) {
      if (const uint32_t c = twoCharacterForm(rest[0], rest[1])) {
        appendUtf8(name, c);
        i += 2;
        continue;
      }
      if (rest[0] == '@' && rest[1] == '@') {
        name.push_back('\0');
        i += 2;
        continue;
      }
    }
    if (const int64_t c = rest.size() >= 4 ? fourHexDigits(rest.substr(0, 4)) : -1; c >= 0) {
      appendUtf8(name, uint32_t(c));
      i += 4;
      continue;
    }
    name.push_back('@');
  }
  return name;
}

}  // namespace tavrin
