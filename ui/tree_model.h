#pragma once
// The object tree's model: it adapts the session's tree, which the session
// hands over read-only once a scan has built it, as Qt's simpletreemodel
// adapts its items; the node ids are the tree's. The check boxes are the
// window's own state over that tree.

#include <QAbstractItemModel>
#include <QIcon>
#include <memory>
#include <vector>

#include "session/check_tree.h"
#include "session/object_tree.h"

namespace tavrin::ui {

class TreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit TreeModel(QObject* parent = nullptr);

  // Shows `tree` (none: an empty one), every box unchecked.
  void show(std::shared_ptr<const ObjectTree> tree);

  const ObjectTree& tree() const { return *tree_; }
  const CheckTree& checks() const { return checks_; }
  // Checks or unchecks a node with its subtree, as a click on its box does.
  void setChecked(NodeId node, bool checked);
  NodeId nodeAt(const QModelIndex& index) const;
  QModelIndex indexOf(NodeId node) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // A tree was shown; the view expands the nodes the tree marks expanded.
  void shown();

 private:
  QIcon iconFor(int32_t image) const;
  std::shared_ptr<const ObjectTree> tree_;
  CheckTree checks_;
  QIcon folder_, keys_, views_, triggers_, table_;
};

}  // namespace tavrin::ui
