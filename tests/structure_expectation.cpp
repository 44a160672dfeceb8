#include "structure_expectation.h"

#include <cctype>
#include <cstdlib>

namespace tavrin::test {

namespace {

std::string upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

struct ParsedType {
  std::string base;   // lower case, such as "decimal"
  std::string args;   // inside the parentheses, as written
  bool isUnsigned = false;
};

ParsedType parse(const std::string& columnType) {
  ParsedType t;
  size_t open = columnType.find('(');
  size_t space = columnType.find(' ');
  size_t baseEnd = std::min(open, space);
  t.base = columnType.substr(0, baseEnd);
  for (char& c : t.base) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (open != std::string::npos && open == baseEnd) {
    size_t close = columnType.rfind(')');
    t.args = columnType.substr(open + 1, close - open - 1);
  }
  t.isUnsigned = columnType.find(" unsigned") != std::string::npos;
  return t;
}

bool isOneOf(const std::string& s, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (s == n) return true;
  }
  return false;
}

}  // namespace

std::string expectedTypeText(const std::string& columnType) {
  const ParsedType t = parse(columnType);
  if (isOneOf(t.base, {"tinyint", "smallint", "mediumint", "int", "bigint", "date", "time", "datetime",
                       "timestamp", "year"})) {
    return upper(t.base);
  }
  if (isOneOf(t.base, {"float", "double"})) {
    size_t comma = t.args.find(',');
    if (comma == std::string::npos || std::atoi(t.args.c_str() + comma + 1) == 0) return upper(t.base);
    return upper(t.base) + "(" + t.args + ")";
  }
  if (isOneOf(t.base, {"enum", "set"})) {
    return upper(t.base) + columnType.substr(t.base.size());
  }
  if (isOneOf(t.base, {"decimal", "bit", "char", "varchar", "binary", "varbinary"})) {
    return upper(t.base) + "(" + t.args + ")";
  }
  return upper(t.base);
}

long long expectedSize(const std::string& columnType, const std::string& octetLength) {
  const ParsedType t = parse(columnType);
  const long long n = t.args.empty() ? 0 : std::atoll(t.args.c_str());
  if (isOneOf(t.base, {"tinyint", "smallint", "mediumint", "int", "bigint", "bit"})) return n;
  if (t.base == "decimal") {
    size_t comma = t.args.find(',');
    long long scale = comma == std::string::npos ? 0 : std::atoll(t.args.c_str() + comma + 1);
    return n + (scale > 0 ? 1 : 0) + (t.isUnsigned ? 0 : 1);
  }
  if (isOneOf(t.base, {"float", "double"})) return t.args.empty() ? (t.base == "float" ? 12 : 22) : n;
  if (t.base == "year") return 4;
  if (t.base == "date") return 10;
  if (isOneOf(t.base, {"time", "datetime", "timestamp"})) {
    long long length = t.base == "time" ? 10 : 19;
    return n > 0 ? length + 1 + n : length;
  }
  if (octetLength.empty() || octetLength == "NULL") return -1;
  return std::atoll(octetLength.c_str());
}

std::string asUtf8mb3(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
      out.push_back('?');
      i += 3;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace tavrin::test
