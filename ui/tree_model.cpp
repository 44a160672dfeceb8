#include "ui/tree_model.h"

#include <algorithm>

#include <QApplication>
#include <QStyle>

namespace tavrin::ui {

TreeModel::TreeModel(QObject* parent)
    : QAbstractItemModel(parent), tree_(std::make_shared<const ObjectTree>()) {
  QStyle* style = QApplication::style();
  folder_ = style->standardIcon(QStyle::SP_DirIcon);
  keys_ = style->standardIcon(QStyle::SP_FileDialogDetailedView);
  views_ = style->standardIcon(QStyle::SP_FileDialogContentsView);
  triggers_ = style->standardIcon(QStyle::SP_BrowserReload);
  table_ = style->standardIcon(QStyle::SP_FileIcon);
}

void TreeModel::show(std::shared_ptr<const ObjectTree> tree) {
  beginResetModel();
  tree_ = tree ? std::move(tree) : std::make_shared<const ObjectTree>();
  checks_.clear();
  for (NodeId id = 0; size_t(id) < tree_->size(); ++id) checks_.insert(tree_->node(id).parent);
  endResetModel();
  emit shown();
}

NodeId TreeModel::nodeAt(const QModelIndex& index) const {
  return index.isValid() ? NodeId(index.internalId()) : kNoNode;
}

QModelIndex TreeModel::indexOf(NodeId node) const {
  if (node < 0 || size_t(node) >= tree_->size()) return {};
  return createIndex(tree_->node(node).row, 0, quintptr(node));
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  const std::vector<NodeId>& siblings = parent.isValid() ? tree_->node(nodeAt(parent)).children : tree_->roots();
  if (size_t(row) >= siblings.size()) return {};
  return createIndex(row, 0, quintptr(siblings[size_t(row)]));
}

QModelIndex TreeModel::parent(const QModelIndex& child) const {
  const NodeId node = nodeAt(child);
  if (node == kNoNode) return {};
  return indexOf(tree_->node(node).parent);
}

int TreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  return int((parent.isValid() ? tree_->node(nodeAt(parent)).children : tree_->roots()).size());
}

int TreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant TreeModel::data(const QModelIndex& index, int role) const {
  const NodeId node = nodeAt(index);
  if (node == kNoNode) return {};
  const TreeNode& n = tree_->node(node);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return QString::fromStdString(n.label);
    case Qt::DecorationRole: return iconFor(n.image);
    case Qt::CheckStateRole:
      switch (checks_.state(node)) {
        case CheckState::Checked: return Qt::Checked;
        case CheckState::Mixed: return Qt::PartiallyChecked;
        case CheckState::Unchecked: return Qt::Unchecked;
      }
      return {};
    default: return {};
  }
}

// A click on a box sets the opposite of the node's own check, whatever a
// mixed box shows.
bool TreeModel::setData(const QModelIndex& index, const QVariant&, int role) {
  const NodeId node = nodeAt(index);
  if (role != Qt::CheckStateRole || node == kNoNode) return false;
  setChecked(node, !checks_.record(node).checked);
  return true;
}

void TreeModel::setChecked(NodeId node, bool checked) {
  checks_.setCheck(node, checked, [this](NodeId changed) {
    const QModelIndex at = indexOf(changed);
    if (at.isValid()) emit dataChanged(at, at, {Qt::CheckStateRole});
  });
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

QIcon TreeModel::iconFor(int32_t image) const {
  switch (image) {
    case TreeImage::Keys: return keys_;
    case TreeImage::Views: return views_;
    case TreeImage::Triggers: return triggers_;
    default: return folder_;
  }
}

}  // namespace tavrin::ui
