#pragma once
// "Save Database": into a server (with its connection test) or as a script
// into a folder. The dialog only draws; the save options controller decides
// what each click means and what OK records.

#include <QDialog>
#include <functional>
#include <optional>

#include "session/save_options.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tavrin::ui {

class SaveDialog : public QDialog, public SaveOptionsUi {
  Q_OBJECT
 public:
  using MessageHook = std::function<void(const std::string&)>;
  // `message` shows the dialog's messages (a box when none is given).
  SaveDialog(ConnectionTest test, MessageHook message = {}, QWidget* parent = nullptr);

  // Shows the dialog: the settings an OK recorded, or none.
  std::optional<SaveSettings> ask();

  QRadioButton* serverMode() const { return serverMode_; }
  QRadioButton* scriptMode() const { return scriptMode_; }
  QLineEdit* server() const { return server_; }
  QLineEdit* port() const { return port_; }
  QLineEdit* socket() const { return socket_; }
  QLineEdit* user() const { return user_; }
  QLineEdit* password() const { return password_; }
  QLineEdit* folder() const { return folder_; }
  QPushButton* testButton() const { return test_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* browseButton() const { return browse_; }
  // The folder an answer to the folder chooser gives (tests); none cancels.
  void answerFolderWith(std::function<std::optional<std::string>()> answer) { answerFolder_ = std::move(answer); }

  // SaveOptionsUi
  void showFields(const SaveDialogFields& fields) override;
  void message(const std::string& text) override;
  std::optional<std::string> chooseFolder(const std::string& title) override;
  void close(bool accepted) override;

 private:
  ServerAddress typedAddress() const;
  SaveOptionsController controller_;
  MessageHook messageHook_;
  std::function<std::optional<std::string>()> answerFolder_;
  QRadioButton* serverMode_;
  QRadioButton* scriptMode_;
  QLineEdit *server_, *port_, *socket_, *user_, *password_, *folder_;
  QPushButton *test_, *browse_, *ok_;
};

}  // namespace tavrin::ui
