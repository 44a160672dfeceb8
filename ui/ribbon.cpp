#include "ui/ribbon.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace tavrin::ui {

namespace {
constexpr int kLargeIcon = 32;
}

Ribbon::Ribbon(const QString& category, QWidget* parent) : QTabWidget(parent) {
  auto* page = new QWidget(this);
  groups_ = new QHBoxLayout(page);
  groups_->setContentsMargins(4, 2, 4, 2);
  groups_->setSpacing(0);
  groups_->addStretch();
  addTab(page, category);
  setDocumentMode(true);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QHBoxLayout* Ribbon::addGroup(const QString& title) {
  auto* group = new QWidget(this);
  auto* column = new QVBoxLayout(group);
  column->setContentsMargins(6, 0, 6, 0);
  column->setSpacing(0);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(2);
  column->addLayout(buttons);
  auto* caption = new QLabel(title, group);
  caption->setAlignment(Qt::AlignCenter);
  caption->setForegroundRole(QPalette::PlaceholderText);
  column->addWidget(caption);
  // Groups are set apart by a thin line, as ribbons do.
  if (groups_->count() > 1) {
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    groups_->insertWidget(groups_->count() - 1, line);
  }
  groups_->insertWidget(groups_->count() - 1, group);
  return buttons;
}

QToolButton* Ribbon::addCommand(QHBoxLayout* group, const QString& label, const QString& tip, const QIcon& icon) {
  auto* button = new QToolButton(this);
  button->setText(label);
  button->setToolTip(tip);
  button->setIcon(icon);
  button->setIconSize(QSize(kLargeIcon, kLargeIcon));
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setAutoRaise(true);
  button->setMinimumWidth(64);
  group->addWidget(button);
  return button;
}

}  // namespace tavrin::ui
