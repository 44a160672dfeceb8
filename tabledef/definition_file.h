#pragma once
// The server's text definition files (views and triggers): one "key=value"
// line per property, values escaped as the server writes them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace tavrin {

// The value of the first line that begins with key + "=", without the line
// end. Lines end at LF only: a CR is part of the value, as the server keeps it.
std::optional<std::string_view> definitionValue(std::string_view text, std::string_view key);

// A value as the server escapes it: \\ \n \0 \z \' stand for a backslash, a
// line feed, a zero byte, Ctrl-Z and a quote. Any other escape is damage.
Result<std::string> unescapeDefinitionValue(std::string_view escaped);

// A list value: quoted, escaped items separated by one space each.
Result<std::vector<std::string>> splitDefinitionList(std::string_view value);

// An object name from its file name, which the server writes with characters
// outside [0-9A-Za-z_] as @ and four hexadecimal digits (a space is @0020).
std::string objectNameFromFileName(std::string_view fileStem);

}  // namespace tavrin
