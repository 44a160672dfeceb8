#include "tabledef/sql_text.h"

#include <algorithm>
#include <optional>

#include "base/text.h"

namespace tavrin {

std::string quoteIdentifier(std::string_view name) {
  std::string quoted = "`";
  for (char c : name) {
    if (c == '`') quoted.push_back('`');
    quoted.push_back(c);
  }
  quoted.push_back('`');
  return quoted;
}

void appendQuotedLiteral(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size() + 2);
  out.push_back('\'');
  // Runs of characters that stand as they are go in whole.
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char* escape = nullptr;
    switch (text[i]) {
      case '\'': escape = "''"; break;
      case '\\': escape = "\\\\"; break;
      case '\0': escape = "\\0"; break;
      case '\n': escape = "\\n"; break;
      case '\r': escape = "\\r"; break;
      case '\x1A': escape = "\\Z"; break;
      default: continue;
    }
    out.append(text.data() + start, i - start);
    out += escape;
    start = i + 1;
  }
  out.append(text.data() + start, text.size() - start);
  out.push_back('\'');
}

std::string quotedLiteral(std::string_view text) {
  std::string quoted;
  appendQuotedLiteral(quoted, text);
  return quoted;
}

bool isPlainName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

std::string quotedList(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text.push_back(',');
    appendQuotedLiteral(text, name);
  }
  return text;
}

namespace {

// How one reader takes a backslash inside each kind of quotes.
struct Reading {
  bool escapesInSingle = true;
  bool escapesInDouble = true;
  bool escapesInBack = false;
};

// Every reading the server and the clients may have in a session of
// `mode`; without a backslash they are all one.
std::vector<Reading> readingsOf(std::string_view text, QuoteMode mode) {
  const bool escapes = !mode.noBackslashEscapes;
  const Reading server{escapes, escapes && !mode.ansiQuotes, false};
  if (text.find('\\') == std::string_view::npos || !escapes) return {server};
  // Older clients escape in backquotes, and in double quotes whatever ANSI_QUOTES says.
  return {server, {escapes, escapes, escapes}, {escapes, server.escapesInDouble, escapes}};
}

enum class Lex { Word, Quoted, Symbol, Space, Comment, HintStart, HintEnd };

struct Token {
  Lex kind = Lex::Symbol;
  std::string_view text;
  size_t at = 0;
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool isWordByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_' || b == '$' ||
         b >= 0x80;
}

Failure at(size_t offset, const std::string& what) { return damaged(what + " at byte " + std::to_string(offset)); }

// The tokens of SQL text as the server's lexer cuts it, for one reading.
// What the readers could take differently is refused: a backslash outside
// quotes (a client command), a comment inside a comment, a line that starts
// with "--" and no space (older clients drop such lines), an unclosed quote.
class SqlLexer {
 public:
  SqlLexer(std::string_view text, Reading reading) : text_(text), reading_(reading) {}

  bool atEnd() const { return at_ >= text_.size(); }
  // Inside a comment the server reads as code (/*! ... */, /*M! ... */, /*+ ... */).
  bool inHint() const { return inHint_; }

  Result<Token> next() {
    const size_t start = at_;
    const char c = text_[at_];
    if (inHint_ && startsWith("*/")) {
      inHint_ = false;
      return take(Lex::HintEnd, 2);
    }
    if (isSpace(c)) {
      while (!atEnd() && isSpace(text_[at_])) ++at_;
      return token(Lex::Space, start);
    }
    if (isWordByte(c)) {
      while (!atEnd() && isWordByte(text_[at_])) ++at_;
      return token(Lex::Word, start);
    }
    if (c == '\'' || c == '"' || c == '`') return quoted(c);
    if (c == '\\') return at(at_, "a backslash outside quotes, which the client takes as its own command,");
    if (c == '#' || (startsWith("--") && (at_ + 2 == text_.size() || isSpace(text_[at_ + 2])))) return lineComment();
    if (startsWith("--")) {
      // The server also takes "--" and a control character for a comment,
      // the client does not; and older clients drop a line that starts "--".
      const auto after = static_cast<unsigned char>(text_[at_ + 2]);
      if (after < 0x20 || after == 0x7F) return at(at_, "\"--\" and a control character, which readers take differently,");
      if (at_ == 0 || text_[at_ - 1] == '\n') {
        return at(at_, "a line starting with \"--\" and no space, which clients read differently,");
      }
    }
    if (startsWith("/*")) return blockComment();
    if (startsWith(":=")) return take(Lex::Symbol, 2);
    return take(Lex::Symbol, 1);
  }

