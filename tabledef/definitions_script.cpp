#include "tabledef/definitions_script.h"

#include <algorithm>
#include <cctype>

#include "base/file.h"
#include "base/text.h"
#include "tabledef/sql_text.h"

namespace tavrin {

namespace {

constexpr size_t kPieceBytes = 1u << 20;
constexpr size_t kHeaderBytes = 4096;

// A statement without the comments before it; one wholly inside a
// versioned comment (/*!50001 CREATE ... */), as dumps write the statements
// of newer servers, without that comment's marks.
std::string_view unwrapped(std::string_view s) {
  // Comments before the statement, which the reading keeps, are no part of it.
  while (s.starts_with("/*") && !s.starts_with("/*!") && !s.starts_with("/*M!")) {
    const size_t end = s.find("*/");
    if (end == std::string_view::npos) return {};
    s.remove_prefix(end + 2);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  }
  if (!(s.starts_with("/*!") || s.starts_with("/*M!")) || !s.ends_with("*/")) return s;
  size_t at = s.starts_with("/*M!") ? 4 : 3;
  while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at]))) ++at;
  s = s.substr(at, s.size() - at - 2);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  return s;
}

// The leading words of a statement, upper case, and the names among them
// unquoted: enough to tell what it is and what it names.
std::vector<std::string> leadingWords(std::string_view s, size_t count) {
  std::vector<std::string> words;
  size_t at = 0;
  while (words.size() < count && at < s.size()) {
    const char c = s[at];
    if (std::isspace(static_cast<unsigned char>(c)) || c == '.' || c == ',' || c == '=') {
      ++at;
    } else if (s.substr(at, 3) == "/*!" || s.substr(at, 4) == "/*M!") {
      // A versioned comment's marks; its text is read as the server runs it.
      at += s.substr(at, 4) == "/*M!" ? 4 : 3;
      while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at]))) ++at;
    } else if (s.substr(at, 2) == "*/") {
      at += 2;
    } else if (c == '`' || c == '"') {
      std::string name;
      for (++at; at < s.size(); ++at) {
        if (s[at] == c && !(at + 1 < s.size() && s[at + 1] == c)) break;
        if (s[at] == c) ++at;
        name.push_back(s[at]);
      }
      ++at;
      words.push_back("`" + name);  // a quoted name keeps its case, and is no keyword
    } else {
      const size_t start = at;
      while (at < s.size() && !std::isspace(static_cast<unsigned char>(s[at])) && s[at] != '.' && s[at] != ',' &&
             s[at] != '`' && s[at] != ';' && s[at] != '(' && s[at] != '=' && s.substr(at, 2) != "*/") {
        ++at;
      }
      if (at == start) ++at;
      words.push_back(std::string(s.substr(start, at - start)));
    }
  }
  return words;
}

std::string nameOf(const std::string& word) { return word.starts_with("`") ? word.substr(1) : word; }
bool is(const std::vector<std::string>& words, size_t i, std::string_view upper) {
  return i < words.size() && !words[i].starts_with("`") && asciiUpper(words[i]) == upper;
}

// The server version a dump's header names ("-- Server version 5.5.38-MariaDB-log"):
// 50538, and whether it is MariaDB's.
CreateTableContext contextOfHeader(std::string_view head) {
  CreateTableContext context;
  const size_t at = head.find("Server version");
  if (at == std::string_view::npos) return context;
  const std::string_view line = head.substr(at, head.find('\n', at) - at);
  const size_t digits = line.find_first_of("0123456789");
  if (digits == std::string_view::npos) return context;
  uint32_t parts[3] = {};
  size_t part = 0;
  for (size_t i = digits; i < line.size() && part < 3; ++i) {
    if (line[i] == '.') {
      ++part;
    } else if (std::isdigit(static_cast<unsigned char>(line[i]))) {
      parts[part] = parts[part] * 10 + uint32_t(line[i] - '0');
      if (parts[part] > 999) return context;
    } else {
      break;
    }
  }
  context.serverVersion = parts[0] * 10000 + parts[1] * 100 + parts[2];
  const bool mariadb = line.find("MariaDB") != std::string_view::npos;
  // MySQL 5.6.4 and MariaDB 10.1.2 made the newer layouts their default.
  context.newTemporalFormat = context.serverVersion >= (mariadb ? 100102u : 50604u);
  return context;
}

// Reads the script's statements in order into the tables it leaves defined.
class ScriptReader {
 public:
  ScriptReader(const CollationCatalogue& catalogue, DefinitionsScript& script) : catalogue_(catalogue), script_(script) {}

  void read(const ScriptStatement& statement) {
    const std::string_view text = unwrapped(statement.text);
    const std::vector<std::string> words = leadingWords(text, 24);
    if (is(words, 0, "USE") && words.size() > 1) {
      database_ = nameOf(words[1]);
    } else if (is(words, 0, "CREATE") && (is(words, 1, "DATABASE") || is(words, 1, "SCHEMA"))) {
      const size_t at = is(words, 2, "IF") ? 5 : 2;
      if (database_.empty() && at < words.size()) database_ = nameOf(words[at]);
    } else if (is(words, 0, "DROP") && is(words, 1, "TABLE")) {
      dropTables(text);
    } else if (is(words, 0, "CREATE") && isTableStatement(words)) {
      createTable(text, statement.line);
    } else if (is(words, 0, "CREATE")) {
      // A view ends the table a dump made in its place.
      const auto view = std::find_if(words.begin(), words.end(), [](const std::string& w) { return asciiUpper(w) == "VIEW"; });
      if (view != words.end() && view + 1 != words.end()) forget(qualified(words, size_t(view - words.begin()) + 1));
    }
  }

