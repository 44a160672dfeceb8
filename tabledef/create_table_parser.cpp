#include "tabledef/create_table_parser.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "base/text.h"
#include "tabledef/field_layout.h"
#include "tabledef/sql_text.h"

namespace tavrin {

namespace {

// ---- Tokens

struct Token {
  enum class Kind { Word, Quoted, Symbol };
  Kind kind = Kind::Symbol;
  std::string text;  // a quoted token's text unquoted
  char quote = 0;
  size_t begin = 0, end = 0;  // in the statement
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool isWordChar(char c) {
  const auto b = static_cast<unsigned char>(c);
  return std::isalnum(b) || c == '_' || c == '$' || b >= 0x80;
}

char escaped(char c) {
  switch (c) {
    case '0': return '\0';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'b': return '\b';
    case 'Z': return '\x1A';
    default: return c;
  }
}

// The tokens of a statement. Comments are left out; a versioned comment's
// markers are too, and its text is read as the server that runs it does.
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Result<std::vector<Token>> tokens() {
    std::vector<Token> out;
    while (skipSpaceAndComments()) {
      auto t = next();
      if (!t) return t.failure();
      out.push_back(std::move(*t));
    }
    if (failure_) return *failure_;
    return out;
  }

 private:
  bool startsWith(std::string_view s) const { return text_.substr(at_, s.size()) == s; }

  // False at the end of the text, or on an unclosed comment.
  bool skipSpaceAndComments() {
    while (at_ < text_.size()) {
      if (isSpace(text_[at_])) {
        ++at_;
      } else if (text_[at_] == '#' || (startsWith("--") && (at_ + 2 == text_.size() || isSpace(text_[at_ + 2])))) {
        const size_t end = text_.find('\n', at_);
        at_ = end == std::string_view::npos ? text_.size() : end;
      } else if (inHint_ && startsWith("*/")) {
        inHint_ = false;
        at_ += 2;
      } else if (startsWith("/*!") || startsWith("/*M!")) {
        at_ += startsWith("/*M!") ? 4 : 3;
        while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
        inHint_ = true;
      } else if (startsWith("/*")) {
        const size_t end = text_.find("*/", at_ + 2);
        if (end == std::string_view::npos) {
          failure_ = damaged("an unclosed comment at byte " + std::to_string(at_));
          return false;
        }
        at_ = end + 2;
      } else {
        return true;
      }
    }
    return false;
  }

  Result<Token> next() {
    Token t;
    t.begin = at_;
    const char c = text_[at_];
    if (c == '\'' || c == '"' || c == '`') return quoted(c);
    if (isWordChar(c)) {
      t.kind = Token::Kind::Word;
      while (at_ < text_.size() && isWordChar(text_[at_])) ++at_;
    } else {
      ++at_;
    }
    t.text = std::string(text_.substr(t.begin, at_ - t.begin));
    t.end = at_;
    return t;
  }

  Result<Token> quoted(char quote) {
    Token t;
    t.kind = Token::Kind::Quoted;
    t.quote = quote;
    t.begin = at_++;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '\\' && quote != '`' && at_ < text_.size()) {
        t.text.push_back(escaped(text_[at_++]));
      } else if (c == quote) {
        if (at_ >= text_.size() || text_[at_] != quote) {
          t.end = at_;
          return t;
        }
        t.text.push_back(quote);
        ++at_;
      } else {
        t.text.push_back(c);
      }
    }
    return damaged(std::string("an unclosed ") + quote + " at byte " + std::to_string(t.begin));
  }

  std::string_view text_;
  size_t at_ = 0;
  bool inHint_ = false;
  std::optional<Failure> failure_;
};

// ---- Column types

enum class TypeClass { Integer, Decimal, Real, Bit, Temporal, Year, Char, Binary, Text, Blob, Enum, Geometry, Json, Plugin };

struct TypeName {
  std::string_view name;
  FieldType type;
  TypeClass kind;
  uint32_t length;  // the default display or byte length
};

constexpr TypeName kTypes[] = {
    {"TINYINT", FieldType::Tiny, TypeClass::Integer, 4},
    {"BOOL", FieldType::Tiny, TypeClass::Integer, 1},
    {"BOOLEAN", FieldType::Tiny, TypeClass::Integer, 1},
    {"INT1", FieldType::Tiny, TypeClass::Integer, 4},
    {"SMALLINT", FieldType::Short, TypeClass::Integer, 6},
    {"INT2", FieldType::Short, TypeClass::Integer, 6},
    {"MEDIUMINT", FieldType::Int24, TypeClass::Integer, 9},
    {"INT3", FieldType::Int24, TypeClass::Integer, 9},
    {"MIDDLEINT", FieldType::Int24, TypeClass::Integer, 9},
    {"INT", FieldType::Long, TypeClass::Integer, 11},
    {"INTEGER", FieldType::Long, TypeClass::Integer, 11},
    {"INT4", FieldType::Long, TypeClass::Integer, 11},
    {"BIGINT", FieldType::LongLong, TypeClass::Integer, 20},
    {"INT8", FieldType::LongLong, TypeClass::Integer, 20},
    {"DECIMAL", FieldType::NewDecimal, TypeClass::Decimal, 10},
    {"DEC", FieldType::NewDecimal, TypeClass::Decimal, 10},
    {"NUMERIC", FieldType::NewDecimal, TypeClass::Decimal, 10},
    {"FIXED", FieldType::NewDecimal, TypeClass::Decimal, 10},
    {"FLOAT", FieldType::Float, TypeClass::Real, 12},
    {"FLOAT4", FieldType::Float, TypeClass::Real, 12},
    {"DOUBLE", FieldType::Double, TypeClass::Real, 22},
    {"FLOAT8", FieldType::Double, TypeClass::Real, 22},
    {"REAL", FieldType::Double, TypeClass::Real, 22},
    {"BIT", FieldType::Bit, TypeClass::Bit, 1},
    {"DATE", FieldType::NewDate, TypeClass::Temporal, 10},
    {"TIME", FieldType::Time2, TypeClass::Temporal, 10},
    {"DATETIME", FieldType::DateTime2, TypeClass::Temporal, 19},
    {"TIMESTAMP", FieldType::Timestamp2, TypeClass::Temporal, 19},
    {"YEAR", FieldType::Year, TypeClass::Year, 4},
    {"CHAR", FieldType::String, TypeClass::Char, 1},
    {"CHARACTER", FieldType::String, TypeClass::Char, 1},
    {"NCHAR", FieldType::String, TypeClass::Char, 1},
    {"VARCHAR", FieldType::Varchar, TypeClass::Char, 0},
    {"NVARCHAR", FieldType::Varchar, TypeClass::Char, 0},
    {"VARCHAR2", FieldType::Varchar, TypeClass::Char, 0},
    {"BINARY", FieldType::String, TypeClass::Binary, 1},
    {"VARBINARY", FieldType::Varchar, TypeClass::Binary, 0},
    {"TINYTEXT", FieldType::TinyBlob, TypeClass::Text, 255},
    {"TEXT", FieldType::Blob, TypeClass::Text, 65535},
    {"MEDIUMTEXT", FieldType::MediumBlob, TypeClass::Text, 16777215},
    {"LONGTEXT", FieldType::LongBlob, TypeClass::Text, 4294967295u},
    {"LONG", FieldType::MediumBlob, TypeClass::Text, 16777215},
    {"TINYBLOB", FieldType::TinyBlob, TypeClass::Blob, 255},
    {"BLOB", FieldType::Blob, TypeClass::Blob, 65535},
    {"MEDIUMBLOB", FieldType::MediumBlob, TypeClass::Blob, 16777215},
    {"LONGBLOB", FieldType::LongBlob, TypeClass::Blob, 4294967295u},
    {"ENUM", FieldType::Enum, TypeClass::Enum, 0},
    {"SET", FieldType::Set, TypeClass::Enum, 0},
    {"GEOMETRY", FieldType::Geometry, TypeClass::Geometry, 0},
    {"POINT", FieldType::Geometry, TypeClass::Geometry, 1},
    {"LINESTRING", FieldType::Geometry, TypeClass::Geometry, 2},
    {"POLYGON", FieldType::Geometry, TypeClass::Geometry, 3},
    {"MULTIPOINT", FieldType::Geometry, TypeClass::Geometry, 4},
    {"MULTILINESTRING", FieldType::Geometry, TypeClass::Geometry, 5},
    {"MULTIPOLYGON", FieldType::Geometry, TypeClass::Geometry, 6},
    {"GEOMETRYCOLLECTION", FieldType::Geometry, TypeClass::Geometry, 7},
    {"JSON", FieldType::LongBlob, TypeClass::Json, 4294967295u},
    {"INET4", FieldType::String, TypeClass::Plugin, 4},
    {"INET6", FieldType::String, TypeClass::Plugin, 16},
    {"UUID", FieldType::String, TypeClass::Plugin, 16},
};

