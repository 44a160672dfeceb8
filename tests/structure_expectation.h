#pragma once
// What the structure view must show for a column, worked out from what the
// server reports for it (its COLUMN_TYPE, as SHOW CREATE TABLE writes it).

#include <string>

namespace tavrin::test {

// The structure's type text for a server column type such as
// "int(10) unsigned", "float(7,4)", "enum('a','b')" or "datetime(6)": the
// type's name in capitals with its length, without attributes or fractional
// digits, and FLOAT/DOUBLE with a scale only when the scale is not 0.
std::string expectedTypeText(const std::string& columnType);

// The structure's size for a column type: the display width of integers,
// digits plus sign and point of DECIMAL, the text length of temporal types,
// bits of BIT; character types take `octetLength` (the server's
// CHARACTER_OCTET_LENGTH). Returns -1 where the server reports no size.
long long expectedSize(const std::string& columnType, const std::string& octetLength);

// Information schema texts are utf8mb3: characters beyond it read "?".
std::string asUtf8mb3(const std::string& text);

}  // namespace tavrin::test