 private:
  static bool isTableStatement(const std::vector<std::string>& words) {
    size_t at = 1;
    if (is(words, at, "OR") && is(words, at + 1, "REPLACE")) at += 2;
    if (is(words, at, "TEMPORARY")) return false;
    return is(words, at, "TABLE");
  }

  // The database and table a name at `at` of `words` stands for.
  std::pair<std::string, std::string> qualified(const std::vector<std::string>& words, size_t at) const {
    return {database_, nameOf(words[at])};
  }

  void forget(const std::pair<std::string, std::string>& table) {
    auto& tables = script_.tables;
    tables.erase(std::remove_if(tables.begin(), tables.end(),
                                [&](const ScriptTable& t) {
                                  return asciiLower(t.database) == asciiLower(table.first) &&
                                         asciiLower(t.name) == asciiLower(table.second);
                                }),
                 tables.end());
  }

  void dropTables(std::string_view text) {
    const std::vector<std::string> words = leadingWords(text, 64);
    for (size_t i = is(words, 2, "IF") ? 4 : 2; i < words.size(); ++i) forget(qualified(words, i));
  }

  void createTable(std::string_view text, size_t line) {
    auto parsed = parseCreateTable(text, catalogue_, script_.context);
    if (!parsed) {
      const std::vector<std::string> words = leadingWords(text, 8);
      std::string name;
      for (size_t i = 1; i + 1 < words.size() && name.empty(); ++i) {
        if (is(words, i, "TABLE")) name = nameOf(words[is(words, i + 1, "IF") ? std::min(i + 4, words.size() - 1) : i + 1]);
      }
      script_.notes.push_back(script_.path + " line " + std::to_string(line) + ": CREATE TABLE " + printable(name) +
                              " is not read: " + parsed.reason());
      return;
    }
    ScriptTable table;
    table.database = parsed->database.empty() ? database_ : parsed->database;
    table.name = parsed->name;
    table.line = line;
    table.statement = std::string(text);
    table.context = script_.context;
    table.definition = std::move(parsed->definition);
    table.definition.fromStatement = true;
    forget({table.database, table.name});
    script_.tables.push_back(std::move(table));
  }

  const CollationCatalogue& catalogue_;
  DefinitionsScript& script_;
  std::string database_;
};

Status checkText(std::string_view piece, const std::string& path) {
  if (piece.find('\0') != std::string_view::npos) {
    return damaged(path + " holds zero bytes: it is not a SQL script of CREATE TABLE statements");
  }
  return Ok{};
}

Result<DefinitionsScript> finished(DefinitionsScript script) {
  if (!script.tables.empty()) return script;
  std::string why = script.path + " holds no CREATE TABLE statement that could be read";
  if (!script.notes.empty()) why += " (" + script.notes.front() + ")";
  return damaged(why);
}

}  // namespace

const ScriptTable* DefinitionsScript::find(std::string_view database, std::string_view table) const {
  const ScriptTable* unplaced = nullptr;
  for (const ScriptTable& t : tables) {
    if (asciiLower(t.name) != asciiLower(table)) continue;
    if (asciiLower(t.database) == asciiLower(database)) return &t;
    if (t.database.empty()) unplaced = &t;
  }
  return unplaced;
}

std::string DefinitionsScript::placeOf(const ScriptTable& table) const {
  return path + " line " + std::to_string(table.line);
}

Result<DefinitionsScript> readDefinitionsScript(std::string_view text, const CollationCatalogue& catalogue,
                                                const std::string& path) {
  if (Status sound = checkText(text, path); !sound) return sound.failure();
  DefinitionsScript script;
  script.path = path;
  script.context = contextOfHeader(text.substr(0, kHeaderBytes));
  ScriptReader reader(catalogue, script);
  ScriptSplitter splitter(true);
  splitter.addLines(text);
  splitter.finish();
  for (const ScriptStatement& s : splitter.take()) reader.read(s);
  return finished(std::move(script));
}

Result<DefinitionsScript> loadDefinitionsScript(const std::string& path, const CollationCatalogue& catalogue) {
  auto file = ReadOnlyFile::open(path);
  if (!file) return file.failure();
  DefinitionsScript script;
  script.path = path;
  script.context = contextOfHeader(ByteView(file->readAt(0, kHeaderBytes)).chars());
  ScriptReader reader(catalogue, script);
  ScriptSplitter splitter(true);
  std::string carried;  // the start of a line that the last piece cut
  for (uint64_t at = 0; at < file->size();) {
    const std::vector<uint8_t> piece = file->readAt(at, kPieceBytes);
    if (piece.empty()) return ioFailure(path + ": the file could not be read past byte " + std::to_string(at));
    at += piece.size();
    carried.append(ByteView(piece).chars());
    if (Status sound = checkText(ByteView(piece).chars(), path); !sound) return sound.failure();
    const size_t lastLine = at < file->size() ? carried.rfind('\n') : carried.size() - 1;
    if (lastLine == std::string::npos) continue;
    splitter.addLines(std::string_view(carried).substr(0, lastLine + 1));
    carried.erase(0, lastLine + 1);
    for (const ScriptStatement& s : splitter.take()) reader.read(s);
  }
  splitter.finish();
  for (const ScriptStatement& s : splitter.take()) reader.read(s);
  return finished(std::move(script));
}

Result<TableDefinition> withOtherTemporalLayout(const ScriptTable& table, const CollationCatalogue& catalogue) {
  CreateTableContext other = table.context;
  other.newTemporalFormat = !other.newTemporalFormat;
  auto parsed = parseCreateTable(table.statement, catalogue, other);
  if (!parsed) return parsed.failure();
  parsed->definition.fromStatement = true;
  return std::move(parsed->definition);
}

}  // namespace tavrin
