#include "ui/scan_settings_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/window_texts.h"

namespace tavrin::ui {

ScanSettingsDialog::ScanSettingsDialog(const ScanSettings& initial, QWidget* parent) : QDialog(parent) {
  setWindowTitle(texts::text(texts::kSettingsTitle));
  setLayout(new QVBoxLayout);
  database_ = addFolderRow(texts::text(texts::kDatabaseGroup), initial.databasePath, texts::text(texts::kBrowseDatabase), true);
  temporary_ = addFolderRow(texts::text(texts::kTemporaryGroup), initial.temporaryPath, texts::text(texts::kBrowseTemporary), true);
  log_ = addFolderRow(texts::text(texts::kLogGroup), initial.logFolder, texts::text(texts::kBrowseLog), false);
  definitions_ = addFileRow(texts::text(texts::kDefinitionsGroup), initial.definitionsPath,
                            texts::text(texts::kBrowseDefinitions));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout()->addWidget(buttons);
  setMinimumWidth(560);
}

// A group with the folder's text and its "..." button. The browsed folder
// of the first two gets a separator at its end; the log folder is taken
// only when it exists.
QLineEdit* ScanSettingsDialog::addFolderRow(const QString& group, const std::string& text, const QString& browseTitle,
                                            bool appendSeparator) {
  auto* box = new QGroupBox(group, this);
  auto* row = new QHBoxLayout(box);
  auto* edit = new QLineEdit(QString::fromStdString(text), box);
  auto* browse = new QPushButton("...", box);
  browse->setFixedWidth(36);
  row->addWidget(edit);
  row->addWidget(browse);
  layout()->addWidget(box);
  connect(browse, &QPushButton::clicked, this, [this, edit, browseTitle, appendSeparator] {
    QString chosen = QFileDialog::getExistingDirectory(this, browseTitle, edit->text());
    if (chosen.isEmpty()) return;
    if (appendSeparator) {
      if (!chosen.endsWith('/')) chosen += '/';
    } else {
      chosen = chosen.trimmed();
      if (!QFileInfo(chosen).isDir()) return;
    }
    edit->setText(chosen);
  });
  return edit;
}

// A group with a file's text and its "..." button.
QLineEdit* ScanSettingsDialog::addFileRow(const QString& group, const std::string& text, const QString& browseTitle) {
  auto* box = new QGroupBox(group, this);
  auto* row = new QHBoxLayout(box);
  auto* edit = new QLineEdit(QString::fromStdString(text), box);
  auto* browse = new QPushButton("...", box);
  browse->setFixedWidth(36);
  row->addWidget(edit);
  row->addWidget(browse);
  layout()->addWidget(box);
  connect(browse, &QPushButton::clicked, this, [this, edit, browseTitle] {
    const QString chosen =
        QFileDialog::getOpenFileName(this, browseTitle, edit->text(), texts::text(texts::kSqlFiles));
    if (!chosen.isEmpty()) edit->setText(chosen);
  });
  return edit;
}

ScanSettings ScanSettingsDialog::settings() const {
  ScanSettings s;
  s.databasePath = database_->text().toStdString();
  s.temporaryPath = temporary_->text().toStdString();
  s.logFolder = log_->text().toStdString();
  s.definitionsPath = definitions_->text().trimmed().toStdString();
  return s;
}

}  // namespace tavrin::ui