const TypeName* typeNamed(std::string_view upper) {
  for (const TypeName& t : kTypes) {
    if (t.name == upper) return &t;
  }
  return nullptr;
}

// A TEXT or BLOB declared with a length takes the smallest type that holds it.
FieldType blobTypeFor(uint64_t length) {
  return length < 256 ? FieldType::TinyBlob : length < 65536 ? FieldType::Blob : length < (1u << 24) ? FieldType::MediumBlob : FieldType::LongBlob;
}

uint32_t blobMaxLength(FieldType type) {
  switch (type) {
    case FieldType::TinyBlob: return 255;
    case FieldType::Blob: return 65535;
    case FieldType::MediumBlob: return 16777215;
    default: return 4294967295u;
  }
}

// ---- What a column declares, before the table's character set is known

struct ColumnDraft {
  ColumnDefinition column;
  const TypeName* type = nullptr;
  std::optional<uint64_t> length;   // (M) or (M,D)'s M
  std::optional<uint64_t> scale;    // (M,D)'s D
  std::string charset, collation;   // as named; empty where not
  bool binaryCollation = false;     // CHAR(n) BINARY: the character set's _bin collation
  bool explicitNull = false, explicitNotNull = false;
  bool hasDefault = false;
  bool oldTemporal = false;  // marked /* mariadb-5.3 */
  bool defaultNull = false;  // DEFAULT NULL
};

struct KeyDraft {
  KeyDefinition key;
  std::vector<std::pair<std::string, std::optional<uint64_t>>> parts;  // column and its prefix length
  std::vector<bool> descending;
};

class Parser {
 public:
  Parser(std::string_view text, std::vector<Token> tokens, const CollationCatalogue& catalogue,
         const CreateTableContext& context)
      : text_(text), t_(std::move(tokens)), catalogue_(catalogue), context_(context) {}

  Result<ParsedTable> parse() {
    if (Status head = header(); !head) return head.failure();
    if (Status body = tableBody(); !body) return body.failure();
    if (Status options = tableOptions(); !options) return options.failure();
    if (Status built = build(); !built) return built.failure();
    return std::move(table_);
  }

 private:
  // ---- Token access

