#include "ui/screenshot.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include "ui/object_tree_view.h"
#include <cstdio>
#include <functional>

#include "session/scan.h"
#include "ui/main_window.h"
#include "ui/tree_model.h"

namespace tavrin::ui {

namespace {

void write(MainWindow& window, const QString& path) {
  const bool written = window.grab().save(path, "PNG");
  if (!written) std::fprintf(stderr, "tavrin-repair: cannot write %s\n", path.toLocal8Bit().constData());
  QApplication::exit(written ? 0 : 1);
}

// Calls `then` once the session is no longer busy.
void whenIdle(MainWindow& window, std::function<void()> then) {
  auto* poll = new QTimer(&window);
  QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, then] {
    if (window.controller().isBusy()) return;
    poll->deleteLater();
    poll->stop();
    then();
  });
  poll->start(50);
}

}  // namespace

void takeScreenshotWhenLoaded(MainWindow& window, const QString& path, bool afterScan) {
  // Let the window be drawn before the picture is taken.
  auto writeSoon = [&window, path] { QTimer::singleShot(300, &window, [&window, path] { write(window, path); }); };
  if (!afterScan) {
    writeSoon();
    return;
  }
  // The Open runs from the event loop: its scan has begun once the tree was cleared and filled.
  QTimer::singleShot(100, &window, [&window, writeSoon] {
    whenIdle(window, [&window, writeSoon] {
      const NodeId table = tableNode(window.treeModel()->tree());
      if (table != kNoNode) {
        window.treeView()->setCurrentIndex(window.treeModel()->indexOf(table));
        window.controller().onNodeClicked(table);
      }
      whenIdle(window, writeSoon);
    });
  });
}

}  // namespace tavrin::ui
