#pragma once
// The trigger statements of a table's trigger (.TRG) file, as a script that a
// client can run.

#include <cstdint>
#include <string>
#include <string_view>

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

}  // namespace tavrin
