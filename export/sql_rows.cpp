#include "export/sql_rows.h"

#include "base/text.h"
#include "render/value_text.h"
#include "tabledef/definition_file.h"
#include "tabledef/sql_text.h"

namespace tavrin {

SqlInsertWriter::SqlInsertWriter(const std::string& table, const std::vector<std::string>& names,
                                 std::vector<size_t> columns, TimeZone zone)
    : columns_(std::move(columns)), zone_(std::move(zone)) {
  prefix_ = "INSERT INTO " + quoteIdentifier(table) + " (";
  for (size_t i = 0; i < names.size(); ++i) prefix_ += (i ? ", " : "") + quoteIdentifier(names[i]);
  prefix_ += ") VALUES ";
}

Status SqlInsertWriter::checkNames() const {
  if (Status one = checkStatement(prefix_ + "(NULL)", StatementKind::Plain); !one) {
    return one.failure().prefixed("the table's names cannot go into an INSERT statement: ");
  }
  return Ok{};
}

std::string SqlInsertWriter::preamble() const {
  // As the server's own dumps do: a 0 in an AUTO_INCREMENT column stays 0,
  // and values the server kept (zero dates, the empty ENUM value) go back in
  // even where the session's mode is strict.
  std::string text = "SET NAMES utf8mb4;\nSET sql_mode = 'NO_AUTO_VALUE_ON_ZERO';\n";
  const std::string offset = zone_.fixedOffsetText();
  // The zone's name comes from the command line or the environment: as a literal it stays in its comment.
  if (offset.empty()) return text + "-- TIMESTAMP values are in the time zone " + quotedLiteral(shownUtf8(zone_.name())) + "\n";
  return text + "SET time_zone = '" + offset + "';\n";
}

bool SqlInsertWriter::addRow(std::string& out, const DecodedRow& row, const ValueDecoder& decoder) {
  if (statement_.size() >= kInsertStatementBytes) finish(out);
  statement_ += statement_.empty() ? prefix_ : ",\n";
  bool whole = true;
  statement_.push_back('(');
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (i) statement_ += ", ";
    const size_t column = columns_[i];
    if (!appendSqlLiteral(statement_, row.values[column], decoder.format(column), zone_)) {
      statement_ += "NULL";
      whole = false;
    }
  }
  statement_.push_back(')');
  return whole;
}

void SqlInsertWriter::finish(std::string& out) {
  if (statement_.empty()) return;
  statement_ += ";\n";
  // A full statement is handed over whole rather than copied; the next one
  // gets room for its size at once.
  if (out.empty()) {
    out.swap(statement_);
    statement_.clear();
    statement_.reserve(kInsertStatementBytes + kInsertStatementBytes / 4);
  } else {
    out += statement_;
    statement_.clear();
  }
}

}  // namespace tavrin
