#include "session/save_options.h"

#include "session/texts.h"

namespace tavrin {

namespace {

bool isPortNumber(const std::string& port) {
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long value = std::stoul(port);
  return value >= 1 && value <= 65535;
}

}  // namespace

SaveOptionsController::SaveOptionsController(SaveOptionsUi& ui, ConnectionTest test)
    : ui_(ui), test_(std::move(test)) {}

void SaveOptionsController::show() {
  fields_ = SaveDialogFields{};
  fields_.server.server = "localhost";
  fields_.server.port = "3306";
  fields_.server.user = "root";
  testPassed_ = false;
  ui_.showFields(fields_);
}

void SaveOptionsController::chooseServerMode() {
  fields_.serverMode = true;
  ui_.showFields(fields_);
}

void SaveOptionsController::chooseScriptMode() {
  fields_.serverMode = false;
  ui_.showFields(fields_);
}

void SaveOptionsController::editServer(const ServerAddress& server) {
  fields_.server = server;
  testPassed_ = false;
}

void SaveOptionsController::browseFolder() {
  // A cancelled choice empties the folder, as the chooser's result is taken whole.
  fields_.folder = ui_.chooseFolder(texts::kChooseFolder).value_or("");
  ui_.showFields(fields_);
}

std::optional<std::string> SaveOptionsController::missingField() const {
  if (fields_.server.server.empty()) return texts::kEnterServerName;
  if (fields_.server.user.empty()) return texts::kEnterUserName;
  if (!isPortNumber(fields_.server.port)) return texts::kEnterPortNumber;
  return std::nullopt;
}

bool SaveOptionsController::testConnection() {
  // Whatever the outcome, a success of an earlier test no longer holds.
  testPassed_ = false;
  if (std::optional<std::string> missing = missingField()) {
    ui_.message(*missing);
    return false;
  }
  const Status connected = test_(fields_.server);
  ui_.message(connected ? texts::kConnectionSuccessful : connected.reason());
  testPassed_ = connected.ok();
  return testPassed_;
}

void SaveOptionsController::recordServer() {
  settings_.saveInDatabase = true;
  settings_.server = fields_.server;
}

void SaveOptionsController::ok() {
  if (!fields_.serverMode) {
    settings_.saveAsScript = true;
    settings_.saveInDatabase = false;
    if (fields_.folder.empty()) {
      ui_.message(texts::kSelectDestinationFolder);
      return;
    }
    settings_.folder = fields_.folder;
    ui_.close(true);
    return;
  }
  settings_.saveAsScript = false;
  if (testPassed_) {
    recordServer();
    ui_.close(true);
    return;
  }
  // An untested address is tested first; the dialog stays open either way.
  if (testConnection()) recordServer();
  else ui_.message(texts::kTestConnectionUnsuccessful);
}

void SaveOptionsController::cancel() { ui_.close(false); }

}  // namespace tavrin
