#pragma once
// The CREATE VIEW statement of a view's definition file.

#include <string>
#include <string_view>

#include "base/result.h"

namespace tavrin {

// True when a definition file's first bytes mark a view ("TYPE=VIEW").
bool hasViewSignature(std::string_view firstBytes);

// The statement for the view named `viewName` from the file's text.
Result<std::string> viewStatement(std::string_view viewName, std::string_view fileText);

// What a view's file keeps of the view, to create it again as it was.
struct StoredView {
  std::string query;        // in UTF-8, its names qualified with their database
  std::string algorithm;    // UNDEFINED, MERGE or TEMPTABLE
  std::string definerUser;  // both empty when the file names no definer
  std::string definerHost;
  std::string security;     // DEFINER or INVOKER
  std::string checkOption;  // empty, LOCAL or CASCADED
};
Result<StoredView> storedView(std::string_view fileText);
Result<StoredView> readStoredView(const std::string& path);

// The statement of the view file at `path`; the view's name is the file's
// name less its extension.
Result<std::string> viewDefinitionText(const std::string& path);

}  // namespace tavrin
