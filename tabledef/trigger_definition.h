#pragma once
// The trigger statements of a table's trigger (.TRG) file, as a script that a
// client can run.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace tavrin {

// Splits a text at a separator string (initially one space). When no
// separator is left, the rest of the text is the last token, still pending.
class CToken {
 public:
  explicit CToken(std::string text);
  virtual std::string nextToken();
  virtual bool hasMoreTokens(bool excludeLast = false);
  virtual ~CToken() = default;

  void setSeparator(std::string separator);

 private:
  std::string given_;
  std::string remaining_;
  std::string separator_ = " ";
  int32_t lastTokenPending_ = 0;
};

// The script of every trigger in a trigger file's text: for each one
// "DELIMITER $$", its CREATE TRIGGER statement without the DEFINER clause,
// "$$" and "DELIMITER ;", each on a line of its own.
Result<std::string> triggerScript(std::string_view fileText);

Result<std::string> triggerDefinitionText(const std::string& path);

// One trigger of a trigger file as the server keeps it, to be created again.
struct StoredTrigger {
  std::string name;
  std::string statement;  // CREATE DEFINER=... TRIGGER ..., in UTF-8
  uint64_t sqlMode = 0;   // the server's bits of the mode it was created under
  bool hasSqlMode = false;
};

// Every trigger of a trigger file's text, in the order the server fires them.
Result<std::vector<StoredTrigger>> storedTriggers(std::string_view fileText);

// The name a CREATE TRIGGER statement gives its trigger (without a database).
std::string triggerNameOf(std::string_view statement);

}  // namespace tavrin
