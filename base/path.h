#pragma once
// Paths and folder listings. Paths are joined with exactly one separator and
// stored folder paths never end with one.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "base/text.h"

namespace tavrin {

inline constexpr char kSeparator = '/';

// Every run of separators becomes one separator.
std::string collapseSeparators(std::string_view path);
// The path without trailing separators; the root folder stays "/".
std::string stripTrailingSeparators(std::string_view path);
// folder + one separator + name, doubled separators collapsed.
std::string joinPath(std::string_view folder, std::string_view name);
// The text after the last separator (the whole path when it has none).
std::string lastComponent(std::string_view path);
// The path made absolute from the current folder and normalized, without a
// trailing separator; the path as it is where that cannot be done.
std::string absoluteFolder(const std::string& folder);
// The text after the last "." of a file name, lower-cased; empty without a ".".
std::string lowerExtension(std::string_view fileName);

struct DirEntry {
  std::string name;
  bool isDirectory = false;
};

// The entries of a folder except "." and "..", sorted by name so that every
// listing of the same folder is in the same order.
Result<std::vector<DirEntry>> listFolder(const std::string& folder);

bool isDirectory(const std::string& path);
// True when something, even a dangling link, has this name.
bool pathExists(const std::string& path);
bool isRegularFile(const std::string& path);

// The path of the file `baseName` + `extension` in `folder`. The server writes
// some extensions in capitals (.MYD, .MYI, .TRG) and others in lower case, so
// the extension is matched ignoring case; the base name exactly when such a
// file exists, else ignoring case too.
std::optional<std::string> findTableFile(const std::string& folder, std::string_view baseName,
                                         std::string_view extension);

}  // namespace tavrin
