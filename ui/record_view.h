#pragma once
// The record view: the grid of a page of rows (or a table's structure) with
// "Previous Records" and "Next Records" under it at the right, or the text of
// a view or trigger in the same place. It only draws; the session decides
// what is shown and what is enabled.

#include <QWidget>

class QPushButton;
class QTableView;
class QPlainTextEdit;

namespace tavrin::ui {

class GridModel;

class RecordView : public QWidget {
  Q_OBJECT
 public:
  explicit RecordView(GridModel* model, QWidget* parent = nullptr);

  QTableView* grid() const { return grid_; }
  QPlainTextEdit* definition() const { return definition_; }
  QPushButton* previous() const { return previous_; }
  QPushButton* next() const { return next_; }

  // The places of the children in a view of `size`: the text box fills it;
  // the grid leaves a strip of 35 pixels under it for the two buttons.
  struct Layout {
    QRect definition, grid, previous, next;
  };
  static Layout layoutFor(QSize size);

 signals:
  void previousPressed();
  void nextPressed();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QTableView* grid_;
  QPlainTextEdit* definition_;
  QPushButton* previous_;
  QPushButton* next_;
};

}  // namespace tavrin::ui
