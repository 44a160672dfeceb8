#pragma once
// The object tree's model: a mirror of the session's tree, node for node
// with the same ids, shown by a QTreeView. Nodes arrive one at a time from
// the scan; the view is told about them in bursts, since telling it of each
// of tens of thousands of nodes would cost more than the scan.

#include <QAbstractItemModel>
#include <QIcon>
#include <vector>

#include "session/check_tree.h"
#include "session/object_tree.h"

namespace tavrin::ui {

class TreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit TreeModel(QObject* parent = nullptr);

  void clear();
  // Appends `node` under `parent`; ids come in the order the session made them.
  void insert(NodeId node, NodeId parent, const std::string& label, int32_t image);
  void setItemData(NodeId node, int32_t itemData);
  void markExpanded(NodeId node);
  // Tells the view of the nodes inserted since the last call.
  void publish();

  const ObjectTree& tree() const { return tree_; }
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
  // Nodes were added; the view expands the nodes marked expanded.
  void published();

 private:
  QIcon iconFor(int32_t image) const;
  ObjectTree tree_;
  CheckTree checks_;
  size_t published_ = 0;  // nodes the view knows of
  QIcon folder_, keys_, views_, triggers_, table_;
};

}  // namespace tavrin::ui
