#include "ui/object_tree_view.h"

#include <QMouseEvent>

namespace tavrin::ui {

ObjectTreeView::ObjectTreeView(QWidget* parent) : QTreeView(parent) {
  setHeaderHidden(true);
  setUniformRowHeights(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setContextMenuPolicy(Qt::NoContextMenu);
}

bool ObjectTreeView::onLabel(const QModelIndex& index, QPoint point) {
  if (!index.isValid() || !visualRect(index).contains(point)) return false;
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = visualRect(index);
  option.features |= QStyleOptionViewItem::HasCheckIndicator;
  const QRect box = style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, this);
  return !box.contains(point);
}

void ObjectTreeView::mousePressEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  pressedOnLabel_ = event->button() == Qt::LeftButton && onLabel(index, event->position().toPoint())
                        ? QPersistentModelIndex(index)
                        : QPersistentModelIndex();
  QTreeView::mousePressEvent(event);
}

void ObjectTreeView::mouseReleaseEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  const bool labelClick = pressedOnLabel_.isValid() && index == pressedOnLabel_ &&
                          onLabel(index, event->position().toPoint());
  pressedOnLabel_ = QPersistentModelIndex();
  QTreeView::mouseReleaseEvent(event);
  if (labelClick) {
    setCurrentIndex(index);
    emit labelClicked(index);
  }
}

}  // namespace tavrin::ui