  bool atEnd() const { return at_ >= t_.size(); }
  const Token* peek(size_t ahead = 0) const { return at_ + ahead < t_.size() ? &t_[at_ + ahead] : nullptr; }
  bool isWord(const Token* t, std::string_view upper) const {
    return t && t->kind == Token::Kind::Word && asciiUpper(t->text) == upper;
  }
  bool isSymbol(const Token* t, char c) const { return t && t->kind == Token::Kind::Symbol && t->text[0] == c; }
  bool peekWord(std::string_view upper, size_t ahead = 0) const { return isWord(peek(ahead), upper); }
  bool peekSymbol(char c) const { return isSymbol(peek(), c); }
  bool acceptWord(std::string_view upper) {
    if (!peekWord(upper)) return false;
    ++at_;
    return true;
  }
  bool acceptSymbol(char c) {
    if (!peekSymbol(c)) return false;
    ++at_;
    return true;
  }
  // "near" the token where reading stopped, as the server says it.
  Failure expected(const std::string& what) const {
    const Token* t = peek();
    const std::string near = t ? "\"" + printable(std::string_view(t->text).substr(0, 40)) + "\" at byte " +
                                     std::to_string(t->begin)
                               : "the end of the statement";
    return damaged("expected " + what + " near " + near);
  }
  Status expectSymbol(char c) {
    if (acceptSymbol(c)) return Ok{};
    return expected(std::string("\"") + c + "\"");
  }
  Status expectWord(std::string_view upper) {
    if (acceptWord(upper)) return Ok{};
    return expected(std::string(upper));
  }
  Result<std::string> name() {
    const Token* t = peek();
    if (!t || (t->kind == Token::Kind::Symbol) || (t->kind == Token::Kind::Quoted && t->quote == '\'')) {
      return expected("a name");
    }
    ++at_;
    return t->text;
  }
  Result<uint64_t> number() {
    const Token* t = peek();
    if (!t || t->kind != Token::Kind::Word || t->text.empty() ||
        !std::all_of(t->text.begin(), t->text.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        t->text.size() > 19) {
      return expected("a number");
    }
    ++at_;
    return std::stoull(t->text);
  }
  Result<std::string> literal() {
    const Token* t = peek();
    if (!t || t->kind != Token::Kind::Quoted || t->quote == '`') return expected("a quoted text");
    ++at_;
    std::string text = t->text;
    // 'a' 'b' is 'ab' to the server.
    while (peek() && peek()->kind == Token::Kind::Quoted && peek()->quote != '`') text += t_[at_++].text;
    return text;
  }
  void acceptEquals() { acceptSymbol('='); }
  // A word or a quoted text, as options take their values.
  Result<std::string> value() {
    if (peekSymbol('(')) return group();
    const Token* t = peek();
    if (!t || t->kind == Token::Kind::Symbol) return expected("a value");
    ++at_;
    return t->text;
  }
  // The text from token `first` to the one before the current, as written.
  std::string rawFrom(size_t first) const {
    if (first >= at_) return {};
    return std::string(text_.substr(t_[first].begin, t_[at_ - 1].end - t_[first].begin));
  }
  // Past a parenthesized group whose "(" is the current token; its inner text.
  Result<std::string> group() {
    if (Status open = expectSymbol('('); !open) return open.failure();
    const size_t first = at_;
    for (int depth = 1; !atEnd(); ++at_) {
      if (peekSymbol('(')) ++depth;
      if (peekSymbol(')') && --depth == 0) {
        const std::string inner = rawFrom(first);
        ++at_;
        return inner;
      }
    }
    return damaged("a parenthesis that is not closed");
  }

  // ---- CREATE [OR REPLACE] [TEMPORARY] TABLE [IF NOT EXISTS] [db.]name

  Status header() {
    if (Status create = expectWord("CREATE"); !create) return create;
    if (acceptWord("OR") && !acceptWord("REPLACE")) return expected("REPLACE");
    if (peekWord("TEMPORARY")) return unsupported("a TEMPORARY table has no files to read");
    if (Status table = expectWord("TABLE"); !table) return table;
    if (acceptWord("IF")) {
      if (!acceptWord("NOT") || !acceptWord("EXISTS")) return expected("NOT EXISTS");
    }
    auto first = name();
    if (!first) return first.failure();
    table_.name = *first;
    if (acceptSymbol('.')) {
      auto second = name();
      if (!second) return second.failure();
      table_.database = *first;
      table_.name = *second;
    }
    if (peekWord("LIKE")) return unsupported("the table is made LIKE another, whose columns the text does not give");
    if (!peekSymbol('(')) return unsupported("the statement gives no column list (CREATE TABLE ... SELECT or LIKE)");
    return Ok{};
  }

  // ---- ( column or key, ... )

  Status tableBody() {
    if (Status open = expectSymbol('('); !open) return open;
    do {
      if (Status item = bodyItem(); !item) return item;
    } while (acceptSymbol(','));
    return expectSymbol(')');
  }

  Status bodyItem() {
    if (peekWord("CONSTRAINT")) {
      ++at_;
      if (!peekWord("PRIMARY") && !peekWord("UNIQUE") && !peekWord("FOREIGN") && !peekWord("CHECK")) {
        auto constraint = name();
        if (!constraint) return constraint.failure();
        constraintName_ = *constraint;
      }
      return keyItem();
    }
    // A key starts with a bare keyword; a column so named is quoted.
    for (std::string_view word : {"PRIMARY", "UNIQUE", "KEY", "INDEX", "FULLTEXT", "SPATIAL", "FOREIGN", "CHECK"}) {
      if (peekWord(word)) return keyItem();
    }
    if (peekWord("PERIOD") && peekWord("FOR", 1)) return keyItem();
    return columnItem();
  }

  Status keyItem() {
    const std::string constraint = std::exchange(constraintName_, {});
    if (acceptWord("FOREIGN")) return skipItem();  // kept in InnoDB's dictionary, not in the rows
    if (acceptWord("PERIOD")) return skipItem();
    if (acceptWord("CHECK")) {
      auto expression = group();
      if (!expression) return expression.failure();
      table_.definition.checks.push_back({constraint, *expression});
      return skipItem();
    }
    KeyDraft k;
    if (acceptWord("PRIMARY")) {
      if (Status key = expectWord("KEY"); !key) return key;
      k.key.name = "PRIMARY";
      k.key.flags = KeyFlag::Unique;
    } else if (acceptWord("UNIQUE")) {
      k.key.flags = KeyFlag::Unique;
    } else if (acceptWord("FULLTEXT")) {
      k.key.flags = KeyFlag::Fulltext;
      k.key.algorithm = uint8_t(KeyAlgorithm::Fulltext);
    } else if (acceptWord("SPATIAL")) {
      k.key.flags = KeyFlag::Spatial;
      k.key.algorithm = uint8_t(KeyAlgorithm::Rtree);
    }
    if (!acceptWord("KEY")) acceptWord("INDEX");
    if (!peekSymbol('(') && !peekWord("USING")) {
      auto keyName = name();
      if (!keyName) return keyName.failure();
      if (k.key.name.empty()) k.key.name = *keyName;
    }
    if (k.key.name.empty()) k.key.name = constraint;
    if (Status options = keyOptions(k); !options) return options;
    if (Status parts = keyParts(k); !parts) return parts;
    if (Status options = keyOptions(k); !options) return options;
    keys_.push_back(std::move(k));
    return Ok{};
  }

  Status keyParts(KeyDraft& k) {
    if (Status open = expectSymbol('('); !open) return open;
    do {
      if (peekSymbol('(')) return unsupported("key " + k.key.name + " holds an expression, which is not read");
      auto column = name();
      if (!column) return column.failure();
      std::optional<uint64_t> prefix;
      if (acceptSymbol('(')) {
        auto n = number();
        if (!n) return n.failure();
        prefix = *n;
        if (Status close = expectSymbol(')'); !close) return close;
      }
      const bool descending = acceptWord("DESC");
      if (!descending) acceptWord("ASC");
      k.parts.emplace_back(*column, prefix);
      k.descending.push_back(descending);
    } while (acceptSymbol(','));
    return expectSymbol(')');
  }

  Status keyOptions(KeyDraft& k) {
    while (!atEnd() && !peekSymbol(',') && !peekSymbol(')') && !peekSymbol('(')) {
      if (acceptWord("USING")) {
        auto algorithm = name();
        if (!algorithm) return algorithm.failure();
        const std::string upper = asciiUpper(*algorithm);
        k.key.algorithm = uint8_t(upper == "BTREE" ? KeyAlgorithm::Btree : upper == "HASH" ? KeyAlgorithm::Hash
                                                                          : upper == "RTREE" ? KeyAlgorithm::Rtree
                                                                                              : KeyAlgorithm::Default);
      } else if (acceptWord("COMMENT")) {
        auto comment = literal();
        if (!comment) return comment.failure();
        k.key.comment = *comment;
        k.key.flags |= KeyFlag::HasComment;
      } else if (acceptWord("KEY_BLOCK_SIZE")) {
        acceptEquals();
        auto size = number();
        if (!size) return size.failure();
        k.key.blockSize = uint16_t(std::min<uint64_t>(*size, UINT16_MAX));
        k.key.flags |= KeyFlag::HasBlockSize;
      } else if (acceptWord("WITH")) {
        if (Status parser = expectWord("PARSER"); !parser) return parser;
        auto plugin = name();
        if (!plugin) return plugin.failure();
        k.key.parser = *plugin;
        k.key.flags |= KeyFlag::HasParser;
      } else if (acceptWord("IGNORED")) {
        k.key.ignored = true;
      } else if (acceptWord("NOT")) {
        acceptWord("IGNORED");
      } else if (acceptWord("VISIBLE") || acceptWord("CLUSTERING")) {
        acceptEquals();
      } else if (acceptWord("INVISIBLE")) {
        k.key.ignored = true;
      } else {
        return expected("a key option");
      }
    }
    return Ok{};
  }

  // Past what the tool does not keep, to the item's end.
  Status skipItem() {
    for (int depth = 0; !atEnd(); ++at_) {
      if (depth == 0 && (peekSymbol(',') || peekSymbol(')'))) return Ok{};
      if (peekSymbol('(')) ++depth;
      if (peekSymbol(')')) --depth;
    }
    return Ok{};
  }

  // ---- A column: name, type, attributes

  Status columnItem() {
    ColumnDraft d;
    auto columnName = name();
    if (!columnName) return columnName.failure();
    d.column.name = *columnName;
    if (Status type = columnType(d); !type) return type.failure().prefixed("column " + d.column.name + ": ");
    while (!atEnd() && !peekSymbol(',') && !peekSymbol(')')) {
      if (Status attribute = columnAttribute(d); !attribute) {
        return attribute.failure().prefixed("column " + d.column.name + ": ");
      }
    }
    columns_.push_back(std::move(d));
    return Ok{};
  }

  Status columnType(ColumnDraft& d) {
    const Token* t = peek();
    if (!t || t->kind != Token::Kind::Word) return expected("a type");
    std::string upper = asciiUpper(t->text);
    ++at_;
    if ((upper == "DOUBLE" && acceptWord("PRECISION")) || (upper == "CHARACTER" && acceptWord("VARYING"))) {
      if (upper == "CHARACTER") upper = "VARCHAR";
    } else if (upper == "NATIONAL") {
      const Token* next = peek();
      if (!next) return expected("a type");
      upper = "N" + asciiUpper(next->text);
      ++at_;
      if (upper == "NCHAR" && acceptWord("VARYING")) upper = "NVARCHAR";
    } else if (upper == "LONG" && (acceptWord("VARCHAR") || acceptWord("VARBINARY"))) {
      upper = asciiUpper(t_[at_ - 1].text) == "VARBINARY" ? "MEDIUMBLOB" : "MEDIUMTEXT";
    } else if (upper == "SERIAL") {
      upper = "BIGINT";
      d.column.isUnsigned = true;
      d.explicitNotNull = true;
      d.column.uniregCheck = Unireg::NextNumber;
      serialColumns_.push_back(d.column.name);
    }
    d.type = typeNamed(upper);
    if (!d.type) return unsupported("the type " + printable(t->text) + " is not one the tool reads");
    d.column.fieldType = d.type->type;
    if (d.type->kind == TypeClass::Enum) {
      if (Status open = expectSymbol('('); !open) return open;
      do {
        auto v = literal();
        if (!v) return v.failure();
        d.column.intervalValues.push_back(*v);
      } while (acceptSymbol(','));
      if (Status close = expectSymbol(')'); !close) return close;
    } else if (acceptSymbol('(')) {
      auto length = number();
      if (!length) return length.failure();
      d.length = *length;
      if (acceptSymbol(',')) {
        auto scale = number();
        if (!scale) return scale.failure();
        d.scale = *scale;
      }
      if (Status close = expectSymbol(')'); !close) return close;
    }
    if (upper == "NCHAR" || upper == "NVARCHAR") d.charset = "utf8mb3";
    // The server marks the layouts before MySQL 5.6 that a column still has.
    d.oldTemporal = !atEnd() && text_.substr(t_[at_ - 1].end, peek()->begin - t_[at_ - 1].end).find("mariadb-5.3") !=
                                    std::string_view::npos;
    return Ok{};
  }

  static void zerofill(ColumnDefinition& c) {
    c.packFlags |= PackFlag::Zerofill;
    c.isUnsigned = true;  // ZEROFILL makes a number unsigned
  }

  // CHARSET, CHARACTER SET or CHAR SET.
  bool acceptCharsetWords() {
    if (acceptWord("CHARSET")) return true;
    if ((peekWord("CHARACTER") || peekWord("CHAR")) && peekWord("SET", 1)) {
      at_ += 2;
      return true;
    }
    return false;
  }

  Result<std::string> charsetName() {
    auto charset = name();
    if (!charset) return charset;
    return asciiUpper(*charset) == "BINARY" ? std::string("binary") : *charset;
  }

  Status columnAttribute(ColumnDraft& d) {
    if (std::optional<Status> taken = typeAttribute(d)) return *taken;
    if (std::optional<Status> taken = valueAttribute(d)) return *taken;
    return otherAttribute(d);
  }

  // What completes the type: sign, zero fill, character set, collation.
  std::optional<Status> typeAttribute(ColumnDraft& d) {
    ColumnDefinition& c = d.column;
    if (acceptWord("UNSIGNED")) c.isUnsigned = true;
    else if (acceptWord("SIGNED")) c.isUnsigned = false;
    else if (acceptWord("ZEROFILL")) zerofill(c);
    else if (acceptWord("BINARY")) d.binaryCollation = true;
    else if (acceptWord("ASCII")) d.charset = "latin1";
    else if (acceptWord("UNICODE")) d.charset = "ucs2";
    else if (acceptWord("BYTE")) d.charset = "binary";
    else if (acceptCharsetWords()) return take(charsetName(), d.charset);
    else if (acceptWord("COLLATE")) return take(name(), d.collation);
    else return std::nullopt;
    return Status(Ok{});
  }

  // What a column holds by itself: NULL-ness, its default, the values the
  // server sets, the expression it is computed from, its CHECK.
  std::optional<Status> valueAttribute(ColumnDraft& d) {
    ColumnDefinition& c = d.column;
    if (acceptWord("NOT")) {
      if (Status null = expectWord("NULL"); !null) return null;
      d.explicitNotNull = true;
    } else if (acceptWord("NULL")) {
      d.explicitNull = true;
    } else if (acceptWord("DEFAULT")) {
      return defaultValue(d);
    } else if (acceptWord("ON")) {
      if (Status update = expectWord("UPDATE"); !update) return update;
      if (!isNow(peek())) return Status(expected("CURRENT_TIMESTAMP"));
      takeNow();
      c.uniregCheck = c.uniregCheck == Unireg::DefaultNow ? Unireg::DefaultAndUpdateNow : Unireg::UpdateNow;
    } else if (acceptWord("AUTO_INCREMENT")) {
      c.uniregCheck = Unireg::NextNumber;
    } else if (acceptWord("GENERATED")) {
      if (!acceptWord("ALWAYS")) return Status(expected("ALWAYS"));
      if (peekWord("AS") && peekWord("ROW", 1)) return Status(unsupported("system-versioned tables are not read from a script"));
      return generated(d);
    } else if (peekWord("AS")) {
      return generated(d);
    } else if (acceptWord("CHECK")) {
      return take(group(), c.checkExpression);
    } else {
      return std::nullopt;
    }
    return Status(Ok{});
  }

  // Keys on the column alone, its comment and visibility, and what does not
  // change its rows.
  Status otherAttribute(ColumnDraft& d) {
    ColumnDefinition& c = d.column;
    if (acceptWord("PRIMARY") || peekWord("KEY")) {
      acceptWord("KEY");
      addColumnKey(c.name, "PRIMARY");
    } else if (acceptWord("UNIQUE")) {
      acceptWord("KEY");
      addColumnKey(c.name, "");
    } else if (acceptWord("COMMENT")) {
      return take(literal(), c.comment);
    } else if (acceptWord("INVISIBLE")) {
      c.invisibility = 1;
    } else if (acceptWord("VISIBLE")) {
    } else if (acceptWord("REFERENCES")) {
      return skipItem();
    } else if (acceptWord("WITHOUT") || acceptWord("WITH")) {
      if (!acceptWord("SYSTEM") || !acceptWord("VERSIONING")) return expected("SYSTEM VERSIONING");
      c.withoutVersioning = asciiUpper(t_[at_ - 3].text) == "WITHOUT";
    } else if (acceptWord("COLUMN_FORMAT") || acceptWord("STORAGE") || acceptWord("SRID")) {
      auto ignored = value();
      if (!ignored) return ignored.failure();
    } else if (acceptWord("COMPRESSED")) {
      return unsupported("columns compressed by the server (COMPRESSED) are not read");
    } else if (peekWord("SERIAL") && peekWord("DEFAULT", 1) && peekWord("VALUE", 2)) {
      at_ += 3;
      c.uniregCheck = Unireg::NextNumber;
      d.explicitNotNull = true;
      serialColumns_.push_back(c.name);
    } else {
      return expected("a column attribute");
    }
    return Ok{};
  }

  static Status take(Result<std::string> read, std::string& into) {
    if (!read) return read.failure();
    into = std::move(*read);
    return Ok{};
  }

  // A UNIQUE key (PRIMARY by that name) on one whole column.
  void addColumnKey(const std::string& column, std::string keyName) {
    KeyDraft k;
    k.key.name = std::move(keyName);
    k.key.flags = KeyFlag::Unique;
    k.parts.emplace_back(column, std::nullopt);
    k.descending.push_back(false);
    keys_.push_back(std::move(k));
  }

  static bool isNowWord(std::string_view upper) {
    return upper == "CURRENT_TIMESTAMP" || upper == "NOW" || upper == "LOCALTIME" || upper == "LOCALTIMESTAMP";
  }
  bool isNow(const Token* t) const { return t && t->kind == Token::Kind::Word && isNowWord(asciiUpper(t->text)); }
  void takeNow() {
    ++at_;
    if (peekSymbol('(')) {
      while (!atEnd() && !acceptSymbol(')')) ++at_;
    }
  }

  Status generated(ColumnDraft& d) {
    if (Status as = expectWord("AS"); !as) return as;
    auto expression = group();
    if (!expression) return expression.failure();
    d.column.generationExpression = *expression;
    d.column.isVirtual = true;
    if (acceptWord("STORED") || acceptWord("PERSISTENT")) d.column.isVirtual = false;
    else acceptWord("VIRTUAL");
    return Ok{};
  }

  // DEFAULT and its value: NULL, the current time, or a value or an
  // expression kept as written for CREATE TABLE.
  Status defaultValue(ColumnDraft& d) {
    d.hasDefault = true;
    if (acceptWord("NULL")) {
      d.column.defaultExpression.clear();
      d.defaultNull = true;
      return Ok{};
    }
    if (isNow(peek())) {
      takeNow();
      d.column.uniregCheck = d.column.uniregCheck == Unireg::UpdateNow ? Unireg::DefaultAndUpdateNow : Unireg::DefaultNow;
      return Ok{};
    }
    const size_t first = at_;
    if (peekSymbol('(')) {
      auto expression = group();
      if (!expression) return expression.failure();
      d.column.defaultExpression = *expression;
      return Ok{};
    }
    while (acceptSymbol('-') || acceptSymbol('+')) {
    }
    const Token* t = peek();
    if (!t || t->kind == Token::Kind::Symbol) return expected("a default value");
    ++at_;
    if (t->kind == Token::Kind::Word && peek() && peek()->kind == Token::Kind::Quoted) ++at_;  // _utf8'x', b'1', x'41'
    if (t->kind == Token::Kind::Word && peekSymbol('.')) at_ += peek(1) && peek(1)->kind == Token::Kind::Word ? 2 : 1;
    if (t->kind == Token::Kind::Word && peekSymbol('(')) {
      if (auto call = group(); !call) return call.failure();
    }
    d.column.defaultExpression = rawFrom(first);
    return Ok{};
  }

  // ---- Table options, and what follows them

  Status tableOptions() {
    TableOptions& o = table_.definition.options;
    while (!atEnd()) {
      if (acceptSymbol(',')) continue;
      if (peekWord("PARTITION")) return unsupported("partitioned tables are not read from a script yet");
      acceptWord("DEFAULT");
      const Token* t = peek();
      if (t && t->kind == Token::Kind::Quoted && t->quote == '`') {
        // An engine's own option, as the server quotes it: `PAGE_COMPRESSED`=1.
        ++at_;
        acceptEquals();
        auto v = value();
        if (!v) return v.failure();
        o.engineOptions.push_back({t->text, *v, t_[at_ - 1].kind == Token::Kind::Quoted});
        continue;
      }
      if (!t || t->kind != Token::Kind::Word) return expected("a table option");
      const std::string option = asciiUpper(t->text);
      ++at_;
      if (option == "CHARACTER" && !acceptWord("SET")) return expected("SET");
      acceptEquals();
      if (option == "CHARSET" || option == "CHARACTER") {
        auto charset = charsetName();
        if (!charset) return charset.failure();
        tableCharset_ = *charset;
        continue;
      }
      auto v = value();
      if (!v) return v.failure();
      if (Status kept = tableOption(o, option, *v, t_[at_ - 1].kind == Token::Kind::Quoted); !kept) return kept;
    }
    return Ok{};
  }

  static uint32_t numberIn(const std::string& text) {
    uint64_t n = 0;
    for (char c : text) {
      if (c < '0' || c > '9' || n > UINT32_MAX) return 0;
      n = n * 10 + uint64_t(c - '0');
    }
    return uint32_t(std::min<uint64_t>(n, UINT32_MAX));
  }

  Status tableOption(TableOptions& o, const std::string& option, const std::string& v, bool quoted) {
    const std::string upper = asciiUpper(v);
    if (option == "ENGINE" || option == "TYPE") o.engineName = v;
    else if (option == "COLLATE") tableCollation_ = v;
    else if (option == "COMMENT") o.comment = v;
    else if (option == "CONNECTION") o.connection = v;
    else if (option == "ROW_FORMAT") o.rowFormat = rowFormatCode(upper);
    else if (option == "KEY_BLOCK_SIZE") o.keyBlockSize = uint16_t(std::min<uint32_t>(numberIn(v), UINT16_MAX));
    else if (option == "MAX_ROWS") o.maxRows = numberIn(v);
    else if (option == "MIN_ROWS") o.minRows = numberIn(v);
    else if (option == "AVG_ROW_LENGTH") o.avgRowLength = numberIn(v);
    else if (option == "STATS_SAMPLE_PAGES") o.statsSamplePages = uint16_t(std::min<uint32_t>(numberIn(v), UINT16_MAX));
    else if (option == "STATS_AUTO_RECALC") o.statsAutoRecalc = upper == "1" ? 1 : upper == "0" ? 2 : 0;
    else if (option == "TRANSACTIONAL") o.transactional = upper == "1" ? 2 : 1;
    else if (option == "PAGE_CHECKSUM") o.pageChecksum = upper == "1" ? 2 : 1;
    else if (option == "DATA" || option == "INDEX") return directory(o, option);
    else if (option == "AUTO_INCREMENT" || option == "PACK_KEYS" || option == "CHECKSUM" ||
             option == "DELAY_KEY_WRITE" || option == "STATS_PERSISTENT" || option == "INSERT_METHOD" ||
             option == "UNION" || option == "TABLESPACE" || option == "STORAGE" || option == "SECONDARY_ENGINE" ||
             option == "ENCRYPTION" || option == "COMPRESSION" || option == "AUTOEXTEND_SIZE") {
      // What the files keep themselves, or what does not change the rows.
    } else {
      o.engineOptions.push_back({option, v, quoted});
    }
    return Ok{};
  }

  // DATA DIRECTORY='...' and INDEX DIRECTORY='...': the word read as the value.
  Status directory(TableOptions& o, const std::string& option) {
    if (asciiUpper(t_[at_ - 1].text) != "DIRECTORY") return expected("DIRECTORY");
    acceptEquals();
    auto path = literal();
    if (!path) return path.failure();
    if (option == "DATA") o.dataDirectory = *path;
    return Ok{};
  }

  static uint8_t rowFormatCode(const std::string& upper) {
    constexpr std::string_view kFormats[] = {"FIXED", "DYNAMIC", "COMPRESSED", "REDUNDANT", "COMPACT", "PAGE"};
    for (size_t i = 0; i < std::size(kFormats); ++i) {
      if (kFormats[i] == upper) return uint8_t(i + 1);
    }
    return 0;
  }

  // ---- The definition, once the whole statement is read

  Status build();
  Result<int32_t> collationOf(const ColumnDraft& d) const;
  Status sizeColumn(ColumnDraft& d) const;
  Status settleColumn(ColumnDraft& d, size_t index);
  Status settleKey(KeyDraft& k);
  void layRowImage();

  std::string_view text_;
  std::vector<Token> t_;
  size_t at_ = 0;
  const CollationCatalogue& catalogue_;
  CreateTableContext context_;
  ParsedTable table_;
  std::vector<ColumnDraft> columns_;
  std::vector<KeyDraft> keys_;
  std::vector<std::string> serialColumns_;
  std::string constraintName_;
  std::string tableCharset_, tableCollation_;
};

bool hasCharacterSet(TypeClass kind) {
  return kind == TypeClass::Char || kind == TypeClass::Text || kind == TypeClass::Enum;
}

// The collation a column's text is kept in: as it names it, else its
// character set's default, else the table's.
Result<int32_t> Parser::collationOf(const ColumnDraft& d) const {
  const TypeClass kind = d.type->kind;
  if (kind == TypeClass::Json) return catalogue_.collationId("utf8mb4_bin");
  if (!hasCharacterSet(kind) || d.charset == "binary") return kBinaryCollation;
  std::string charset = d.charset;
  int32_t id = table_.definition.tableCharsetId;
  if (!d.collation.empty()) {
    id = catalogue_.collationId(d.collation);
    if (id == 0) {
      // MySQL 8's own collations stand for their character set's default here.
      const std::string set = d.collation.substr(0, d.collation.find('_'));
      id = catalogue_.defaultCollationId(set);
    }
    if (id == 0) return unsupported("the collation " + printable(d.collation) + " is not in the collation catalogue");
  } else if (!charset.empty()) {
    id = catalogue_.defaultCollationId(charset);
    if (id == 0) return unsupported("the character set " + printable(charset) + " is not in the collation catalogue");
  }
  if (d.binaryCollation) {
    const int32_t bin = catalogue_.collationId(catalogue_.charsetName(id) + "_bin");
    if (bin != 0) id = bin;
  }
  return id;
}

bool isQuotedNumber(std::string_view text) {
  if (text.size() < 3 || text.front() != '\'' || text.back() != '\'') return false;
  text = text.substr(1, text.size() - 2);
  if (text.front() == '-') text.remove_prefix(1);
  size_t digits = 0, points = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') ++digits;
    else if (c == '.') ++points;
    else return false;
  }
  return digits > 0 && points <= 1;
}

