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

// A group with a text and its "..." button, which sets the text to what
// `browse` gives for the current one (nothing: the text stays).
QLineEdit* ScanSettingsDialog::addRow(const QString& group, const std::string& text,
                                      std::function<QString(const QString&)> browse) {
  auto* box = new QGroupBox(group, this);
  auto* row = new QHBoxLayout(box);
  auto* edit = new QLineEdit(QString::fromStdString(text), box);
  auto* button = new QPushButton("...", box);
  button->setFixedWidth(36);
  row->addWidget(edit);
  row->addWidget(button);
  layout()->addWidget(box);
  connect(button, &QPushButton::clicked, this, [edit, browse = std::move(browse)] {
    const QString chosen = browse(edit->text());
    if (!chosen.isEmpty()) edit->setText(chosen);
  });
  return edit;
}

// A folder's row. The browsed folder of the first two gets a separator at
// its end; the log folder is taken only when it exists.
QLineEdit* ScanSettingsDialog::addFolderRow(const QString& group, const std::string& text, const QString& browseTitle,
                                            bool appendSeparator) {
  return addRow(group, text, [this, browseTitle, appendSeparator](const QString& current) {
    QString chosen = QFileDialog::getExistingDirectory(this, browseTitle, current);
    if (chosen.isEmpty()) return chosen;
    if (appendSeparator) return chosen.endsWith('/') ? chosen : chosen + '/';
    chosen = chosen.trimmed();
    return QFileInfo(chosen).isDir() ? chosen : QString();
  });
}

// A file's row, for SQL files.
QLineEdit* ScanSettingsDialog::addFileRow(const QString& group, const std::string& text, const QString& browseTitle) {
  return addRow(group, text, [this, browseTitle](const QString& current) {
    return QFileDialog::getOpenFileName(this, browseTitle, current, texts::text(texts::kSqlFiles));
  });
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
