#pragma once
// The object tree's view: a click on an item's label asks for the item to be
// loaded; a click on its check box only checks it, and a click on the
// branch arrow only opens or closes it.

#include <QTreeView>

namespace tavrin::ui {

class ObjectTreeView : public QTreeView {
  Q_OBJECT
 public:
  explicit ObjectTreeView(QWidget* parent = nullptr);

 signals:
  void labelClicked(const QModelIndex& index);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // True when `point` (in the viewport) lies on the label or icon of `index`.
  bool onLabel(const QModelIndex& index, QPoint point);
  QPersistentModelIndex pressedOnLabel_;
};

}  // namespace tavrin::ui
