#include "tabledef/trigger_definition.h"

#include "base/bytes.h"
#include "base/file.h"
#include "tabledef/definition_file.h"

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
    script += "DELIMITER $$\nCREATE ";
    script += trimmed(std::string_view(rest).substr(trigger));
    script += "\n$$\nDELIMITER ;\n";
  }
  return script;
}

Result<std::string> triggerDefinitionText(const std::string& path) {
  auto bytes = readSmallFile(path, kMaxDefinitionFileSize);
  if (!bytes) return bytes.failure();
  auto script = triggerScript(ByteView(*bytes).chars());
  if (!script) return script.failure().prefixed(path + ": ");
  return script;
}

}  // namespace tavrin