 private:
  bool startsWith(std::string_view s) const { return text_.substr(at_, s.size()) == s; }
  Token token(Lex kind, size_t start) const { return {kind, text_.substr(start, at_ - start), start}; }
  Result<Token> take(Lex kind, size_t length) {
    const size_t start = at_;
    at_ = std::min(text_.size(), at_ + length);
    return token(kind, start);
  }

  Result<Token> quoted(char quote) {
    const size_t start = at_++;
    const bool escapes = quote == '\'' ? reading_.escapesInSingle
                         : quote == '"' ? reading_.escapesInDouble
                                        : reading_.escapesInBack;
    while (!atEnd()) {
      const char c = text_[at_++];
      if (c == '\\' && escapes) {
        if (!atEnd()) ++at_;
      } else if (c == quote) {
        if (atEnd() || text_[at_] != quote) return token(Lex::Quoted, start);
        ++at_;  // a doubled quote stands for itself
      }
    }
    return at(start, std::string("an unclosed ") + quote);
  }

  Result<Token> lineComment() {
    if (inHint_) return at(at_, "a comment inside a comment");
    const size_t start = at_;
    const size_t end = text_.find('\n', at_);
    at_ = end == std::string_view::npos ? text_.size() : end;
    return token(Lex::Comment, start);
  }

  Result<Token> blockComment() {
    if (inHint_) return at(at_, "a comment inside a comment");
    const size_t start = at_;
    const std::string_view rest = text_.substr(at_ + 2);
    if (rest.starts_with("!") || rest.starts_with("+") || rest.starts_with("M!")) {
      inHint_ = true;
      return take(Lex::HintStart, rest.starts_with("M!") ? 4 : 3);
    }
    const size_t end = rest.find("*/");
    if (end == std::string_view::npos) return at(start, "an unclosed comment");
    if (rest.substr(0, end).find("/*") != std::string_view::npos) return at(start, "a comment inside a comment");
    at_ += 2 + end + 2;
    return token(Lex::Comment, start);
  }

  std::string_view text_;
  Reading reading_;
  size_t at_ = 0;
  bool inHint_ = false;
};

bool isWord(const Token& t, std::string_view upper) {
  if (t.kind != Lex::Word || t.text.size() != upper.size()) return false;
  for (size_t i = 0; i < upper.size(); ++i) {
    const char c = t.text[i];
    if ((c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c) != upper[i]) return false;
  }
  return true;
}
bool isSymbol(const Token& t, std::string_view s) { return t.kind == Lex::Symbol && t.text == s; }
bool isSignificant(const Token& t) { return t.kind != Lex::Space && t.kind != Lex::Comment; }

// Hands each significant token of `text`, for one reading, to `each`; a
// hint's markers are allowed only where `hints` says.
template <class Each>
Status forEachToken(std::string_view text, Reading reading, bool hints, Each each) {
  SqlLexer lexer(text, reading);
  Token last;
  while (!lexer.atEnd()) {
    auto t = lexer.next();
    if (!t) return t.failure();
    last = *t;
    if ((t->kind == Lex::HintStart && !hints)) return at(t->at, "a comment the server reads as code");
    // The client of MySQL takes DELIMITER anywhere outside quotes as its command.
    if (isWord(*t, "DELIMITER")) return at(t->at, "the word DELIMITER, which the client takes as its command,");
    if (!isSignificant(*t)) continue;
    if (Status taken = each(*t); !taken) return taken;
  }
  if (lexer.inHint()) return damaged("an unclosed comment");
  if (last.kind == Lex::Comment && !text.ends_with('\n') && !text.ends_with("*/")) {
    return at(last.at, "a comment that runs on over the statement's end");
  }
  return Ok{};
}

// What every reader must find before a statement's tokens mean anything.
Status checkBytes(std::string_view text) {
  if (const size_t zero = text.find('\0'); zero != std::string_view::npos) return at(zero, "a zero byte");
  for (size_t i = 0; i < text.size();) {
    const size_t n = utf8SequenceLength(text.substr(i));
    if (n == 0) return at(i, "a byte that is not UTF-8");
    i += n;
  }
  return Ok{};
}

// The statements a script of ours starts with; the client runs only `use`
// of these itself, and reads its name with backslash escapes of its own.
Status checkLeadingWord(const Token& first, std::string_view text, StatementKind kind) {
  static constexpr std::string_view kPlain[] = {"ALTER", "CREATE", "DROP", "INSERT", "SET", "USE"};
  if (first.kind != Lex::Word || first.at != text.find_first_not_of(" \t\r\n")) {
    return damaged("the statement does not start with its keyword");
  }
  const std::string word = asciiUpper(first.text);
  const bool known = kind == StatementKind::Compound
                         ? word == "CREATE"
                         : std::find(std::begin(kPlain), std::end(kPlain), word) != std::end(kPlain);
  if (!known) return damaged("the statement starts with " + std::string(first.text) + ", which is not ours");
  if (word == "USE" && text.find('\\') != std::string_view::npos) {
    return damaged("a database name with a backslash, which the client's USE reads as an escape");
  }
  return Ok{};
}

// The blocks of a compound statement's body (a trigger's), followed as the
// server nests them, so that a semicolon is allowed only inside one. A
// block opens only where a statement starts, and every END closes one, so
// that a name spelled like a keyword can only make the check refuse, never
// let a semicolon pass that ends the statement for the server.
class BlockChecker {
 public:
  Status check(const std::vector<Token>& tokens) {
    for (i_ = 0; i_ < tokens.size(); ++i_) {
      if (Status s = step(tokens); !s) return s;
    }
    if (!stack_.empty()) return damaged("a block of the body is not closed");
    return Ok{};
  }

