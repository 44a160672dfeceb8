#pragma once
// The session settings a save runs under, and the script file that carries
// them with the statements of a save: loadable with a plain `mariadb < FILE`,
// leaving the client's settings as they were at its end.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/output_file.h"
#include "export/statement_target.h"

namespace tavrin {

// UTF-8 text, TIMESTAMP literals in UTC, a 0 in an AUTO_INCREMENT column
// kept as 0 (and zero dates and the empty ENUM value taken as the server
// kept them), no key checks while rows go in.
std::vector<std::string> saveSessionStatements();
// The SQL mode of those settings, set again after statements that need
// their own (triggers keep the mode they were made under).
std::string saveSqlModeStatement();

class ScriptFile : public StatementTarget {
 public:
  // A script written under a temporary name beside `path`; `origin` says in
  // its first line where the objects come from.
  static Result<std::unique_ptr<ScriptFile>> create(const std::string& path, std::string_view origin);

  // Ends the script and gives it its name, over an existing file only when
  // `replace` is true. Without it, nothing of the script is kept.
  Status complete(bool replace);
  const std::string& path() const { return file_.path(); }

 protected:
  Status send(std::string_view statement, StatementKind kind) override;

 private:
  explicit ScriptFile(OutputFile file) : file_(std::move(file)) {}
  Status write(std::string_view text);

  OutputFile file_;
  std::string buffer_;
};

}  // namespace tavrin
