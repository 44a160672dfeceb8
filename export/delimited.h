#pragma once
// Values written as delimited text: tab-separated as the server's batch
// client writes them, and comma-separated as RFC 4180 says.

#include <string>
#include <string_view>

namespace tavrin {

// Backslash, tab, line feed and zero byte escaped as \\ \t \n \0.
void appendTsvField(std::string& out, std::string_view text);

// Quoted, with quotes doubled, when the text holds a comma, a quote, CR or LF.
void appendCsvField(std::string& out, std::string_view text);

}  // namespace tavrin