uint32_t longestName(const ColumnDefinition& c) {
  size_t longest = 0, all = 0;
  for (const std::string& v : c.intervalValues) {
    longest = std::max(longest, v.size());
    all += v.size() + 1;
  }
  return uint32_t(c.fieldType == FieldType::Set ? (all ? all - 1 : 0) : longest);
}

// The lengths, precision and scale a column's type gives it, as the .frm
// keeps them: text lengths in bytes, the widest character of its set each.
Status Parser::sizeColumn(ColumnDraft& d) const {
  ColumnDefinition& c = d.column;
  const TypeName& type = *d.type;
  const uint32_t width = uint32_t(std::max(1, catalogue_.maxBytesPerChar(c.charsetId)));
  const uint64_t declared = d.length.value_or(type.length);
  switch (type.kind) {
    case TypeClass::Integer:
      c.fieldLength = uint32_t(d.length.value_or(type.length - (c.isUnsigned && type.length > 1 && type.type != FieldType::LongLong ? 1 : 0)));
      break;
    case TypeClass::Decimal:
      c.precision = int32_t(std::min<uint64_t>(declared, kMaxDecimalPrecision));
      c.decimals = int32_t(std::min<uint64_t>(d.scale.value_or(0), kMaxDecimalScale));
      c.fieldLength = uint32_t(c.precision + (c.decimals ? 1 : 0) + (c.isUnsigned ? 0 : 1));
      c.packFlags |= uint16_t(c.decimals << PackFlag::DecimalsShift);
      break;
    case TypeClass::Real:
      // FLOAT(p) of more than 24 bits of precision is a DOUBLE.
      if (c.fieldType == FieldType::Float && d.length && !d.scale && *d.length > 24) c.fieldType = FieldType::Double;
      c.fieldLength = d.scale ? uint32_t(*d.length) : (c.fieldType == FieldType::Float ? 12 : 22);
      c.precision = d.scale ? int32_t(*d.length) : 0;
      c.decimals = d.scale ? int32_t(std::min<uint64_t>(*d.scale, PackFlag::NoDecimals - 1)) : 0;
      c.packFlags |= uint16_t((d.scale ? c.decimals : PackFlag::NoDecimals) << PackFlag::DecimalsShift);
      break;
    case TypeClass::Bit:
      c.fieldLength = uint32_t(std::min<uint64_t>(declared, kMaxBitWidth));
      break;
    case TypeClass::Temporal: {
      const uint64_t digits = std::min<uint64_t>(d.length.value_or(0), kMaxFractionalDigits);
      c.fieldLength = type.length + (digits ? uint32_t(digits) + 1 : 0);
      if (!context_.newTemporalFormat || d.oldTemporal) {
        if (c.fieldType == FieldType::Time2) c.fieldType = FieldType::Time;
        if (c.fieldType == FieldType::DateTime2) c.fieldType = FieldType::DateTime;
        if (c.fieldType == FieldType::Timestamp2) c.fieldType = FieldType::Timestamp;
      }
      break;
    }
    case TypeClass::Year: c.fieldLength = 4; break;
    case TypeClass::Char:
    case TypeClass::Binary:
      if (type.type == FieldType::Varchar && !d.length) return damaged("column " + c.name + ": a VARCHAR needs a length");
      c.fieldLength = uint32_t(std::min<uint64_t>(declared * (type.kind == TypeClass::Binary ? 1 : width), UINT32_MAX));
      break;
    case TypeClass::Text:
    case TypeClass::Blob:
    case TypeClass::Json:
      if (d.length) c.fieldType = blobTypeFor(*d.length * (type.kind == TypeClass::Text ? width : 1));
      c.fieldLength = blobMaxLength(c.fieldType);
      if (type.kind == TypeClass::Json && c.checkExpression.empty()) c.checkExpression = "json_valid(" + quoteIdentifier(c.name) + ")";
      break;
    case TypeClass::Enum:
      c.intervalText = quotedList(c.intervalValues);
      c.fieldLength = longestName(c) * width;
      break;
    case TypeClass::Geometry:
      c.geometryType = int32_t(type.length);
      c.fieldLength = 4294967295u;
      break;
    case TypeClass::Plugin:
      c.dataTypeName = asciiLower(type.name);
      c.fieldLength = type.length;
      break;
  }
  return Ok{};
}

