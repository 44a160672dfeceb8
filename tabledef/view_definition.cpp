#include "tabledef/view_definition.h"

#include <initializer_list>
#include <utility>

#include "base/bytes.h"
#include "base/file.h"
#include "base/path.h"
#include "base/text.h"
#include "tabledef/charset.h"
#include "tabledef/definition_file.h"
#include "tabledef/sql_text.h"

namespace tavrin {

namespace {
constexpr std::string_view kViewSignature = "TYPE=VIEW";
constexpr uint64_t kMaxDefinitionFileSize = 64u << 20;
// The query as text: servers since 5.1 write it in UTF-8; older ones wrote
// it in the character set of the client that created the view, which later
// files name and earlier ones (latin1 servers) do not.
std::string queryText(const std::string& bytes, std::string_view fileText) {
  if (isValidUtf8(bytes)) return bytes;
  const std::optional<std::string_view> client = definitionValue(fileText, "client_cs_name");
  return TextDecoder(client && !client->empty() ? *client : "latin1").decode(ByteView(std::string_view(bytes)));
}

// A number-coded property; `fallback` where the file has none or it is out
// of range.
const char* codedValue(std::string_view fileText, std::string_view key, std::initializer_list<const char*> names,
                       const char* fallback) {
  const std::optional<std::string_view> value = definitionValue(fileText, key);
  if (!value || value->size() != 1 || (*value)[0] < '0') return fallback;
  const size_t code = size_t((*value)[0] - '0');
  return code < names.size() ? names.begin()[code] : fallback;
}

Result<std::string> storedQuery(std::string_view fileText) {
  std::optional<std::string_view> stored = definitionValue(fileText, "query");
  if (!stored) return std::string();
  auto unescaped = unescapeDefinitionValue(*stored);
  if (!unescaped) return damaged("the view's query is damaged: " + unescaped.reason());
  return queryText(*unescaped, fileText);
}

}  // namespace

Result<StoredView> storedView(std::string_view fileText) {
  if (!hasViewSignature(fileText)) return damaged("not a view definition file");
  auto query = storedQuery(fileText);
  if (!query) return query.failure();
  if (query->empty()) return damaged("the view's query is missing");
  StoredView view;
  view.query = std::move(*query);
  view.algorithm = codedValue(fileText, "algorithm", {"UNDEFINED", "MERGE", "TEMPTABLE"}, "UNDEFINED");
  // 2 is the default, which is DEFINER.
  view.security = codedValue(fileText, "suid", {"INVOKER", "DEFINER", "DEFINER"}, "DEFINER");
  view.checkOption = codedValue(fileText, "with_check_option", {"", "LOCAL", "CASCADED"}, "");
  for (auto [key, field] : {std::pair{"definer_user", &view.definerUser}, std::pair{"definer_host", &view.definerHost}}) {
    const std::optional<std::string_view> value = definitionValue(fileText, key);
    if (!value) continue;
    auto unescaped = unescapeDefinitionValue(*value);
    if (unescaped) *field = std::move(*unescaped);
  }
  return view;
}

Result<StoredView> readStoredView(const std::string& path) {
  auto bytes = readSmallFile(path, kMaxDefinitionFileSize);
  if (!bytes) return bytes.failure();
  auto view = storedView(ByteView(*bytes).chars());
  if (!view) return view.failure().prefixed(path + ": ");
  return view;
}

bool hasViewSignature(std::string_view firstBytes) {
  return firstBytes.substr(0, kViewSignature.size()) == kViewSignature;
}

Result<std::string> viewStatement(std::string_view viewName, std::string_view fileText) {
  if (!hasViewSignature(fileText)) return damaged("not a view definition file");
  auto query = storedQuery(fileText);
  if (!query) return query.failure();
  const std::string statement = "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW " +
                                quoteIdentifier(viewName) + " AS " + *query;
  // A client may run the text: it must end at its semicolon and nowhere else.
  if (Status one = checkStatement(statement, StatementKind::Plain); !one && !query->empty()) {
    return one.failure().prefixed("the view is not one statement that a client reads alike: ");
  }
  return statement + ";";
}

Result<std::string> viewDefinitionText(const std::string& path) {
  auto bytes = readSmallFile(path, kMaxDefinitionFileSize);
  if (!bytes) return bytes.failure();
  std::string fileName = lastComponent(path);
  std::string stem = fileName.substr(0, fileName.rfind('.'));
  auto statement = viewStatement(objectNameFromFileName(stem), ByteView(*bytes).chars());
  if (!statement) return statement.failure().prefixed(path + ": ");
  return statement;
}

}  // namespace tavrin
