// tavrin-repair: the desktop window.
//   tavrin-repair [FOLDER]                       opens FOLDER at start
//   tavrin-repair --screenshot FILE.png [FOLDER] draws the window, after the
//       scan and the first table's first page, into FILE.png and ends

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

#include "session/scan_settings.h"
#include "session/texts.h"
#include "tabledef/collation_catalogue.h"
#include "ui/looks.h"
#include "ui/main_window.h"
#include "ui/screenshot.h"
#include "ui/single_instance.h"
#include "ui/splash.h"
#include "ui/window_texts.h"

namespace {

struct Arguments {
  QString screenshot;
  QString folder;
  bool ok = true;
};

Arguments parse(const QStringList& args) {
  Arguments a;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--screenshot" && i + 1 < args.size()) {
      a.screenshot = args[++i];
    } else if (args[i].startsWith("-") || !a.folder.isEmpty()) {
      a.ok = false;
    } else {
      a.folder = args[i];
    }
  }
  return a;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Tavrin");
  QApplication::setApplicationName("tavrin-repair");
  const Arguments args = parse(QApplication::arguments());
  if (!args.ok) {
    std::fprintf(stderr, "usage: tavrin-repair [FOLDER] | tavrin-repair --screenshot FILE.png [FOLDER]\n");
    return 2;
  }
  const bool screenshot = !args.screenshot.isEmpty();
  tavrin::ui::SingleInstance instance("tavrin-repair-" + qEnvironmentVariable("USER", "user"));
  if (!screenshot && !instance.claim()) {
    QMessageBox::information(nullptr, tavrin::ui::texts::text(tavrin::texts::kCaption),
                             tavrin::ui::texts::text(tavrin::ui::texts::kAnotherInstance));
    return 0;
  }
  tavrin::ui::applyLook(tavrin::ui::savedLook());
  const tavrin::CatalogueChoice catalogue =
      tavrin::findCatalogue({".", QCoreApplication::applicationDirPath().toStdString()});
  tavrin::ui::MainWindow window(catalogue.catalogue);
  if (!args.folder.isEmpty()) {
    tavrin::ScanSettings settings = tavrin::initialScanSettings();
    settings.databasePath = args.folder.toStdString();
    window.presetSettings(settings);
    QTimer::singleShot(0, &window, [&window] { window.open(); });
  }
  if (screenshot) {
    window.answerMessagesWith([](const std::string&) { return tavrin::MessageAnswer::No; });
    window.resize(1280, 800);
    window.show();
    tavrin::ui::takeScreenshotWhenLoaded(window, args.screenshot, !args.folder.isEmpty());
  } else {
    window.showAsLastTime();
    tavrin::ui::showSplash(&window);
  }
  return app.exec();
}