Status Parser::settleColumn(ColumnDraft& d, size_t index) {
  ColumnDefinition& c = d.column;
  const TypeName& type = *d.type;
  c.fieldIndex = int32_t(index);
  auto collation = collationOf(d);
  if (!collation) return collation.failure().prefixed("column " + c.name + ": ");
  c.charsetId = *collation;
  if (Status sized = sizeColumn(d); !sized) return sized;
  const bool numeric = type.kind == TypeClass::Integer || type.kind == TypeClass::Decimal || type.kind == TypeClass::Real;
  if (numeric && !c.isUnsigned) c.packFlags |= PackFlag::Signed;
  // Dumps of older servers quote numbers ('1'); the server shows them bare.
  if ((numeric || type.kind == TypeClass::Year) && isQuotedNumber(c.defaultExpression)) {
    c.defaultExpression = c.defaultExpression.substr(1, c.defaultExpression.size() - 2);
  }
  // A TIMESTAMP is NOT NULL unless told, as servers before explicit_defaults_for_timestamp took it.
  const bool timestamp = c.fieldType == FieldType::Timestamp || c.fieldType == FieldType::Timestamp2;
  c.nullable = d.explicitNull || (!d.explicitNotNull && !timestamp);
  if (d.defaultNull && c.nullable) c.defaultExpression = "NULL";
  if (!d.hasDefault && c.nullable && c.defaultExpression.empty() && !c.isGenerated()) c.defaultExpression = "NULL";
  c.noDefault = !c.nullable && !d.hasDefault && !c.isAutoIncrement() && !c.defaultsToNow() && !c.isGenerated();
  if (c.fieldType == FieldType::Bit && table_.definition.engineCode != kEngineMyisam) c.packFlags |= PackFlag::BitAsChar;
  return Ok{};
}

