// The window's speed, off screen: the tree of a scanned folder built and
// shown, the first page of a table shown after a click on it, and the
// longest the window went without handling its events during a scan and
// during the save of the big table as a script.
//   tavrin-window-bench FOLDER_WITH_MANY_TABLES FOLDER_WITH_A_BIG_TABLE TABLE

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "session/scan.h"
#include "tabledef/collation_catalogue.h"
#include "ui/main_window.h"
#include "ui/tree_model.h"

namespace {

using tavrin::ui::MainWindow;

// The longest gap between two ticks of a 5 ms timer while it runs: how long
// a click would wait for the window.
class PauseMeter {
 public:
  PauseMeter() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      longestMs_ = std::max(longestMs_, clock_.nsecsElapsed() / 1e6);
      clock_.restart();
    });
    clock_.start();
    timer_.start();
  }
  double longestMs() const { return longestMs_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  double longestMs_ = 0;
};

bool waitIdle(MainWindow& window) {
  const bool idle = QTest::qWaitFor([&] { return !window.controller().isBusy(); }, 600000);
  if (!idle) std::fprintf(stderr, "the work did not end\n");
  window.controller().waitForScan();
  QCoreApplication::processEvents();
  return idle;
}

double openSeconds(MainWindow& window, const std::string& folder) {
  tavrin::ScanSettings settings = tavrin::initialScanSettings();
  settings.databasePath = folder;
  window.presetSettings(settings);
  QElapsedTimer clock;
  clock.start();
  window.open();
  waitIdle(window);
  QCoreApplication::processEvents();
  return clock.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s FOLDER_WITH_MANY_TABLES FOLDER_WITH_A_BIG_TABLE TABLE\n", argv[0]);
    return 2;
  }
  const tavrin::CatalogueChoice catalogue = tavrin::findCatalogue({".", QCoreApplication::applicationDirPath().toStdString()});
  MainWindow window(catalogue.catalogue);
  window.answerMessagesWith([](const std::string&) { return tavrin::MessageAnswer::No; });
  window.resize(1280, 800);
  window.show();
  double scan = 0, scanPause = 0;
  {
    PauseMeter meter;
    scan = openSeconds(window, argv[1]);
    scanPause = meter.longestMs();
  }
  std::printf("open and tree of %zu nodes: %.3f s; the window's longest pause: %.1f ms\n",
              window.treeModel()->tree().size(), scan, scanPause);
  openSeconds(window, argv[2]);
  const tavrin::NodeId table = tavrin::tableNode(window.treeModel()->tree(), argv[3]);
  if (table == tavrin::kNoNode) {
    std::fprintf(stderr, "no table %s\n", argv[3]);
    return 1;
  }
  QElapsedTimer clock;
  clock.start();
  window.controller().onNodeClicked(table);
  QCoreApplication::processEvents();
  std::printf("first page of %s shown: %.1f ms\n", argv[3], clock.nsecsElapsed() / 1e6);

  QTemporaryDir out;
  tavrin::SaveRequest request;
  request.scriptFolder = out.path().toStdString();
  PauseMeter meter;
  clock.restart();
  window.controller().onSave({table}, request);
  waitIdle(window);
  const QFileInfo script(out.path() + "/" + QFileInfo(argv[2]).fileName() + ".sql");
  std::printf("%s saved as a script of %lld bytes: %.2f s; the window's longest pause: %.1f ms\n", argv[3],
              script.size(), clock.nsecsElapsed() / 1e9, meter.longestMs());
  return 0;
}
