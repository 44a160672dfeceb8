#pragma once
// The texts the session shows and logs, each in one place.

namespace tavrin::texts {

inline constexpr const char* kCaption = "Tavrin MySQL Database Repair";
inline constexpr const char* kWaitForRunningProcess = "Please wait for the running process.";

// The scan settings dialog.
inline constexpr const char* kInvalidDatabasePath = "Please select valid database file path to continue the recovery process.";
inline constexpr const char* kInvalidDatabaseFolder = "Please select valid MySQL database folder";
inline constexpr const char* kInvalidTemporaryPath = "Please select valid temporary file path to continue the recovery process.";
inline constexpr const char* kInvalidLogPath = "Please select valid Log file path to continue the recovery process.";
inline constexpr const char* kLogInDatabaseFolder =
    "The log file path lies in the database folder, which is only read. Please select another log file path.";

// Open and the scan.
inline constexpr const char* kFileSelected = " File is selected for recovery....";
inline constexpr const char* kDatabaseFilePath = "MySql database File Path:\t";
inline constexpr const char* kFindingDatabases = "Finding Database and tables";
inline constexpr const char* kProcessingIbdata = "Processing ibdata1 File";
inline constexpr const char* kIbdataCannotOpen = "ibdata1 File cannot be open";
inline constexpr const char* kBrowseIbdata = "Ibdata1File Cannot be opened.Do you want to browse ibdata1 File Manually?";
inline constexpr const char* kBrowsedIbdataCannotOpen = "Manually browse ibdata1 File cannot be open";
inline constexpr const char* kPassedOver = " was passed over: ";  // after a path, before the reason
inline constexpr const char* kScanningCompletedLine = "scanning completed.";
inline constexpr const char* kScanningCompleted = "Scanning completed for selected database file(s)";
inline constexpr const char* kScanningStopped = "Scanning stopped.";
inline constexpr const char* kInitialOutputLine = "select database file to continue the recovery process.";
inline constexpr const char* kInitialCaption = "Select MySQL database file to continue the recovery process.";
inline constexpr const char* kConfirmStop = "Are you sure to stop the running process?";

// Clicks and pages.
inline constexpr const char* kPleaseWaitWhile = "Please wait while ";
inline constexpr const char* kFolderIsScanning = " folder is scanning.";
inline constexpr const char* kScanningProcessCompleted = "Scanning process completed.";
inline constexpr const char* kNoMoreRecords = "No more records in table";

// The CSV export.
inline constexpr const char* kSelectDatabaseFirst = "Please select database file to scan records.";
inline constexpr const char* kSelectTableToSave = "Please select the table from tree which you want to save";
inline constexpr const char* kFileCannotBeCreated = "File cannot be created.";
inline constexpr const char* kFileSaved = "File saved successfully.";
inline constexpr const char* kNotIntoDataFolder = ": nothing is written into the folder being recovered.";

inline constexpr const char* kLogNamePrefix = "TavrinMySQLDBRec_log_";
// The folder, under the temporary folder, of the values kept apart.
inline constexpr const char* kKeptApartFolder = "blobdata";

// The save options dialog.
inline constexpr const char* kSaveDialogTitle = "Save Database";
inline constexpr const char* kChooseSavingMode = "Choose the saving mode and click OK button to continue the process";
inline constexpr const char* kEnterServerName = "Please enter Server name.";
inline constexpr const char* kEnterUserName = "Please enter user name.";
inline constexpr const char* kEnterPortNumber = "Please enter port number.";
inline constexpr const char* kConnectionSuccessful = "Connection is successful";
inline constexpr const char* kTestConnectionUnsuccessful =
    "Test connection is unsuccessful.Saving in database cannot be done.";
inline constexpr const char* kSelectDestinationFolder = "Please select valid destination folder path.";
inline constexpr const char* kChooseFolder = "Please choose a folder.";

// Saving from the window.
inline constexpr const char* kSaving = "Saving ";
inline constexpr const char* kNothingToSave = "None of the checked items is a table, a view or a trigger.";
inline constexpr const char* kSaveCompleted = "Saving completed: ";
inline constexpr const char* kObjectsSavedOf = " objects saved whole of ";
inline constexpr const char* kSavingStopped = "Saving stopped.";

// Saving: the outcome of each object.
inline constexpr const char* kExistsOnTarget = "it exists on the target and is left as it is";
inline constexpr const char* kDatabaseNotSaved = "its database could not be saved";
inline constexpr const char* kSaveStopped = "the save was stopped";
inline constexpr const char* kScriptExists = " exists already";
inline constexpr const char* kScriptNotWritten = " was not written: the save was stopped";
inline constexpr const char* kAfterRows = "after ";
inline constexpr const char* kRowsColon = " rows: ";
inline constexpr const char* kRowsNotSaved = "its rows were not saved: ";
inline constexpr const char* kSavedWithoutValue =
    " rows saved with NULL for a value kept apart from the row that could not be read";
inline constexpr const char* kReads = "it reads ";
inline constexpr const char* kWhichWasNotSaved = ", which was not saved";
inline constexpr const char* kItsTable = "its table ";
inline constexpr const char* kWasNotSaved = " was not saved";
inline constexpr const char* kDefinerRefused =
    " (the target refuses the definer the object was made with: save as an account allowed to name another "
    "definer, such as one with the SET USER or SUPER privilege)";

}  // namespace tavrin::texts
