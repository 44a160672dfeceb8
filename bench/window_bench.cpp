// The window's speed, off screen: the tree of a scanned folder built and
// shown, and the first page of a table shown after a click on it.
//   tavrin-window-bench FOLDER_WITH_MANY_TABLES FOLDER_WITH_A_BIG_TABLE TABLE

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>

#include "session/scan.h"
#include "tabledef/collation_catalogue.h"
#include "ui/main_window.h"
#include "ui/tree_model.h"

namespace {

using tavrin::ui::MainWindow;

double openSeconds(MainWindow& window, const std::string& folder) {
  tavrin::ScanSettings settings = tavrin::initialScanSettings();
  settings.databasePath = folder;
  window.presetSettings(settings);
  QElapsedTimer clock;
  clock.start();
  window.open();
  if (!QTest::qWaitFor([&] { return !window.controller().isBusy(); }, 600000)) std::fprintf(stderr, "the scan did not end\n");
  window.controller().waitForScan();
  QCoreApplication::processEvents();
  window.treeModel()->publish();
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
  const double scan = openSeconds(window, argv[1]);
  std::printf("open and tree of %zu nodes: %.3f s\n", window.treeModel()->tree().size(), scan);
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
  return 0;
}
