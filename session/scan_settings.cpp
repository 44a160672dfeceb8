#include "session/scan_settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/output_file.h"
#include "base/path.h"
#include "session/scan.h"
#include "session/texts.h"

namespace tavrin {

namespace {

std::string home() {
  const char* h = std::getenv("HOME");
  return h && *h ? h : "";
}

std::string currentFolder() {
  std::error_code ec;
  const std::string current = std::filesystem::current_path(ec).string();
  return ec ? "." : current;
}

// XDG_DESKTOP_DIR from the user's user-dirs.dirs ("$HOME/Desktop"), else the
// home folder, else (without a home) the current folder.
std::string desktopFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string configFolder = config && *config ? config : home().empty() ? "" : home() + "/.config";
  std::ifstream in(configFolder.empty() ? "" : configFolder + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_DESKTOP_DIR=\"";
    if (line.rfind(key, 0) != 0 || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.rfind("$HOME", 0) == 0) value = home() + value.substr(5);
    if (isDirectory(value)) return stripTrailingSeparators(value);
  }
  if (!home().empty() && isDirectory(home())) return stripTrailingSeparators(home());
  return currentFolder();
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
  if (!holdsDefinitionFile(proposed.databasePath)) {
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
  // The tool only ever reads the folder it recovers from.
  if (liesWithin(joinPath(proposed.logFolder, "log"), proposed.databasePath)) {
    check.problem = texts::kLogInDatabaseFolder;
    return check;
  }
  check.settings = {stripTrailingSeparators(proposed.databasePath), stripTrailingSeparators(proposed.temporaryPath),
                    stripTrailingSeparators(proposed.logFolder), proposed.definitionsPath};
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
