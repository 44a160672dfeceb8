#pragma once
// The About dialog: the program's picture, name, version, rights holder and
// licence, three links (web site, support and sales addresses) and OK.
// Enter and Esc do not close it, so a key pressed by habit does not dismiss
// it unread; it can be dragged by any point of its surface.

#include <QDialog>
#include <QUrl>
#include <functional>

class QPushButton;
class QToolButton;

namespace tavrin::ui {

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  using LinkOpener = std::function<void(const QUrl&)>;
  // `openLink` opens a link's target; by default the desktop's browser or mail program.
  explicit AboutDialog(QWidget* parent = nullptr, LinkOpener openLink = {});

  QList<QToolButton*> links() const { return links_; }
  QPushButton* okButton() const { return ok_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QToolButton* addLink(const QString& caption, const QString& tip, const char* url);

  LinkOpener openLink_;
  QList<QToolButton*> links_;
  QPushButton* ok_ = nullptr;
  QPoint dragOffset_;
};

}  // namespace tavrin::ui
