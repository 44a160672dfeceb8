#pragma once
// The record grid's model: the session's current page (column titles and
// rows of texts), handed over whole; the view asks only for the cells it draws.

#include <QAbstractTableModel>

#include "session/grid_page.h"

namespace tavrin::ui {

class GridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void setPage(GridPage page);
  const GridPage& page() const { return page_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  GridPage page_;
};

}  // namespace tavrin::ui
