#pragma once
// "Select Database File": the folder to scan, the temporary folder, the
// log folder and, if the user has one, a SQL file of CREATE TABLE
// statements for tables whose .frm is gone, typed or browsed. The session checks the choice and asks again
// with its message when something is wrong.

#include <functional>

#include <QDialog>

#include "session/scan_settings.h"

class QLineEdit;

namespace tavrin::ui {

class ScanSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ScanSettingsDialog(const ScanSettings& initial, QWidget* parent = nullptr);
  ScanSettings settings() const;

  QLineEdit* databaseEdit() const { return database_; }
  QLineEdit* temporaryEdit() const { return temporary_; }
  QLineEdit* logEdit() const { return log_; }
  QLineEdit* definitionsEdit() const { return definitions_; }

 private:
  QLineEdit* addRow(const QString& group, const std::string& text, std::function<QString(const QString&)> browse);
  QLineEdit* addFolderRow(const QString& group, const std::string& text, const QString& browseTitle,
                          bool appendSeparator);
  QLineEdit* database_;
  QLineEdit* temporary_;
  QLineEdit* addFileRow(const QString& group, const std::string& text, const QString& browseTitle);
  QLineEdit* log_;
  QLineEdit* definitions_;
};

}  // namespace tavrin::ui
