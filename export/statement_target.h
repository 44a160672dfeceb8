#pragma once
// Where the statements of a save go: a script file or a server connection.

#include <string_view>

#include "base/result.h"

namespace tavrin {

enum class StatementKind {
  Plain,
  // Holds semicolons of its own (a trigger's body): a script sets another
  // delimiter around it.
  Compound,
};

class StatementTarget {
 public:
  virtual ~StatementTarget() = default;
  // One whole statement, without a terminating semicolon. A server's
  // refusal is a failure with the server's text.
  virtual Status execute(std::string_view statement, StatementKind kind = StatementKind::Plain) = 0;
};

}  // namespace tavrin
