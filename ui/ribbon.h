#pragma once
// A ribbon-like command bar: one tab holding groups of large tool buttons
// with their captions under them, and the group's title below the group.

#include <QTabWidget>

class QHBoxLayout;
class QToolButton;

namespace tavrin::ui {

class Ribbon : public QTabWidget {
  Q_OBJECT
 public:
  Ribbon(const QString& category, QWidget* parent = nullptr);

  // A group titled `title` (none when empty), placed after the others.
  QHBoxLayout* addGroup(const QString& title);
  QToolButton* addCommand(QHBoxLayout* group, const QString& label, const QString& tip, const QIcon& icon);

 private:
  QHBoxLayout* groups_;
};

}  // namespace tavrin::ui
