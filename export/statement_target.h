#pragma once
// Where the statements of a save go: a script file or a server connection.

#include <string_view>

#include "base/result.h"
#include "tabledef/sql_text.h"

namespace tavrin {

class StatementTarget {
 public:
  virtual ~StatementTarget() = default;
  // One whole statement, without a terminating semicolon, in a session of
  // `mode`. It goes only once it is proven one statement of its kind, since
  // parts of it come from the files read; a server's refusal is a failure
  // with the server's text.
  Status execute(std::string_view statement, StatementKind kind = StatementKind::Plain, QuoteMode mode = {}) {
    if (Status one = checkStatement(statement, kind, mode); !one) {
      return one.failure().prefixed("not one statement that the server and its client read alike: ");
    }
    return send(statement, kind);
  }

 protected:
  virtual Status send(std::string_view statement, StatementKind kind) = 0;
};

}  // namespace tavrin
