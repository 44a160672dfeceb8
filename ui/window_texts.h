#pragma once
// The texts of the desktop window, each in one place; the session's own
// texts are in session/texts.h.

namespace tavrin::ui::texts {

inline constexpr const char* kCategory = "MySQL Database Recovery";
inline constexpr const char* kOpen = "Open";
inline constexpr const char* kOpenTip = "Open Database file";
inline constexpr const char* kStop = "Stop";
inline constexpr const char* kStopTip = "Stop running process";
inline constexpr const char* kSave = "Save MySQL Data";
inline constexpr const char* kSaveTip = "Save recovered data";
inline constexpr const char* kExportCsv = "Export to CSV";
inline constexpr const char* kExportCsvTip = "Save the rows of the grid as a CSV file";
inline constexpr const char* kAboutGroup = "About";
inline constexpr const char* kHelp = "Help";
inline constexpr const char* kHelpTip = "Help for Tavrin MySQL Database Repair";
inline constexpr const char* kAbout = "About";
inline constexpr const char* kAboutTip = "About Tavrin MySQL Database Repair";
inline constexpr const char* kLookGroup = "Look";
inline constexpr const char* kLookButton = "Colours";
inline constexpr const char* kLookTip = "Choose the window's colours";

inline constexpr const char* kTreePane = "MySQL Database Objects";
inline constexpr const char* kOutputPane = "Output";
inline constexpr const char* kPrevious = "Previous Records";
inline constexpr const char* kNext = "Next Records";

inline constexpr const char* kAnotherInstance = "Another instance of application is already running";
inline constexpr const char* kStopToContinue = "Please stop the running process to continue the process.";
inline constexpr const char* kStopToClose = "Please stop the running process to close the application.";
inline constexpr const char* kConfirmClose = "Do you want to close the application?";
inline constexpr const char* kSelectToSave = "Please select folder to save the database";
inline constexpr const char* kLogFilePath = "Log file path : ";

// The scan settings dialog.
inline constexpr const char* kSettingsTitle = "Select Database File";
inline constexpr const char* kDatabaseGroup = "Select MySQL Database File:";
inline constexpr const char* kTemporaryGroup = "Select Temporary Path:";
inline constexpr const char* kLogGroup = "Select Log File Path:";
inline constexpr const char* kBrowseDatabase = "Select location to choose database file.";
inline constexpr const char* kBrowseTemporary = "Select location for temporary path.";
inline constexpr const char* kBrowseLog = "Select location to save Log file.";

inline constexpr const char* kVersion = "v1.0";

// The About dialog. The addresses are the team's to fill in before a release.
inline constexpr const char* kRightsHolder = "Copyright \u00A9 2026 the Tavrin developers";
inline constexpr const char* kLicence = "Licensed under the MIT licence.";
inline constexpr const char* kPurpose = "Recovers the tables of MySQL and MariaDB data folders without a server.";
inline constexpr const char* kWebsiteTip = "Company website";
inline constexpr const char* kSupportTip = "Support email address";
inline constexpr const char* kSalesTip = "Sales email address";
inline constexpr const char* kWebsiteUrl = "https://tavrin.example/";
inline constexpr const char* kSupportUrl = "mailto:support@tavrin.example";
inline constexpr const char* kSalesUrl = "mailto:sales@tavrin.example";

}  // namespace tavrin::ui::texts
