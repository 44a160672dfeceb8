#pragma once
// The texts of the desktop window, each in one place, in English, marked for
// translation (ui/translations/); the session's own texts are in
// session/texts.h. The window shows each through text().

#include <QCoreApplication>
#include <QString>
#include <string>

namespace tavrin::ui::texts {

// A text of the window (or one the session hands it) as the user's language
// has it, where a translation is installed; else as it is.
inline QString text(const char* source) { return QCoreApplication::translate("Window", source); }
inline QString text(const std::string& source) { return text(source.c_str()); }

inline constexpr const char* kCategory = QT_TRANSLATE_NOOP("Window", "MySQL Database Recovery");
inline constexpr const char* kOpen = QT_TRANSLATE_NOOP("Window", "Open");
inline constexpr const char* kOpenTip = QT_TRANSLATE_NOOP("Window", "Open Database file");
inline constexpr const char* kStop = QT_TRANSLATE_NOOP("Window", "Stop");
inline constexpr const char* kStopTip = QT_TRANSLATE_NOOP("Window", "Stop running process");
inline constexpr const char* kSave = QT_TRANSLATE_NOOP("Window", "Save MySQL Data");
inline constexpr const char* kSaveTip = QT_TRANSLATE_NOOP("Window", "Save recovered data");
inline constexpr const char* kExportCsv = QT_TRANSLATE_NOOP("Window", "Export to CSV");
inline constexpr const char* kExportCsvTip = QT_TRANSLATE_NOOP("Window", "Save the rows of the grid as a CSV file");
inline constexpr const char* kAboutGroup = QT_TRANSLATE_NOOP("Window", "About");
inline constexpr const char* kHelp = QT_TRANSLATE_NOOP("Window", "Help");
inline constexpr const char* kHelpTip = QT_TRANSLATE_NOOP("Window", "Help for Tavrin MySQL Database Repair");
inline constexpr const char* kAbout = QT_TRANSLATE_NOOP("Window", "About");
inline constexpr const char* kAboutTip = QT_TRANSLATE_NOOP("Window", "About Tavrin MySQL Database Repair");
inline constexpr const char* kLookGroup = QT_TRANSLATE_NOOP("Window", "Look");
inline constexpr const char* kLookButton = QT_TRANSLATE_NOOP("Window", "Colours");
inline constexpr const char* kLookTip = QT_TRANSLATE_NOOP("Window", "Choose the window's colours");

inline constexpr const char* kTreePane = QT_TRANSLATE_NOOP("Window", "MySQL Database Objects");
inline constexpr const char* kOutputPane = QT_TRANSLATE_NOOP("Window", "Output");
inline constexpr const char* kPrevious = QT_TRANSLATE_NOOP("Window", "Previous Records");
inline constexpr const char* kNext = QT_TRANSLATE_NOOP("Window", "Next Records");

inline constexpr const char* kAnotherInstance = QT_TRANSLATE_NOOP("Window", "Another instance of application is already running");
inline constexpr const char* kStopToContinue = QT_TRANSLATE_NOOP("Window", "Please stop the running process to continue the process.");
inline constexpr const char* kStopToClose = QT_TRANSLATE_NOOP("Window", "Please stop the running process to close the application.");
inline constexpr const char* kConfirmClose = QT_TRANSLATE_NOOP("Window", "Do you want to close the application?");
inline constexpr const char* kSelectToSave = QT_TRANSLATE_NOOP("Window", "Please select folder to save the database");
inline constexpr const char* kLogFilePath = QT_TRANSLATE_NOOP("Window", "Log file path : ");

// The scan settings dialog.
inline constexpr const char* kSettingsTitle = QT_TRANSLATE_NOOP("Window", "Select Database File");
inline constexpr const char* kDatabaseGroup = QT_TRANSLATE_NOOP("Window", "Select MySQL Database File:");
inline constexpr const char* kTemporaryGroup = QT_TRANSLATE_NOOP("Window", "Select Temporary Path:");
inline constexpr const char* kLogGroup = QT_TRANSLATE_NOOP("Window", "Select Log File Path:");
inline constexpr const char* kBrowseDatabase = QT_TRANSLATE_NOOP("Window", "Select location to choose database file.");
inline constexpr const char* kBrowseTemporary = QT_TRANSLATE_NOOP("Window", "Select location for temporary path.");
inline constexpr const char* kBrowseLog = QT_TRANSLATE_NOOP("Window", "Select location to save Log file.");
inline constexpr const char* kDefinitionsGroup =
    QT_TRANSLATE_NOOP("Window", "CREATE TABLE statements for tables whose .frm is gone (optional):");
inline constexpr const char* kBrowseDefinitions = QT_TRANSLATE_NOOP("Window", "Select a SQL file with CREATE TABLE statements");
inline constexpr const char* kSqlFiles = QT_TRANSLATE_NOOP("Window", "SQL files (*.sql);;All files (*)");

inline constexpr const char* kVersion = "v1.0";

// The About dialog. The addresses are the team's to fill in before a release.
inline constexpr const char* kRightsHolder = QT_TRANSLATE_NOOP("Window", "Copyright \u00A9 2026 the Tavrin developers");
inline constexpr const char* kLicence = QT_TRANSLATE_NOOP("Window", "Licensed under the MIT licence.");
inline constexpr const char* kPurpose = QT_TRANSLATE_NOOP("Window", "Recovers the tables of MySQL and MariaDB data folders without a server.");
inline constexpr const char* kWebsiteTip = QT_TRANSLATE_NOOP("Window", "Company website");
inline constexpr const char* kSupportTip = QT_TRANSLATE_NOOP("Window", "Support email address");
inline constexpr const char* kSalesTip = QT_TRANSLATE_NOOP("Window", "Sales email address");
inline constexpr const char* kWebsiteUrl = "https://tavrin.example/";
inline constexpr const char* kSupportUrl = "mailto:support@tavrin.example";
inline constexpr const char* kSalesUrl = "mailto:sales@tavrin.example";

}  // namespace tavrin::ui::texts
