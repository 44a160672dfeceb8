#include "tabledef/trigger_definition.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "base/bytes.h"
#include "base/file.h"
#include "base/text.h"
#include "tabledef/charset.h"
#include "tabledef/definition_file.h"
#include "tabledef/sql_text.h"

namespace tavrin {

namespace {
constexpr std::string_view kTriggerSignature = "TYPE=TRIGGERS";
constexpr std::string_view kDefinerClause = "CREATE DEFINER=";
constexpr uint64_t kMaxDefinitionFileSize = 64u << 20;

std::string_view trimmed(std::string_view s) {
  const char* space = " \t\r\n\f\v";
  size_t first = s.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  size_t last = s.find_last_not_of(space);
  return s.substr(first, last - first + 1);
}
std::vector<std::string> splitWords(std::string_view text) {
  std::vector<std::string> words;
  size_t p = 0;
  while (p < text.size()) {
    const size_t end = std::min(text.find(' ', p), text.size());
    if (end > p) words.emplace_back(text.substr(p, end - p));
    p = end + 1;
  }
  return words;
}

}  // namespace

CToken::CToken(std::string text) : given_(text), remaining_(std::move(text)) {}

void CToken::setSeparator(std::string separator) { separator_ = std::move(separator); }

std::string CToken::nextToken() {
  if (lastTokenPending_) {
    lastTokenPending_ = 0;
    return remaining_;
  }
  std::string token;
  size_t at = remaining_.find(separator_);
  if (at != std::string::npos) {
    token = remaining_.substr(0, at);
    remaining_ = remaining_.substr(at + separator_.size());
  }
  if (remaining_.find(separator_) == std::string::npos) lastTokenPending_ = 1;
  return token;
}

bool CToken::hasMoreTokens(bool excludeLast) {
  if (remaining_.find(separator_) != std::string::npos) return true;
  return lastTokenPending_ && !excludeLast;
}

Result<std::string> triggerScript(std::string_view fileText) {
  if (fileText.substr(0, kTriggerSignature.size()) != kTriggerSignature) {
    return damaged("not a trigger definition file");
  }
  auto value = definitionValue(fileText, "triggers");
  if (!value || value->empty()) return std::string();
  auto statements = splitDefinitionList(*value);
  if (!statements) return damaged("the trigger list is damaged: " + statements.reason());

  std::string script;
  for (const std::string& statement : *statements) {
    // The DEFINER clause goes: the script creates the trigger for whoever runs
    // it. Servers before 5.0.17 wrote no DEFINER clause at all.
    std::string rest = statement;
    CToken tokens(statement);
    tokens.setSeparator(std::string(kDefinerClause));
    if (tokens.hasMoreTokens(true)) {
      tokens.nextToken();  // the text before the clause
      rest.clear();
      for (bool first = true; tokens.hasMoreTokens(); first = false) {
        if (!first) rest += kDefinerClause;  // the same words later in the body stay
        rest += tokens.nextToken();
      }
    }
    size_t trigger = rest.find("TRIGGER");
    if (trigger == std::string::npos) continue;
    const std::string created = "CREATE " + std::string(trimmed(std::string_view(rest).substr(trigger)));
    // A client runs the script: the statement must end at its delimiter and nowhere else.
    Status one = checkStatement(created, StatementKind::Compound);
    if (one && created.find("$$") != std::string::npos) one = damaged("it holds the delimiter $$");
    if (!one) return one.failure().prefixed("a trigger is not one statement that a client reads alike: ");
    script += "DELIMITER $$\n" + created + "\n$$\nDELIMITER ;\n";
  }
  return script;
}

namespace {

// A name at `p`: quoted in backquotes (doubled inside) or bare up to a space,
// a dot or a backquote.
std::string identifierAt(std::string_view text, size_t& p) {
  std::string name;
  if (p < text.size() && text[p] == '`') {
    for (++p; p < text.size(); ++p) {
      if (text[p] != '`') {
        name.push_back(text[p]);
      } else if (p + 1 < text.size() && text[p + 1] == '`') {
        name.push_back('`');
        ++p;
      } else {
        ++p;
        break;
      }
    }
    return name;
  }
  while (p < text.size() && text[p] != '.' && text[p] != '`' && !std::isspace(static_cast<unsigned char>(text[p]))) {
    name.push_back(text[p++]);
  }
  return name;
}

// The statement in UTF-8: the server keeps it in the character set of the
// client that created it.
std::string statementText(const std::string& stored, std::string_view clientCharset) {
  if (isValidUtf8(stored) || clientCharset.empty()) return stored;
  return TextDecoder(clientCharset).decode(ByteView(std::string_view(stored)));
}

}  // namespace

std::string triggerNameOf(std::string_view statement) {
  size_t p = 0;
  for (;;) {
    p = statement.find("TRIGGER", p);
    if (p == std::string_view::npos) return {};
    const bool wordStart = p == 0 || std::isspace(static_cast<unsigned char>(statement[p - 1]));
    p += 7;
    if (wordStart && p < statement.size() && std::isspace(static_cast<unsigned char>(statement[p]))) break;
  }
  while (p < statement.size() && std::isspace(static_cast<unsigned char>(statement[p]))) ++p;
  std::string name = identifierAt(statement, p);
  if (p < statement.size() && statement[p] == '.') name = identifierAt(statement, ++p);
  return name;
}

Result<std::vector<StoredTrigger>> storedTriggers(std::string_view fileText) {
  if (fileText.substr(0, kTriggerSignature.size()) != kTriggerSignature) {
    return damaged("not a trigger definition file");
  }
  std::vector<StoredTrigger> triggers;
  auto value = definitionValue(fileText, "triggers");
  if (!value || value->empty()) return triggers;
  auto statements = splitDefinitionList(*value);
  if (!statements) return damaged("the trigger list is damaged: " + statements.reason());
  std::vector<std::string> modes, charsets;
  if (auto m = definitionValue(fileText, "sql_modes")) modes = splitWords(*m);
  if (auto c = definitionValue(fileText, "client_cs_names"); c && !c->empty()) {
    if (auto list = splitDefinitionList(*c)) charsets = std::move(*list);
  }
  for (size_t i = 0; i < statements->size(); ++i) {
    StoredTrigger t;
    t.statement = statementText((*statements)[i], i < charsets.size() ? charsets[i] : std::string());
    t.name = triggerNameOf(t.statement);
    if (i < modes.size()) {
      char* end = nullptr;
      t.sqlMode = std::strtoull(modes[i].c_str(), &end, 10);
      t.hasSqlMode = end && *end == '\0' && !modes[i].empty();
    }
    triggers.push_back(std::move(t));
  }
  return triggers;
}

Result<std::string> triggerDefinitionText(const std::string& path) {
  auto bytes = readSmallFile(path, kMaxDefinitionFileSize);
  if (!bytes) return bytes.failure();
  auto script = triggerScript(ByteView(*bytes).chars());
  if (!script) return script.failure().prefixed(path + ": ");
  return script;
}

}  // namespace tavrin
