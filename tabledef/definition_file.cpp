#include "tabledef/definition_file.h"

#include "base/text.h"
#include "tabledef/charset.h"

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
    if (++i == escaped.size()) return fail("a value ends in a lone backslash");
    switch (escaped[i]) {
      case '\\': out.push_back('\\'); break;
      case 'n': out.push_back('\n'); break;
      case '0': out.push_back('\0'); break;
      case 'z': out.push_back('\x1A'); break;
      case '\'': out.push_back('\''); break;
      default:
        return fail(std::string("a value holds the unknown escape \\") + escaped[i]);
    }
  }
  return out;
}

Result<std::vector<std::string>> splitDefinitionList(std::string_view value) {
  std::vector<std::string> items;
  size_t p = 0;
  while (p < value.size()) {
    if (value[p] != '\'') return fail("a list item does not start with a quote");
    size_t end = p + 1;
    bool escaped = false;
    while (end < value.size() && (value[end] != '\'' || escaped)) {
      escaped = value[end] == '\\' && !escaped;
      ++end;
    }
    if (end >= value.size()) return fail("a list item has no closing quote");
    auto item = unescapeDefinitionValue(value.substr(p + 1, end - p - 1));
    if (!item) return fail(item.reason());
    items.push_back(std::move(*item));
    p = end + 1;
    if (p < value.size()) {
      if (value[p] != ' ') return fail("list items are not separated by a space");
      ++p;
    }
  }
  return items;
}

std::string objectNameFromFileName(std::string_view stem) {
  std::string name;
  for (size_t i = 0; i < stem.size(); ++i) {
    if (stem[i] == '@' && i + 4 < stem.size()) {
      uint32_t codePoint = 0;
      bool isHex = true;
      for (size_t k = 1; k <= 4 && isHex; ++k) {
        int digit = hexDigitValue(stem[i + k]);
        isHex = digit >= 0;
        codePoint = codePoint << 4 | uint32_t(digit);
      }
      if (isHex) {
        appendUtf8(name, codePoint);
        i += 4;
        continue;
      }
    }
    name.push_back(stem[i]);
  }
  return name;
}

std::string quoteIdentifier(std::string_view name) {
  std::string quoted = "`";
  for (char c : name) {
    if (c == '`') quoted.push_back('`');
    quoted.push_back(c);
  }
  quoted.push_back('`');
  return quoted;
}

}  // namespace tavrin
