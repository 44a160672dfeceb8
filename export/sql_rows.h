#pragma once
// Rows as SQL INSERT statements that give them back to a server, several
// rows to a statement while it stays below a size every server accepts:
//   INSERT INTO `t` (`a`, `b`) VALUES (1, 'x'), (2, 'y');

#include <string>
#include <vector>

#include "base/result.h"
#include "render/time_zone.h"
#include "render/value.h"
#include "render/value_decoder.h"

namespace tavrin {

// Statements grow to about this size; a row longer than it stands alone.
// A server's max_allowed_packet is 16 MiB unless set lower (1 MiB at least).
inline constexpr size_t kInsertStatementBytes = 512 << 10;

class SqlInsertWriter {
 public:
  // `columns` index the table's columns: those a row gives, named by `names`.
  SqlInsertWriter(const std::string& table, const std::vector<std::string>& names, std::vector<size_t> columns,
                  TimeZone zone);

  // Whether the statements' names, which come from the files, keep every
  // statement one statement for the server and its client.
  Status checkNames() const;
  // The statements that set the session's character set, SQL mode and the
  // zone of the TIMESTAMP literals (a comment names a zone a server may not
  // know by name).
  std::string preamble() const;
  // Adds one row; a statement that is full is appended to `out`. A value
  // kept apart that could not be read has no literal: it is written NULL,
  // and false returned.
  bool addRow(std::string& out, const DecodedRow& row, const ValueDecoder& decoder);
  // Appends the statement of the rows not yet written.
  void finish(std::string& out);

 private:
  std::string prefix_;  // INSERT INTO ... VALUES
  std::vector<size_t> columns_;
  TimeZone zone_;
  std::string statement_;  // the rows of the statement being filled
};

}  // namespace tavrin