 private:
  enum class Block { Begin, If, Case, CaseExpression, Loop, While, Repeat };
  struct Open {
    Block block;
    bool bodyStarted = false;  // a WHILE's DO was seen
  };

  const Token& peek(const std::vector<Token>& tokens, size_t ahead = 1) const {
    static const Token kNone;
    return i_ + ahead < tokens.size() ? tokens[i_ + ahead] : kNone;
  }

  Status step(const std::vector<Token>& tokens) {
    const Token& t = tokens[i_];
    if (done_) return at(t.at, "text after the end of the statement's body");
    if (!inBody_) return header(tokens);
    const bool qualified = i_ > 0 && (isSymbol(tokens[i_ - 1], ".") || isSymbol(tokens[i_ - 1], "@"));
    if (isWord(t, "END")) return close(tokens);
    if (isSymbol(t, ";")) return semicolon(t);
    if (statementStart_ && !qualified && (t.kind == Lex::Word || t.kind == Lex::Quoted) && isSymbol(peek(tokens), ":")) {
      ++i_;  // a label: the statement starts after it
      return Ok{};
    }
    if (statementStart_ && !qualified && t.kind == Lex::Word) return statementWord(tokens);
    statementStart_ = false;
    if (t.kind == Lex::Word && !qualified) middleWord(t);
    return Ok{};
  }

  // Up to FOR EACH ROW [FOLLOWS|PRECEDES name], where the body starts.
  Status header(const std::vector<Token>& tokens) {
    const Token& t = tokens[i_];
    if (isSymbol(t, ";")) return at(t.at, "a semicolon before the statement's body");
    if (!(isWord(t, "FOR") && isWord(peek(tokens), "EACH") && isWord(peek(tokens, 2), "ROW"))) return Ok{};
    i_ += 2;
    if (isWord(peek(tokens), "FOLLOWS") || isWord(peek(tokens), "PRECEDES")) i_ += 2;
    inBody_ = statementStart_ = true;
    return Ok{};
  }

  Status semicolon(const Token& t) {
    if (stack_.empty() || stack_.back().block == Block::CaseExpression) {
      return at(t.at, "a semicolon that would end the statement early");
    }
    statementStart_ = true;
    return Ok{};
  }

