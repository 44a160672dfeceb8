#pragma once
// SQL text as the server and the command-line client read it: the one way
// names and literals are quoted, a script split into its statements as the
// client splits it, and the proof that a text is one statement.
//
// A saved script is read twice: first by the client, which splits it at its
// delimiter and runs its own commands (`\!`, `system`, `source`, `use`,
// `DELIMITER`), then by the server, which runs every statement of what the
// client sends at once. A text taken from a damaged or crafted data folder
// (a view's query, a trigger, an expression, a name) must not end its
// statement early in either of them, whichever way they take a backslash in
// quotes (the SQL modes NO_BACKSLASH_ESCAPES and ANSI_QUOTES, and older
// clients, differ there). Such a text is data until checkStatement says it
// is one statement.

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace tavrin {

// `name` in backquotes, backquotes doubled.
std::string quoteIdentifier(std::string_view name);

// 'text' as a string literal: quotes doubled, and a backslash, a zero
// byte, LF, CR and Ctrl-Z written as \\ \0 \n \r \Z, so that the literal is
// one line that every client reads whole.
void appendQuotedLiteral(std::string& out, std::string_view text);
std::string quotedLiteral(std::string_view text);

// True when `name` needs no quotes anywhere: letters, digits and
// underscores only (an engine's, a character set's or a type's name).
bool isPlainName(std::string_view name);

// 'a','b''c' as the server writes a value list.
std::string quotedList(const std::vector<std::string>& names);

// What a statement may hold besides one simple statement.
enum class StatementKind {
  Plain,
  // A statement with a body of its own statements (a trigger): semicolons
  // inside its BEGIN ... END blocks; a script sets another delimiter around it.
  Compound,
  // INSERT statements made only of quoted names and literals: not checked,
  // since nothing in them comes from a file unquoted.
  Rows,
};

// The SQL mode bits that change how quotes are read. Clients follow the
// server's NO_BACKSLASH_ESCAPES; only newer ones follow its ANSI_QUOTES,
// and older ones also escape in backquoted names, where the server never does.
struct QuoteMode {
  bool noBackslashEscapes = false;
  bool ansiQuotes = false;  // "" quotes a name, not a string
};

// Ok when `statement` (without its terminator) is exactly one statement of
// `kind` for the server and every client, in a session of `mode`: it starts
// with a statement's keyword, holds no zero byte and only UTF-8, closes
// every quote and comment, and holds no client command and no semicolon
// that could end it early.
Status checkStatement(std::string_view statement, StatementKind kind, QuoteMode mode = {});

// Ok when `fragment` (an expression or a clause taken from a file, put into
// a statement of ours) stays inside its place: its quotes and parentheses
// close, and it holds no comment and nothing that ends a statement.
Status checkFragment(std::string_view fragment, QuoteMode mode = {});

// One statement of a script, without its delimiter.
struct ScriptStatement {
  std::string text;
  size_t line = 1;  // where it starts
};

// The client's reading of a script, one character at a time: quotes with
// backslash escapes in '' and "", comments, and the delimiter outside them.
// A long script is read a piece at a time, each piece whole lines.
class ScriptSplitter {
 public:
  // The client drops /* comments */ from what it sends; a reader of the
  // statements may keep them, for the marks a server writes in them.
  explicit ScriptSplitter(bool keepComments = false) : keepComments_(keepComments) {}
  // Lines of the script, each ended by its newline but the script's last.
  void addLines(std::string_view lines);
  // At the script's end: what is left is its last statement.
  void finish();
  // The statements read so far, handed over.
  std::vector<ScriptStatement> take();

 private:
  void addLine(std::string_view text, size_t line);

  std::string delimiter_ = ";";
  std::string current_;
  size_t start_ = 1;
  size_t line_ = 1;
  char quote_ = 0;
  bool comment_ = false;
  bool keepComments_ = false;
  std::vector<ScriptStatement> statements_;
};

// The statements of a script as the client splits them: at the delimiter
// outside quotes and comments, a DELIMITER line setting another one; a
// statement that is only comments is none.
std::vector<ScriptStatement> splitScript(std::string_view script);

}  // namespace tavrin
