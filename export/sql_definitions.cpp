#include "export/sql_definitions.h"

#include <algorithm>
#include <iterator>

#include "tabledef/definition_file.h"
#include "tabledef/sql_text.h"

namespace tavrin {

std::string createDatabaseStatement(std::string_view name, const DatabaseOptions& options, bool ifNotExists) {
  std::string text = std::string("CREATE DATABASE ") + (ifNotExists ? "IF NOT EXISTS " : "") + quoteIdentifier(name);
  if (options.charset.empty() && options.collation.empty()) return text;
  text += " /*!40100";
  if (!options.charset.empty()) text += " DEFAULT CHARACTER SET " + options.charset;
  if (!options.collation.empty()) text += " COLLATE " + options.collation;
  return text + " */";
}

std::string createViewStatement(std::string_view name, const StoredView& view) {
  std::string text = "CREATE ALGORITHM=" + view.algorithm;
  if (!view.definerUser.empty() || !view.definerHost.empty()) {
    text += " DEFINER=" + quoteIdentifier(view.definerUser) + "@" + quoteIdentifier(view.definerHost);
  }
  text += " SQL SECURITY " + view.security + " VIEW " + quoteIdentifier(name) + " AS " + view.query;
  if (!view.checkOption.empty()) text += " WITH " + view.checkOption + " CHECK OPTION";
  return text;
}

namespace {

// In bit order, as the server names them.
constexpr const char* kSqlModeNames[] = {
    "REAL_AS_FLOAT", "PIPES_AS_CONCAT", "ANSI_QUOTES", "IGNORE_SPACE", "IGNORE_BAD_TABLE_OPTIONS",
    "ONLY_FULL_GROUP_BY", "NO_UNSIGNED_SUBTRACTION", "NO_DIR_IN_CREATE", "POSTGRESQL", "ORACLE", "MSSQL", "DB2",
    "MAXDB", "NO_KEY_OPTIONS", "NO_TABLE_OPTIONS", "NO_FIELD_OPTIONS", "MYSQL323", "MYSQL40", "ANSI",
    "NO_AUTO_VALUE_ON_ZERO", "NO_BACKSLASH_ESCAPES", "STRICT_TRANS_TABLES", "STRICT_ALL_TABLES", "NO_ZERO_IN_DATE",
    "NO_ZERO_DATE", "ALLOW_INVALID_DATES", "ERROR_FOR_DIVISION_BY_ZERO", "TRADITIONAL", "NO_AUTO_CREATE_USER",
    "HIGH_NOT_PRECEDENCE", "NO_ENGINE_SUBSTITUTION", "PAD_CHAR_TO_FULL_LENGTH", "EMPTY_STRING_IS_NULL",
    "SIMULTANEOUS_ASSIGNMENT", "TIME_ROUND_FRACTIONAL",
};

}  // namespace

std::string sqlModeNames(uint64_t bits) {
  std::string text;
  for (size_t i = 0; i < std::size(kSqlModeNames); ++i) {
    if (!(bits & (uint64_t(1) << i))) continue;
    if (!text.empty()) text.push_back(',');
    text += kSqlModeNames[i];
  }
  return text;
}

QuoteMode quoteModeOf(uint64_t bits) {
  auto has = [&](std::string_view name) {
    const auto* found = std::find(std::begin(kSqlModeNames), std::end(kSqlModeNames), name);
    return found != std::end(kSqlModeNames) && (bits >> (found - std::begin(kSqlModeNames)) & 1);
  };
  // The modes that stand for several include ANSI_QUOTES.
  const bool ansi = has("ANSI_QUOTES") || has("ANSI") || has("POSTGRESQL") || has("ORACLE") || has("MSSQL") ||
                    has("DB2") || has("MAXDB");
  return {has("NO_BACKSLASH_ESCAPES"), ansi};
}

std::vector<size_t> viewsReadBy(const StoredView& view, std::string_view database,
                                const std::vector<std::string>& views) {
  // The server writes every table a view reads as `database`.`name`.
  const std::string prefix = quoteIdentifier(database) + ".";
  std::vector<size_t> read;
  for (size_t i = 0; i < views.size(); ++i) {
    if (view.query.find(prefix + quoteIdentifier(views[i])) != std::string::npos) read.push_back(i);
  }
  return read;
}

}  // namespace tavrin
