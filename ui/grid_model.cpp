#include "ui/grid_model.h"

namespace tavrin::ui {

void GridModel::setPage(GridPage page) {
  beginResetModel();
  page_ = std::move(page);
  endResetModel();
}

int GridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(page_.rows.size()); }

int GridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(page_.titles.size()); }

QVariant GridModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const auto& row = page_.rows[size_t(index.row())];
  if (size_t(index.column()) >= row.size()) return {};
  const std::string& cell = row[size_t(index.column())];
  // A long value shows its start in the cell and the whole in its tip.
  if (role == Qt::ToolTipRole && cell.size() < 60) return {};
  return QString::fromStdString(cell);
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  if (size_t(section) >= page_.titles.size()) return {};
  return QString::fromStdString(page_.titles[size_t(section)]);
}

}  // namespace tavrin::ui