  // A word where a statement starts: a block's keyword opens it.
  Status statementWord(const std::vector<Token>& tokens) {
    const Token& t = tokens[i_];
    statementStart_ = false;
    const std::string word = asciiUpper(t.text);
    static constexpr std::pair<std::string_view, Block> kOpeners[] = {
        {"BEGIN", Block::Begin}, {"IF", Block::If},        {"CASE", Block::Case},
        {"LOOP", Block::Loop},   {"WHILE", Block::While}, {"REPEAT", Block::Repeat}};
    for (const auto& [name, block] : kOpeners) {
      if (word != name) continue;
      // BEGIN is no reserved word: followed by a sign it is a name, which the check cannot follow.
      if (block == Block::Begin && peek(tokens).kind == Lex::Symbol && !peek(tokens).text.empty()) {
        return at(t.at, "the word BEGIN used as a name where a statement starts");
      }
      stack_.push_back({block});
      statementStart_ = block == Block::Begin || block == Block::Loop || block == Block::Repeat;
      return Ok{};
    }
    return Ok{};
  }

  // A word inside a statement: CASE opens an expression, and THEN, ELSE and
  // a WHILE's DO start the statements of the block they belong to.
  void middleWord(const Token& t) {
    const std::string word = asciiUpper(t.text);
    Open* top = stack_.empty() ? nullptr : &stack_.back();
    if (word == "CASE") {
      stack_.push_back({Block::CaseExpression});
    } else if ((word == "THEN" || word == "ELSE") && top) {
      statementStart_ = top->block == Block::If || top->block == Block::Case;
    } else if (word == "DO" && top && top->block == Block::While && !top->bodyStarted) {
      top->bodyStarted = statementStart_ = true;
    }
  }

  // END [IF|CASE|LOOP|WHILE|REPEAT] [label]: it must close the innermost block.
  Status close(const std::vector<Token>& tokens) {
    const Token& t = tokens[i_];
    static constexpr std::pair<std::string_view, Block> kClosers[] = {
        {"IF", Block::If}, {"CASE", Block::Case}, {"LOOP", Block::Loop}, {"WHILE", Block::While}, {"REPEAT", Block::Repeat}};
    std::optional<Block> named;
    for (const auto& [name, block] : kClosers) {
      if (isWord(peek(tokens), name)) named = block;
    }
    if (stack_.empty()) return at(t.at, "an END that closes no block");
    const Block top = stack_.back().block;
    const bool matches = named ? *named == top : (top == Block::Begin || top == Block::CaseExpression);
    if (!matches) return at(t.at, "an END that does not close the innermost block");
    stack_.pop_back();
    if (named) ++i_;
    statementStart_ = false;
    if (top != Block::CaseExpression && peek(tokens).kind == Lex::Word && !isWord(peek(tokens), "END")) ++i_;  // its label
    done_ = stack_.empty() && top != Block::CaseExpression;
    return Ok{};
  }

  std::vector<Open> stack_;
  size_t i_ = 0;
  bool inBody_ = false;
  bool statementStart_ = false;
  bool done_ = false;  // the body's outermost block closed
};

// One reading of a plain statement: its keyword first, no semicolon.
Status checkPlain(std::string_view statement, Reading reading) {
  bool first = true;
  Status read = forEachToken(statement, reading, true, [&](const Token& t) -> Status {
    if (first) {
      first = false;
      return checkLeadingWord(t, statement, StatementKind::Plain);
    }
    if (isSymbol(t, ";")) return at(t.at, "a semicolon that would end the statement early");
    return Ok{};
  });
  if (read && first) return damaged("the statement is empty");
  return read;
}

// One reading of a compound statement: its keyword first, then its blocks.
Status checkCompound(std::string_view statement, Reading reading) {
  std::vector<Token> tokens;
  Status read = forEachToken(statement, reading, false, [&](const Token& t) -> Status {
    tokens.push_back(t);
    return Ok{};
  });
  if (!read) return read;
  if (tokens.empty()) return damaged("the statement does not start with its keyword");
  if (Status lead = checkLeadingWord(tokens.front(), statement, StatementKind::Compound); !lead) return lead;
  return BlockChecker().check(tokens);
}

}  // namespace

Status checkStatement(std::string_view statement, StatementKind kind, QuoteMode mode) {
  if (kind == StatementKind::Rows) return Ok{};
  if (Status bytes = checkBytes(statement); !bytes) return bytes;
  for (const Reading& reading : readingsOf(statement, mode)) {
    Status one = kind == StatementKind::Plain ? checkPlain(statement, reading) : checkCompound(statement, reading);
    if (!one) return one;
  }
  return Ok{};
}

