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

// The statement of the view file at `path`; the view's name is the file's
// name less its extension.
Result<std::string> viewDefinitionText(const std::string& path);

}  // namespace tavrin