// A key part's length counts bytes: characters times the widest character
// for text, the column's own bytes where the key holds all of it.
Status Parser::settleKey(KeyDraft& k) {
  std::vector<ColumnDefinition>& columns = table_.definition.columns;
  for (size_t i = 0; i < k.parts.size(); ++i) {
    const std::string& columnName = k.parts[i].first;
    const std::optional<uint64_t>& prefix = k.parts[i].second;
    const auto found = std::find_if(columns.begin(), columns.end(),
                                    [&](const ColumnDefinition& c) { return asciiLower(c.name) == asciiLower(columnName); });
    if (found == columns.end()) {
      return damaged("key " + k.key.name + " names column " + printable(columnName) + ", which the table does not have");
    }
    ColumnDefinition& c = *found;
    KeyPartDefinition part;
    part.fieldNumber = uint16_t(found - columns.begin() + 1);
    part.offset = uint16_t(std::min<uint32_t>(c.recordOffset(), UINT16_MAX));
    const bool text = c.charsetId != kBinaryCollation;
    const uint32_t width = text ? uint32_t(std::max(1, catalogue_.maxBytesPerChar(c.charsetId))) : 1;
    uint64_t length = prefix ? *prefix * width
                      : (c.fieldType == FieldType::Varchar || c.fieldType == FieldType::String) ? c.fieldLength
                                                                                               : packLength(c);
    part.length = uint16_t(std::min<uint64_t>(length, UINT16_MAX));
    if (k.descending[i]) part.partFlags = KeyPartDefinition::kDescending;
    k.key.parts.push_back(part);
  }
  k.key.partCount = uint8_t(std::min<size_t>(k.key.parts.size(), UINT8_MAX));
  return Ok{};
}

