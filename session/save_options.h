#pragma once
// The save options dialog as a person meets it: save into a server (with a
// connection test) or as a script into a folder. It reaches its window only
// through SaveOptionsUi; on OK it records the chosen mode and settings.

#include <optional>
#include <string>

#include "export/server_link.h"

namespace tavrin {

// What an OK records. The password stays in memory: it is never written to
// the scan log or to any file.
struct SaveSettings {
  bool saveAsScript = false;
  bool saveInDatabase = false;
  std::string folder;
  ServerAddress server;

  // Values are written in full (the export form) while a mode is set.
  bool exportForm() const { return saveAsScript || saveInDatabase; }
};

// What the dialog shows.
struct SaveDialogFields {
  bool serverMode = true;  // else script mode
  ServerAddress server;
  std::string folder;
};

class SaveOptionsUi {
 public:
  virtual ~SaveOptionsUi() = default;
  // Shows the fields; in server mode the server fields and the test are
  // enabled and the folder is not, in script mode the other way round.
  virtual void showFields(const SaveDialogFields& fields) = 0;
  virtual void message(const std::string& text) = 0;
  // The folder chooser with this title; none when cancelled.
  virtual std::optional<std::string> chooseFolder(const std::string& title) = 0;
  // Ends the dialog: true for OK.
  virtual void close(bool accepted) = 0;
};

class SaveOptionsController {
 public:
  SaveOptionsController(SaveOptionsUi& ui, ConnectionTest test);

  // Each showing starts from the same fields, untested.
  void show();
  void chooseServerMode();
  void chooseScriptMode();
  // An edit of a server field: a test passed before no longer holds.
  void editServer(const ServerAddress& server);
  void browseFolder();
  // True when the connection test passed.
  bool testConnection();
  void ok();
  void cancel();

  const SaveSettings& settings() const { return settings_; }
  const SaveDialogFields& fields() const { return fields_; }

 private:
  // The message of the first field the test cannot do without, or none.
  std::optional<std::string> missingField() const;
  void recordServer();

  SaveOptionsUi& ui_;
  ConnectionTest test_;
  SaveDialogFields fields_;
  bool testPassed_ = false;
  SaveSettings settings_;
};

}  // namespace tavrin
