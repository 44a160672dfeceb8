#include "ui/save_dialog.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "session/texts.h"
#include "ui/window_texts.h"

namespace tavrin::ui {

SaveDialog::SaveDialog(ConnectionTest test, MessageHook message, QWidget* parent)
    : QDialog(parent), controller_(*this, std::move(test)), messageHook_(std::move(message)) {
  setWindowTitle(texts::text(::tavrin::texts::kSaveDialogTitle));
  auto* column = new QVBoxLayout(this);
  auto* intro = new QLabel(texts::text(::tavrin::texts::kChooseSavingMode), this);
  intro->setWordWrap(true);
  column->addWidget(intro);

  serverMode_ = new QRadioButton("Save in database", this);
  column->addWidget(serverMode_);
  auto* serverBox = new QWidget(this);
  auto* serverForm = new QFormLayout(serverBox);
  serverForm->setContentsMargins(24, 0, 0, 0);
  server_ = new QLineEdit(serverBox);
  port_ = new QLineEdit(serverBox);
  socket_ = new QLineEdit(serverBox);
  socket_->setPlaceholderText("the client library's default");
  user_ = new QLineEdit(serverBox);
  password_ = new QLineEdit(serverBox);
  password_->setEchoMode(QLineEdit::Password);
  serverForm->addRow("Server:", server_);
  serverForm->addRow("Port:", port_);
  serverForm->addRow("Socket:", socket_);
  serverForm->addRow("User:", user_);
  serverForm->addRow("Password:", password_);
  test_ = new QPushButton("Test Connection", serverBox);
  test_->setToolTip("Test connection");
  serverForm->addRow(QString(), test_);
  column->addWidget(serverBox);

  scriptMode_ = new QRadioButton("Save as Script", this);
  column->addWidget(scriptMode_);
  auto* folderRow = new QHBoxLayout;
  folderRow->setContentsMargins(24, 0, 0, 0);
  folderRow->addWidget(new QLabel("Saving Folder:", this));
  folder_ = new QLineEdit(this);
  folder_->setReadOnly(true);
  browse_ = new QPushButton("...", this);
  browse_->setFixedWidth(36);
  folderRow->addWidget(folder_, 1);
  folderRow->addWidget(browse_);
  column->addLayout(folderRow);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  ok_ = new QPushButton("OK", this);
  ok_->setToolTip("OK");
  ok_->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setToolTip("Cancel");
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  column->addLayout(buttons);
  setMinimumWidth(460);

  connect(serverMode_, &QRadioButton::clicked, this, [this] { controller_.chooseServerMode(); });
  connect(scriptMode_, &QRadioButton::clicked, this, [this] { controller_.chooseScriptMode(); });
  for (QLineEdit* edit : {server_, port_, socket_, user_, password_}) {
    connect(edit, &QLineEdit::textEdited, this, [this] { controller_.editServer(typedAddress()); });
  }
  connect(test_, &QPushButton::clicked, this, [this] { controller_.testConnection(); });
  connect(browse_, &QPushButton::clicked, this, [this] { controller_.browseFolder(); });
  connect(ok_, &QPushButton::clicked, this, [this] { controller_.ok(); });
  connect(cancel, &QPushButton::clicked, this, [this] { controller_.cancel(); });
}

std::optional<SaveSettings> SaveDialog::ask() {
  controller_.show();
  if (exec() != QDialog::Accepted) return std::nullopt;
  return controller_.settings();
}

ServerAddress SaveDialog::typedAddress() const {
  ServerAddress a;
  a.server = server_->text().toStdString();
  a.port = port_->text().toStdString();
  a.socket = socket_->text().toStdString();
  a.user = user_->text().toStdString();
  a.password = password_->text().toStdString();
  return a;
}

void SaveDialog::showFields(const SaveDialogFields& fields) {
  serverMode_->setChecked(fields.serverMode);
  scriptMode_->setChecked(!fields.serverMode);
  server_->setText(QString::fromStdString(fields.server.server));
  port_->setText(QString::fromStdString(fields.server.port));
  socket_->setText(QString::fromStdString(fields.server.socket));
  user_->setText(QString::fromStdString(fields.server.user));
  password_->setText(QString::fromStdString(fields.server.password));
  folder_->setText(QString::fromStdString(fields.folder));
  for (QWidget* w : std::initializer_list<QWidget*>{server_, port_, socket_, user_, password_, test_}) {
    w->setEnabled(fields.serverMode);
  }
  folder_->setEnabled(!fields.serverMode);
  browse_->setEnabled(!fields.serverMode);
}

void SaveDialog::message(const std::string& text) {
  if (messageHook_) {
    messageHook_(text);
    return;
  }
  QMessageBox::information(this, texts::text(::tavrin::texts::kCaption), texts::text(text));
}

std::optional<std::string> SaveDialog::chooseFolder(const std::string& title) {
  if (answerFolder_) return answerFolder_();
  const QString chosen = QFileDialog::getExistingDirectory(this, QString::fromStdString(title));
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

void SaveDialog::close(bool accepted) { done(accepted ? QDialog::Accepted : QDialog::Rejected); }

}  // namespace tavrin::ui
