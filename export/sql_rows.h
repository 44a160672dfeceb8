#pragma once
// Rows as SQL INSERT statements that give them back to a server:
//   INSERT INTO `t` (`a`, `b`) VALUES (1, 'x');

#include <string>
#include <vector>

#include "render/time_zone.h"
#include "render/value.h"
#include "render/value_decoder.h"

namespace tavrin {

class SqlInsertWriter {
 public:
  // `columns` index the table's columns: those a row gives, named by `names`.
  SqlInsertWriter(const std::string& table, const std::vector<std::string>& names, std::vector<size_t> columns,
                  TimeZone zone);

  // The statements that set the session's SQL mode and the zone of the
  // TIMESTAMP literals (a comment names a zone a server may not know).
  std::string preamble() const;
  // Appends the statement of one row. A value kept apart that could not be
  // read has no literal: it is written NULL, and false returned.
  bool appendRow(std::string& out, const DecodedRow& row, const ValueDecoder& decoder) const;

 private:
  std::string prefix_;  // INSERT INTO ... VALUES (
  std::vector<size_t> columns_;
  TimeZone zone_;
};

}  // namespace tavrin
