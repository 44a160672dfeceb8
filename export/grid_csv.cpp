#include "export/grid_csv.h"

#include <algorithm>

#include "base/text.h"
#include "export/delimited.h"

namespace tavrin {

namespace {

constexpr size_t kTitleUnits = 127;

// The first 127 UTF-16 units of a UTF-8 title, as UTF-8.
std::string shortTitle(const std::string& title) {
  size_t units = 0;
  for (size_t i = 0; i < title.size();) {
    const size_t length = std::max<size_t>(utf8SequenceLength(std::string_view(title).substr(i)), 1);
    const size_t needed = length == 4 ? 2 : 1;
    if (units + needed > kTitleUnits) return title.substr(0, i);
    units += needed;
    i += length;
  }
  return title;
}

void appendLine(std::string& out, const std::vector<std::string>& cells) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i) line.push_back(',');
    appendCsvField(line, cells[i]);
  }
  line += "\r\n";
  appendUtf16Le(out, line);
}

}  // namespace

std::string gridCsv(const std::vector<std::string>& titles, const std::vector<std::vector<std::string>>& rows) {
  std::string out;
  std::vector<std::string> shortened;
  for (const std::string& t : titles) shortened.push_back(shortTitle(t));
  appendLine(out, shortened);
  for (const auto& row : rows) appendLine(out, row);
  return out;
}

}  // namespace tavrin
