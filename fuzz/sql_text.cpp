// SQL text: the proof that a text is one statement, the splitting of
// scripts, and quoting. The first byte picks the statement's kind and the
// session's quote mode; the rest is the text. What the proof passes must be
// one statement where the client splits the script, and what the quoting
// functions make must stay one name or one literal.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "tabledef/sql_text.h"

namespace {

// A delimiter the text does not hold, as the script picks one.
std::string delimiterFor(std::string_view text) {
  std::string delimiter = "$$";
  while (text.find(delimiter) != std::string_view::npos) delimiter += "$";
  return delimiter;
}

size_t statementsOf(const std::string& script) { return tavrin::splitScript(script).size(); }

void requireOneStatement(const std::string& statement, tavrin::StatementKind kind) {
  const std::string script = kind == tavrin::StatementKind::Compound
                                 ? "DELIMITER " + delimiterFor(statement) + "\n" + statement + "\n" +
                                       delimiterFor(statement) + "\nDELIMITER ;\n"
                                 : statement + ";\n";
  if (statementsOf(script) != 1) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto kind = data[0] & 1 ? tavrin::StatementKind::Compound : tavrin::StatementKind::Plain;
  const tavrin::QuoteMode mode{bool(data[0] & 2), bool(data[0] & 4)};
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  // The client reads no backslash of its own in the mode's strings only when
  // the server does: only the default mode is split as the script splits.
  const bool defaultMode = !mode.noBackslashEscapes && !mode.ansiQuotes;
  if (tavrin::checkStatement(text, kind, mode) && defaultMode) requireOneStatement(text, kind);

  if (tavrin::checkFragment(text)) {
    const std::string statement = "CREATE TABLE t (a INT DEFAULT (" + text + "))";
    if (!tavrin::checkStatement(statement, tavrin::StatementKind::Plain)) __builtin_trap();
    requireOneStatement(statement, tavrin::StatementKind::Plain);
  }

  const std::string literal = "INSERT INTO t VALUES (" + tavrin::quotedLiteral(text) + ")";
  const bool sound = tavrin::checkStatement(literal, tavrin::StatementKind::Plain).ok();
  if (sound != tavrin::isValidUtf8(text)) __builtin_trap();
  if (sound) requireOneStatement(literal, tavrin::StatementKind::Plain);
  const std::string name = "INSERT INTO " + tavrin::quoteIdentifier(text) + " VALUES (1)";
  if (tavrin::checkStatement(name, tavrin::StatementKind::Plain)) requireOneStatement(name, tavrin::StatementKind::Plain);
  (void)tavrin::printable(text);
  return 0;
}