Status checkFragment(std::string_view fragment, QuoteMode mode) {
  if (Status bytes = checkBytes(fragment); !bytes) return bytes;
  for (const Reading& reading : readingsOf(fragment, mode)) {
    SqlLexer lexer(fragment, reading);
    int depth = 0;
    while (!lexer.atEnd()) {
      auto t = lexer.next();
      if (!t) return t.failure();
      if (t->kind == Lex::Comment || t->kind == Lex::HintStart) return at(t->at, "a comment");
      if (isSymbol(*t, ";")) return at(t->at, "a semicolon");
      if (isWord(*t, "DELIMITER")) return at(t->at, "the word DELIMITER");
      depth += isSymbol(*t, "(") ? 1 : isSymbol(*t, ")") ? -1 : 0;
      if (depth < 0) return at(t->at, "a parenthesis that closes more than the text opened");
    }
    if (depth != 0) return damaged("a parenthesis that is not closed");
  }
  return Ok{};
}

namespace {

// The delimiter a DELIMITER line sets, when `line` is one.
std::optional<std::string> delimiterCommand(std::string_view line) {
  const size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos || asciiUpper(line.substr(start, 9)) != "DELIMITER") return std::nullopt;
  std::string_view rest = line.substr(start + 9);
  if (rest.empty() || !isSpace(rest[0])) return std::nullopt;
  const size_t from = rest.find_first_not_of(" \t");
  if (from == std::string_view::npos) return std::nullopt;
  rest = rest.substr(from);
  return std::string(rest.substr(0, std::min(rest.size(), rest.find_first_of(" \t\r"))));
}

}  // namespace

void ScriptSplitter::addLines(std::string_view script) {
  for (size_t at = 0; at < script.size(); ++line_) {
    const size_t end = std::min(script.size(), script.find('\n', at));
    const std::string_view text = script.substr(at, end - at);
    const bool blank = current_.find_first_not_of(" \t\r\n") == std::string::npos;
    if (blank && quote_ == 0 && !comment_) {
      if (auto d = delimiterCommand(text)) {
        if (!d->empty()) delimiter_ = *d;
        at = end + 1;
        continue;
      }
    }
    if (blank) start_ = line_;
    addLine(text, line_);
    if (end < script.size() && !current_.empty()) current_.push_back('\n');
    at = end + 1;
  }
}

std::vector<ScriptStatement> ScriptSplitter::take() { return std::exchange(statements_, {}); }

void ScriptSplitter::addLine(std::string_view text, size_t line) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (comment_) {
      if (keepComments_) current_.push_back(c);
      if (text.substr(i, 2) == "*/") {
        comment_ = false;
        if (keepComments_) current_.push_back('/');
        ++i;
      }
      continue;
    }
    if (quote_) {
      current_.push_back(c);
      if (c == '\\' && quote_ != '`' && i + 1 < text.size()) current_.push_back(text[++i]);
      else if (c == quote_) quote_ = 0;
      continue;
    }
    if (text.substr(i, delimiter_.size()) == delimiter_) {
      finish();
      start_ = line;
      i += delimiter_.size() - 1;
      continue;
    }
    if (c == '#' || (text.substr(i, 2) == "--" && (i + 2 == text.size() || isSpace(text[i + 2])))) return;
    if (text.substr(i, 2) == "/*" && text.substr(i, 3) != "/*!" && text.substr(i, 3) != "/*+" &&
        text.substr(i, 4) != "/*M!") {
      comment_ = true;
      if (keepComments_) current_ += "/*";
      ++i;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') quote_ = c;
    current_.push_back(c);
  }
}

void ScriptSplitter::finish() {
  const size_t first = current_.find_first_not_of(" \t\r\n");
  if (first != std::string::npos) {
    const size_t last = current_.find_last_not_of(" \t\r\n");
    statements_.push_back({current_.substr(first, last - first + 1), start_});
  }
  current_.clear();
}

std::vector<ScriptStatement> splitScript(std::string_view script) {
  ScriptSplitter splitter;
  splitter.addLines(script);
  splitter.finish();
  return splitter.take();
}

}  // namespace tavrin