// The row image as the server lays it out: the NULL bits first (one
// reserved bit in fixed-length rows), then each stored column's bytes.
void Parser::layRowImage() {
  TableDefinition& def = table_.definition;
  placeNullBits(def, (def.createOptions & CreateOption::PackRecord) ? 0 : 1);
  uint32_t position = def.nullBytes;
  for (ColumnDefinition& c : def.columns) {
    c.recordPosition = int32_t(position + 1);
    if (!c.isVirtual) position += packLength(c);
  }
  def.recordLength = position;
}

uint8_t engineCodeOf(const std::string& name) {
  const std::string upper = asciiUpper(name);
  for (unsigned code = 0; code < 64; ++code) {
    const char* known = storageEngineName(uint8_t(code));
    if (known && asciiUpper(known) == upper) return uint8_t(code);
  }
  return 0;
}

Status Parser::build() {
  TableDefinition& def = table_.definition;
  if (columns_.empty()) return damaged("the table has no columns");
  if (def.options.engineName.empty()) def.options.engineName = "InnoDB";
  def.engineCode = engineCodeOf(def.options.engineName);
  if (def.engineCode == kEngineInnodb) def.options.engineName = "InnoDB";
  if (def.engineCode == kEngineMyisam) def.options.engineName = "MyISAM";
  def.layoutVersion = 10;
  def.serverVersion = context_.serverVersion;
  def.newTemporalFormat = context_.newTemporalFormat;
  def.tableCharsetId = !tableCollation_.empty()           ? catalogue_.collationId(tableCollation_)
                       : !tableCharset_.empty()            ? catalogue_.defaultCollationId(tableCharset_)
                                                           : catalogue_.defaultCollationId("latin1");
  if (def.tableCharsetId == 0) {
    return unsupported("the table's character set " + printable(tableCharset_ + tableCollation_) +
                       " is not in the collation catalogue");
  }
  // The columns of the primary key are NOT NULL, whatever they say.
  for (const KeyDraft& k : keys_) {
    if (!k.key.isPrimary()) continue;
    for (const auto& part : k.parts) {
      for (ColumnDraft& d : columns_) {
        if (asciiLower(d.column.name) == asciiLower(part.first)) {
          d.explicitNotNull = true;
          d.explicitNull = false;
        }
      }
    }
  }
  // Rows are of variable length with a BLOB, or a VARCHAR unless ROW_FORMAT=FIXED.
  constexpr uint8_t kFixed = 1, kDynamic = 2;
  bool variable = def.options.rowFormat == kDynamic;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (Status settled = settleColumn(columns_[i], i); !settled) return settled;
    const FieldType type = columns_[i].column.fieldType;
    variable |= keptLikeBlob(type) || (type == FieldType::Varchar && def.options.rowFormat != kFixed);
    def.columns.push_back(columns_[i].column);
  }
  if (variable) def.createOptions |= CreateOption::PackRecord;
  layRowImage();
  for (const std::string& serial : serialColumns_) addColumnKey(serial, serial);
  // The primary key first, then the unique keys, then the others, each
  // unnamed one after its first column, as the server orders and names them.
  std::stable_sort(keys_.begin(), keys_.end(), [](const KeyDraft& a, const KeyDraft& b) {
    auto rank = [](const KeyDraft& k) { return k.key.isPrimary() ? 0 : k.key.isUnique() ? 1 : 2; };
    return rank(a) < rank(b);
  });
  std::vector<std::string> taken;
  for (KeyDraft& k : keys_) {
    if (k.key.name.empty()) {
      const std::string base = k.parts.front().first;
      k.key.name = base;
      for (int n = 2; std::find(taken.begin(), taken.end(), asciiLower(k.key.name)) != taken.end(); ++n) {
        k.key.name = base + "_" + std::to_string(n);
      }
    }
    taken.push_back(asciiLower(k.key.name));
    if (Status settled = settleKey(k); !settled) return settled;
    def.keys.push_back(std::move(k.key));
  }
  markKeyColumns(def);
  return Ok{};
}

}  // namespace

Result<ParsedTable> parseCreateTable(std::string_view statement, const CollationCatalogue& catalogue,
                                     const CreateTableContext& context) {
  if (statement.find('\0') != std::string_view::npos) return damaged("the statement holds a zero byte");
  auto tokens = Lexer(statement).tokens();
  if (!tokens) return tokens.failure();
  return Parser(statement, std::move(*tokens), catalogue, context).parse();
}

}  // namespace tavrin
