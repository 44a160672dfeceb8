#include "tabledef/view_definition.h"

#include "base/bytes.h"
#include "base/file.h"
#include "base/path.h"
#include "base/text.h"
#include "tabledef/charset.h"
#include "tabledef/definition_file.h"

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

}  // namespace

bool hasViewSignature(std::string_view firstBytes) {
  return firstBytes.substr(0, kViewSignature.size()) == kViewSignature;
}

Result<std::string> viewStatement(std::string_view viewName, std::string_view fileText) {
  if (!hasViewSignature(fileText)) return damaged("not a view definition file");
  std::string query;
  if (auto stored = definitionValue(fileText, "query")) {
    auto unescaped = unescapeDefinitionValue(*stored);
    if (!unescaped) return damaged("the view's query is damaged: " + unescaped.reason());
    query = queryText(*unescaped, fileText);
  }
  return "CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW " +
         quoteIdentifier(viewName) + " AS " + query + ";";
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
