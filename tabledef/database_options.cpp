#include "tabledef/database_options.h"

#include "base/bytes.h"
#include "base/file.h"
#include "base/path.h"
#include "base/text.h"
#include "tabledef/definition_file.h"
#include "tabledef/sql_text.h"

namespace tavrin {

namespace {
constexpr uint64_t kMaxOptionsFile = 64u << 10;
}  // namespace

DatabaseOptions parseDatabaseOptions(std::string_view text) {
  DatabaseOptions options;
  // Lines end at LF; a file written on another system may end them in CR LF.
  auto value = [&](std::string_view key) {
    std::string found(definitionValue(text, key).value_or(""));
    if (!found.empty() && found.back() == '\r') found.pop_back();
    return found;
  };
  options.charset = value("default-character-set");
  options.collation = value("default-collation");
  return options;
}

DatabaseOptions knownDatabaseOptions(const DatabaseOptions& options, const CollationCatalogue& catalogue,
                                     std::vector<std::string>& leftOut) {
  DatabaseOptions known;
  auto keep = [&](const std::string& name, const char* what, bool knownName, std::string& into) {
    if (name.empty()) return;
    if (isPlainName(name) && (catalogue.empty() || knownName)) {
      into = name;
      return;
    }
    leftOut.push_back(std::string("db.opt names the ") + what + " " + quotedLiteral(shownUtf8(name)) +
                      ", which no server has; the database is made with the server's default");
  };
  keep(options.charset, "character set", catalogue.knowsCharset(options.charset), known.charset);
  keep(options.collation, "collation", catalogue.knowsCollation(options.collation), known.collation);
  return known;
}

Result<DatabaseOptions> readDatabaseOptions(const std::string& databaseFolder) {
  const std::string path = joinPath(databaseFolder, "db.opt");
  if (!pathExists(path)) return DatabaseOptions{};
  auto bytes = readSmallFile(path, kMaxOptionsFile);
  if (!bytes) return bytes.failure();
  return parseDatabaseOptions(ByteView(*bytes).chars());
}

}  // namespace tavrin
