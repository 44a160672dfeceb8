#include "session/scan_settings.h"

#include <cstdlib>
#include <fstream>

#include "base/path.h"
#include "session/texts.h"

namespace tavrin {

namespace {

std::string home() {
  const char* h = std::getenv("HOME");
  return h && *h ? h : "/";
}

// XDG_DESKTOP_DIR from the user's user-dirs.dirs, as "$HOME/Desktop".
std::string desktopFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string file = std::string(config && *config ? config : home() + "/.config") + "/user-dirs.dirs";
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_DESKTOP_DIR=\"";
    if (line.rfind(key, 0) != 0 || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.rfind("$HOME", 0) == 0) value = home() + value.substr(5);
    if (isDirectory(value)) return stripTrailingSeparators(value);
  }
  return stripTrailingSeparators(home());
}

}  // namespace

ScanSettings initialScanSettings() {
  ScanSettings s;
  const char* tmp = std::getenv("TMPDIR");
  s.temporaryPath = stripTrailingSeparators(tmp && *tmp ? tmp : "/tmp") + "/";
  s.logFolder = desktopFolder();
  return s;
}

SettingsCheck checkScanSettings(const ScanSettings& proposed) {
  SettingsCheck check;
  if (!isDirectory(proposed.databasePath)) {
    check.problem = texts::kInvalidDatabasePath;
    return check;
  }
  bool holdsDefinition = false;
  if (auto entries = listFolder(proposed.databasePath)) {
    for (const DirEntry& e : *entries) {
      if (!e.isDirectory && lowerExtension(e.name) == "frm" &&
          isRegularFile(joinPath(proposed.databasePath, e.name))) {
        holdsDefinition = true;
        break;
      }
    }
  }
  if (!holdsDefinition) {
    check.problem = texts::kInvalidDatabaseFolder;
    return check;
  }
  if (proposed.temporaryPath.empty() || (!isDirectory(proposed.temporaryPath) && !isRegularFile(proposed.temporaryPath))) {
    check.problem = texts::kInvalidTemporaryPath;
    return check;
  }
  if (proposed.logFolder.empty() || (!isDirectory(proposed.logFolder) && !isRegularFile(proposed.logFolder))) {
    check.problem = texts::kInvalidLogPath;
    return check;
  }
  check.settings = {stripTrailingSeparators(proposed.databasePath), stripTrailingSeparators(proposed.temporaryPath),
                    stripTrailingSeparators(proposed.logFolder)};
  return check;
}

std::string logFileName(std::time_t when) {
  std::tm t{};
  localtime_r(&when, &t);
  return std::string(texts::kLogNamePrefix) + std::to_string(t.tm_mday) + "-" + std::to_string(t.tm_mon + 1) + "-" +
         std::to_string(t.tm_year + 1900) + "-" + std::to_string(t.tm_hour) + "-" + std::to_string(t.tm_min) + "-" +
         std::to_string(t.tm_sec) + ".txt";
}

}  // namespace tavrin
