#pragma once
// The three folders (and the optional definitions file) an Open asks for, how they are checked, and the scan
// log file they lead to.

#include <ctime>
#include <optional>
#include <string>

namespace tavrin {

struct ScanSettings {
  std::string databasePath;   // the folder to scan
  std::string temporaryPath;  // where values kept apart go while a save mode is set
  std::string logFolder;      // where the scan log is created
  // A SQL file whose CREATE TABLE statements define the tables whose .frm
  // is gone; empty for none.
  std::string definitionsPath = {};
};

// What the dialog shows first: no database folder, the system's temporary
// folder ($TMPDIR or /tmp) with a trailing separator, and the user's desktop
// folder (XDG), or the home folder when there is none, or the current folder
// without a home.
ScanSettings initialScanSettings();

// The message of the first check the settings fail, or none; on success
// the settings come back without trailing separators.
struct SettingsCheck {
  std::optional<std::string> problem;
  ScanSettings settings;
};
SettingsCheck checkScanSettings(const ScanSettings& proposed);

// TavrinMySQLDBRec_log_ + day-month-year-hour-minute-second + .txt, in local time.
std::string logFileName(std::time_t when);

}  // namespace tavrin
