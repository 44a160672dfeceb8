#pragma once
// The record grid as a CSV file: UTF-16 little-endian without a byte order
// mark, CR LF line ends, the column titles first, values quoted as RFC 4180
// says when they hold a comma, a quote, CR or LF.

#include <string>
#include <vector>

namespace tavrin {

// The file's bytes. A title keeps at most 127 UTF-16 units.
std::string gridCsv(const std::vector<std::string>& titles, const std::vector<std::vector<std::string>>& rows);

}  // namespace tavrin
