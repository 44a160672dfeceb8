#include "export/sql_script.h"

#include "base/text.h"

namespace tavrin {

namespace {

constexpr size_t kWriteBufferBytes = 1 << 20;

// Each setting with the variable it changes, kept before and restored at the
// script's end.
struct ScriptSetting {
  const char* variable;
  const char* value;
};
constexpr const char* kSaveSqlMode = "'NO_AUTO_VALUE_ON_ZERO'";
constexpr ScriptSetting kScriptSettings[] = {
    {"TIME_ZONE", "'+00:00'"},
    {"SQL_MODE", kSaveSqlMode},
    {"UNIQUE_CHECKS", "0"},
    {"FOREIGN_KEY_CHECKS", "0"},
    {"SQL_NOTES", "0"},
};
constexpr const char* kCharsetVariables[] = {"CHARACTER_SET_CLIENT", "CHARACTER_SET_RESULTS", "COLLATION_CONNECTION"};

// The folder's name goes as a literal, so that nothing in it (a line break)
// leaves the comment.
std::string scriptHeader(std::string_view origin) {
  std::string text = "-- Tables saved by tavrin-recover from " + quotedLiteral(shownUtf8(origin)) + "\n\n";
  for (const char* v : kCharsetVariables) text += std::string("SET @OLD_") + v + "=@@" + v + ";\n";
  text += "SET NAMES utf8mb4;\n";
  for (const ScriptSetting& s : kScriptSettings) {
    text += std::string("SET @OLD_") + s.variable + "=@@" + s.variable + ", " + s.variable + "=" + s.value + ";\n";
  }
  return text + "\n";
}

std::string scriptFooter() {
  std::string text = "\n";
  for (const ScriptSetting& s : kScriptSettings) text += std::string("SET ") + s.variable + "=@OLD_" + s.variable + ";\n";
  for (const char* v : kCharsetVariables) text += std::string("SET ") + v + "=@OLD_" + v + ";\n";
  return text;
}

// A delimiter that the statement does not hold.
std::string_view delimiterFor(std::string_view statement) {
  for (std::string_view d : {";;", "$$", "//", "@@@@"}) {
    if (statement.find(d) == std::string_view::npos) return d;
  }
  return "~~tavrin~~";
}

}  // namespace

std::vector<std::string> saveSessionStatements() {
  std::vector<std::string> statements = {"SET NAMES utf8mb4"};
  for (const ScriptSetting& s : kScriptSettings) statements.push_back(std::string("SET ") + s.variable + "=" + s.value);
  return statements;
}

std::string saveSqlModeStatement() { return std::string("SET SQL_MODE=") + kSaveSqlMode; }

Result<std::unique_ptr<ScriptFile>> ScriptFile::create(const std::string& path, std::string_view origin) {
  auto file = OutputFile::create(path);
  if (!file) return file.failure();
  std::unique_ptr<ScriptFile> script(new ScriptFile(std::move(*file)));
  if (Status written = script->write(scriptHeader(origin)); !written) return written.failure();
  return script;
}

Status ScriptFile::write(std::string_view text) {
  buffer_.append(text);
  if (buffer_.size() < kWriteBufferBytes) return Ok{};
  Status written = file_.append(buffer_);
  buffer_.clear();
  return written;
}

Status ScriptFile::send(std::string_view statement, StatementKind kind) {
  if (kind == StatementKind::Rows && statement.size() >= kWriteBufferBytes / 4) {
    // Long statements (rows) go to the file as they are, not through the buffer.
    if (Status w = file_.append(buffer_); !w) return w;
    buffer_.clear();
    if (Status w = file_.append(statement); !w) return w;
    return write(";\n");
  }
  if (kind != StatementKind::Compound) {
    if (Status w = write(statement); !w) return w;
    return write(";\n");
  }
  const std::string_view delimiter = delimiterFor(statement);
  std::string text = "DELIMITER ";
  text.append(delimiter).append("\n").append(statement).append("\n").append(delimiter).append("\nDELIMITER ;\n");
  return write(text);
}

Status ScriptFile::complete(bool replace) {
  if (Status w = write(scriptFooter()); !w) return w;
  if (Status w = file_.append(buffer_); !w) return w;
  buffer_.clear();
  return file_.commit(replace);
}

}  // namespace tavrin
