#include "ui/record_view.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableView>

#include "ui/grid_model.h"
#include "ui/window_texts.h"

namespace tavrin::ui {

namespace {
constexpr int kStrip = 35;
constexpr int kButtonWidth = 50, kButtonHeight = 25;
constexpr int kButtonTop = 31;                      // above the bottom edge
constexpr int kPreviousLeft = 120, kNextLeft = 65;  // left of the right edge
}  // namespace

RecordView::RecordView(GridModel* model, QWidget* parent)
    : QWidget(parent),
      grid_(new QTableView(this)),
      definition_(new QPlainTextEdit(this)),
      previous_(new QPushButton(this)),
      next_(new QPushButton(this)) {
  grid_->setModel(model);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setShowGrid(true);
  grid_->setWordWrap(false);
  grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
  grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QFont bold = grid_->horizontalHeader()->font();
  bold.setBold(true);
  grid_->horizontalHeader()->setFont(bold);
  grid_->hide();
  definition_->setReadOnly(true);
  definition_->setLineWrapMode(QPlainTextEdit::NoWrap);
  previous_->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
  next_->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
  previous_->setToolTip(texts::text(texts::kPrevious));
  next_->setToolTip(texts::text(texts::kNext));
  previous_->setAccessibleName(texts::text(texts::kPrevious));
  next_->setAccessibleName(texts::text(texts::kNext));
  previous_->hide();
  next_->hide();
  connect(previous_, &QPushButton::clicked, this, &RecordView::previousPressed);
  connect(next_, &QPushButton::clicked, this, &RecordView::nextPressed);
}

RecordView::Layout RecordView::layoutFor(QSize size) {
  const int cx = size.width(), cy = size.height();
  return {QRect(0, 0, cx, cy), QRect(0, 0, cx, cy - kStrip),
          QRect(cx - kPreviousLeft, cy - kButtonTop, kButtonWidth, kButtonHeight),
          QRect(cx - kNextLeft, cy - kButtonTop, kButtonWidth, kButtonHeight)};
}

void RecordView::resizeEvent(QResizeEvent* event) {
  const Layout l = layoutFor(event->size());
  definition_->setGeometry(l.definition);
  grid_->setGeometry(l.grid);
  previous_->setGeometry(l.previous);
  next_->setGeometry(l.next);
}

}  // namespace tavrin::ui
