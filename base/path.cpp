#include "base/path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <dirent.h>
#include <sys/stat.h>

#include "base/file.h"

namespace tavrin {

std::string collapseSeparators(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == kSeparator && !out.empty() && out.back() == kSeparator) continue;
    out.push_back(c);
  }
  return out;
}

std::string stripTrailingSeparators(std::string_view path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == kSeparator) --end;
  return std::string(path.substr(0, end));
}

std::string joinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  joined.push_back(kSeparator);
  joined.append(name);
  return collapseSeparators(joined);
}

std::string lastComponent(std::string_view path) {
  size_t slash = path.rfind(kSeparator);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string absoluteFolder(const std::string& folder) {
  std::error_code ec;
  std::string absolute = std::filesystem::absolute(folder, ec).lexically_normal().string();
  return stripTrailingSeparators(ec ? folder : absolute);
}

std::string lowerExtension(std::string_view fileName) {
  size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return {};
  return asciiLower(fileName.substr(dot + 1));
}

Result<std::vector<DirEntry>> listFolder(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return openFailure("cannot list " + folder, errno);
  std::vector<DirEntry> entries;
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    entries.push_back({name, isDirectory(joinPath(folder, name))});
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return entries;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool isRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::string> findTableFile(const std::string& folder, std::string_view baseName,
                                         std::string_view extension) {
  auto entries = listFolder(folder);
  if (!entries) return std::nullopt;
  const std::string wantedExtension = asciiLower(extension);
  const std::string wantedLower = asciiLower(std::string(baseName) + std::string(extension));
  std::optional<std::string> caseless;
  for (const DirEntry& e : *entries) {
    if (e.isDirectory || e.name.size() != baseName.size() + extension.size()) continue;
    std::string_view name = e.name;
    if (name.substr(0, baseName.size()) == baseName &&
        asciiLower(name.substr(baseName.size())) == wantedExtension) {
      return joinPath(folder, e.name);
    }
    if (!caseless && asciiLower(name) == wantedLower) caseless = joinPath(folder, e.name);
  }
  return caseless;
}

}  // namespace tavrin
