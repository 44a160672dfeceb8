// The window as a person uses it, drawn off screen: the record view's layout,
// the commands refused while a scan runs, paging by clicks, the scan
// settings dialog's checks and the CSV export of the grid.

#include <fstream>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QLabel>
#include <QRadioButton>
#include <QStyleOptionViewItem>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <filesystem>

#include "export/grid_csv.h"
#include "export/mariadb_link.h"
#include "session/scan.h"
#include "session/texts.h"
#include "test_support.h"
#include "ui/about_dialog.h"
#include "ui/grid_model.h"
#include "ui/main_window.h"
#include "ui/object_tree_view.h"
#include "ui/record_view.h"
#include "ui/save_dialog.h"
#include "ui/single_instance.h"
#include "ui/scan_settings_dialog.h"
#include "ui/tree_model.h"
#include "ui/window_texts.h"

namespace tavrin::ui {

namespace {

// Waits (running the event loop) until the session is idle again and what
// its worker handed to the window was done.
bool waitIdle(MainWindow& window) {
  if (!QTest::qWaitFor([&] { return !window.controller().isBusy(); }, 20000)) return false;
  window.controller().waitForScan();
  QCoreApplication::processEvents();
  return true;
}

// Opens `folder` without its dialog and waits for the scan to end.
void openFolder(MainWindow& window, const std::string& folder) {
  ScanSettings settings = initialScanSettings();
  settings.databasePath = folder;
  window.presetSettings(settings);
  window.open();
  QVERIFY(waitIdle(window));
}

// Clicks the label of a node as a person does.
void clickNode(MainWindow& window, NodeId node) {
  const QModelIndex index = window.treeModel()->indexOf(node);
  window.treeView()->scrollTo(index);
  QCoreApplication::processEvents();  // the view scrolls on its next layout
  const QRect where = window.treeView()->visualRect(index);
  QTest::mouseClick(window.treeView()->viewport(), Qt::LeftButton, {}, where.center());
}

// Clicks the check box of a node.
void clickBox(MainWindow& window, NodeId node) {
  ObjectTreeView* view = window.treeView();
  const QModelIndex index = window.treeModel()->indexOf(node);
  view->scrollTo(index);
  QCoreApplication::processEvents();
  QStyleOptionViewItem option;
  option.initFrom(view);
  option.rect = view->visualRect(index);
  option.features |= QStyleOptionViewItem::HasCheckIndicator;
  const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
}

// Fills the save dialog when it shows: `fill` sets its fields, then OK is pressed.
void answerSaveDialog(MainWindow& window, std::function<void(SaveDialog&)> fill) {
  window.prepareSaveDialogWith([fill](SaveDialog& dialog) {
    QTimer::singleShot(0, &dialog, [&dialog, fill] {
      fill(dialog);
      dialog.okButton()->click();
      // A server's first OK tests the connection and stays open; the second closes.
      if (dialog.isVisible()) dialog.okButton()->click();
    });
  });
}

QString firstCell(MainWindow& window) {
  return window.recordView()->grid()->model()->index(0, 0).data().toString();
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void recordViewLayoutFollowsItsSize();
  void commandsRefusedWhileAScanRuns();
  void pagingByClicks();
  void scanSettingsDialogChecks();
  void definitionsFileOfTheOpenDialog();
  void csvExportOfTheGrid();
  void checkBoxClickChecksWithoutLoading();
  void saveOfTheCheckedTablesAsAScript();
  void saveIntoAServer();
  void oneCopyAndAStaleLockTakenOver();
  void stopAndCloseAskFirst();
  void aboutDialogLinksAndKeys();
};

void WindowTest::recordViewLayoutFollowsItsSize() {
  GridModel model;
  RecordView view(&model);
  for (const QSize size : {QSize(800, 600), QSize(300, 200), QSize(1500, 1000)}) {
    view.resize(size);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.grid()->geometry(), QRect(0, 0, size.width(), size.height() - 35));
    QCOMPARE(view.definition()->geometry(), QRect(0, 0, size.width(), size.height()));
    QCOMPARE(view.previous()->geometry(), QRect(size.width() - 120, size.height() - 31, 50, 25));
    QCOMPARE(view.next()->geometry(), QRect(size.width() - 65, size.height() - 31, 50, 25));
  }
}

// A folder without ibdata1 makes the scan ask whether to look for one; while
// it asks, the scan is running and every other command refuses.
void WindowTest::commandsRefusedWhileAScanRuns() {
  test::ScratchFolder folder;
  const std::string db = folder.makeFolder("rows");
  std::filesystem::copy(test::fixtureData("myisam_rows") + "/rows/lists.frm", db + "/lists.frm");
  MainWindow window(test::shippedCatalogue());
  window.show();
  bool stopEnabled = false;
  window.answerMessagesWith([&](const std::string& text) {
    if (text == ::tavrin::texts::kBrowseIbdata) {
      window.open();
      window.save();
      window.help();
      window.about();
      window.close();
      stopEnabled = window.stopButton()->isEnabled();
      return MessageAnswer::No;
    }
    return MessageAnswer::Ok;
  });
  openFolder(window, db);
  const std::vector<std::string> expected = {
      ::tavrin::texts::kBrowseIbdata,          ::tavrin::texts::kWaitForRunningProcess,
      ::tavrin::texts::kWaitForRunningProcess, texts::kStopToContinue,
      texts::kStopToContinue,                  texts::kStopToClose,
      ::tavrin::texts::kScanningCompleted,
  };
  QCOMPARE(QStringList(window.shownMessages().size(), {}).size(), QStringList(expected.size(), {}).size());
  for (size_t i = 0; i < expected.size(); ++i) QCOMPARE(window.shownMessages()[i], expected[i]);
  QVERIFY(stopEnabled);
  QVERIFY(window.isVisible());
  QTRY_VERIFY(!window.stopButton()->isEnabled());
}

void WindowTest::pagingByClicks() {
  MainWindow window(test::shippedCatalogue());
  window.answerMessagesWith([](const std::string&) { return MessageAnswer::No; });
  window.resize(1000, 700);
  window.show();
  openFolder(window, test::fixtureData("myisam_rows") + "/rows");
  const NodeId table = tableNode(window.treeModel()->tree(), "pages_dynamic");
  QVERIFY(table != kNoNode);
  clickNode(window, table);
  QVERIFY(waitIdle(window));
  QCOMPARE(window.recordView()->grid()->model()->rowCount(), 1000);
  const QString first = firstCell(window);
  QVERIFY(!window.recordView()->previous()->isEnabled());
  QVERIFY(window.recordView()->next()->isEnabled());
  QTest::mouseClick(window.recordView()->next(), Qt::LeftButton);
  QVERIFY(waitIdle(window));
  QVERIFY(firstCell(window) != first);
  QVERIFY(window.recordView()->previous()->isEnabled());
  QTest::mouseClick(window.recordView()->previous(), Qt::LeftButton);
  QVERIFY(waitIdle(window));
  QCOMPARE(firstCell(window), first);
}

// A folder that is not a database folder is refused with the session's
// message, and the dialog comes back with what was typed.
void WindowTest::scanSettingsDialogChecks() {
  MainWindow window(test::shippedCatalogue());
  window.show();
  std::vector<QString> seen;
  window.answerMessagesWith([](const std::string&) { return MessageAnswer::Ok; });
  int round = 0;
  std::function<void()> fill = [&] {
    auto* dialog = qobject_cast<ScanSettingsDialog*>(QApplication::activeModalWidget());
    if (!dialog) {
      QTimer::singleShot(20, fill);
      return;
    }
    seen.push_back(dialog->databaseEdit()->text());
    if (round++ == 0) {
      dialog->databaseEdit()->setText("/nonexistent/folder");
      dialog->accept();
      QTimer::singleShot(20, fill);
    } else {
      dialog->reject();
    }
  };
  QTimer::singleShot(20, fill);
  window.open();
  QCOMPARE(int(seen.size()), 2);
  QCOMPARE(seen[0], QString());
  QCOMPARE(seen[1], QString("/nonexistent/folder"));
  QCOMPARE(window.shownMessages().back(), std::string(::tavrin::texts::kInvalidDatabasePath));
  QVERIFY(!window.controller().isBusy());
}

// Tables whose .frm is gone come with the CREATE TABLE statements of the
// file the Open dialog names, and read as the .frm would have them read.
void WindowTest::definitionsFileOfTheOpenDialog() {
  test::ScratchFolder scratch;
  const std::string sakila = test::realFixtures() + "/mysql-5.5.35-sakila";
  const std::string folder = scratch.path() + "/sakila";
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(sakila + "/actor.ibd", folder + "/actor.ibd");
  const std::string schema = scratch.path() + "/schema.sql";
  {
    std::ofstream out(schema);
    out << "CREATE TABLE `actor` (\n  `actor_id` smallint(5) unsigned NOT NULL AUTO_INCREMENT,\n"
           "  `first_name` varchar(45) NOT NULL,\n  `last_name` varchar(45) NOT NULL,\n"
           "  `last_update` timestamp NOT NULL DEFAULT CURRENT_TIMESTAMP,\n  PRIMARY KEY (`actor_id`)\n"
           ") ENGINE=InnoDB DEFAULT CHARSET=utf8;\n";
  }
  MainWindow window(test::shippedCatalogue());
  window.answerMessagesWith([](const std::string&) { return MessageAnswer::Ok; });
  window.resize(1000, 700);
  window.show();
  std::function<void()> fill = [&] {
    auto* dialog = qobject_cast<ScanSettingsDialog*>(QApplication::activeModalWidget());
    if (!dialog) {
      QTimer::singleShot(20, fill);
      return;
    }
    dialog->databaseEdit()->setText(QString::fromStdString(folder));
    dialog->definitionsEdit()->setText(QString::fromStdString(schema));
    dialog->accept();
  };
  QTimer::singleShot(20, fill);
  window.open();
  QVERIFY(waitIdle(window));
  const NodeId actor = tableNode(window.treeModel()->tree(), "actor");
  QVERIFY2(actor != kNoNode, window.shownMessages().empty() ? "" : window.shownMessages().back().c_str());
  clickNode(window, actor);
  QVERIFY(waitIdle(window));
  QCOMPARE(window.recordView()->grid()->model()->data(window.recordView()->grid()->model()->index(0, 1)).toString(),
           QString("PENELOPE"));
}

void WindowTest::csvExportOfTheGrid() {
  test::ScratchFolder out;
  const std::string file = out.path() + "/lists.csv";
  MainWindow window(test::shippedCatalogue());
  window.answerMessagesWith([](const std::string&) { return MessageAnswer::Ok; });
  window.answerFileDialogsWith([&] { return std::optional<std::string>(file); });
  window.resize(1000, 700);
  window.show();
  openFolder(window, test::fixtureData("myisam_rows") + "/rows");
  clickNode(window, tableNode(window.treeModel()->tree(), "lists"));
  QVERIFY(waitIdle(window));
  QVERIFY(window.recordView()->grid()->model()->rowCount() > 0);
  window.exportCsv();
  QVERIFY(waitIdle(window));
  QCOMPARE(QString::fromStdString(window.shownMessages().back()), QString(::tavrin::texts::kFileSaved));
  // The file holds the grid's page, titles and rows, as the export writes it.
  const GridPage& page = window.controller().currentPage();
  QVERIFY(!page.rows.empty());
  QCOMPARE(int(page.rows.size()), window.recordView()->grid()->model()->rowCount());
  QVERIFY(test::readText(file) == gridCsv(page.titles, page.rows));
}

void WindowTest::checkBoxClickChecksWithoutLoading() {
  MainWindow window(test::shippedCatalogue());
  window.answerMessagesWith([](const std::string&) { return MessageAnswer::No; });
  window.resize(1000, 700);
  window.show();
  openFolder(window, test::fixtureData("definitions") + "/defs");
  const NodeId items = tableNode(window.treeModel()->tree(), "items");
  const QString caption = window.captionBar()->text();
  clickBox(window, items);
  QVERIFY(waitIdle(window));
  QCOMPARE(window.treeModel()->checks().state(items), CheckState::Checked);
  QCOMPARE(window.treeModel()->indexOf(items).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  const NodeId tables = window.treeModel()->tree().node(items).parent;
  QCOMPARE(window.treeModel()->indexOf(tables).data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
  QCOMPARE(window.captionBar()->text(), caption);  // nothing was loaded
  QCOMPARE(window.recordView()->grid()->model()->rowCount(), 0);
}

void WindowTest::saveOfTheCheckedTablesAsAScript() {
  test::ScratchFolder out;
  MainWindow window(test::shippedCatalogue());
  window.answerMessagesWith([](const std::string&) { return MessageAnswer::Ok; });
  window.show();
  openFolder(window, test::fixtureData("definitions") + "/defs");
  window.save();
  QCOMPARE(window.shownMessages().back(), std::string(texts::kSelectToSave));
  window.treeModel()->setChecked(tableNode(window.treeModel()->tree(), "items"), true);
  answerSaveDialog(window, [&](SaveDialog& dialog) {
    dialog.scriptMode()->click();
    dialog.answerFolderWith([&] { return std::optional<std::string>(out.path()); });
    dialog.browseButton()->click();
  });
  window.save();
  QVERIFY(waitIdle(window));
  QVERIFY(test::readText(out.path() + "/defs.sql").find("CREATE TABLE `items`") != std::string::npos);
  const QString last = window.outputList()->item(window.outputList()->count() - 1)->text();
  QVERIFY2(last.startsWith(::tavrin::texts::kSaveCompleted), qPrintable(last));
}

// Against a throw-away server whose socket the environment names.
void WindowTest::saveIntoAServer() {
  const QByteArray socket = qgetenv("TAVRIN_TEST_SOCKET");
  if (socket.isEmpty()) QSKIP("no server: TAVRIN_TEST_SOCKET names a throw-away server's socket");
  MainWindow window(test::shippedCatalogue());
  window.answerMessagesWith([](const std::string&) { return MessageAnswer::Ok; });
  window.show();
  openFolder(window, test::fixtureData("definitions") + "/defs");
  window.treeModel()->setChecked(tableNode(window.treeModel()->tree(), "items"), true);
  answerSaveDialog(window, [&](SaveDialog& dialog) {
    dialog.socket()->setText(QString::fromUtf8(socket));
    dialog.socket()->textEdited(dialog.socket()->text());
    dialog.testButton()->click();
  });
  window.save();
  QVERIFY(waitIdle(window));
  const std::vector<std::string>& messages = window.shownMessages();
  QVERIFY(std::find(messages.begin(), messages.end(), ::tavrin::texts::kConnectionSuccessful) != messages.end());
  ServerAddress address;
  address.server = "localhost";
  address.socket = socket.toStdString();
  address.user = "root";
  auto connection = connectMariadb(address);
  QVERIFY2(connection, connection ? "" : connection.reason().c_str());
  auto made = (*connection)->firstValue("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'defs' "
                                       "AND TABLE_NAME = 'items'");
  QVERIFY(made);
  QCOMPARE(QString::fromStdString(made->value_or("")), QString("1"));
}

// A lock left by a copy that crashed is taken over; a live copy's is not.
void WindowTest::oneCopyAndAStaleLockTakenOver() {
  const QString name = "tavrin-window-test-" + QString::number(QCoreApplication::applicationPid());
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  QVERIFY(QDir().mkpath(folder));
  {
    QFile stale(folder + "/" + name + ".lock");
    QVERIFY(stale.open(QIODevice::WriteOnly));
    // The format QLockFile writes: a process that is long gone.
    stale.write("2147483646\ntavrin-repair\n" + QSysInfo::machineHostName().toUtf8() + "\n");
  }
  SingleInstance first(name);
  QVERIFY(first.claim());
  SingleInstance second(name);
  QVERIFY(!second.claim());
}

// Stop asks before it stops a scan; Close asks, then names the log of the
// session and closes the window (the program ends with it).
void WindowTest::stopAndCloseAskFirst() {
  test::ScratchFolder folder;
  const std::string db = folder.makeFolder("rows");
  std::filesystem::copy(test::fixtureData("myisam_rows") + "/rows/lists.frm", db + "/lists.frm");
  MainWindow window(test::shippedCatalogue());
  window.show();
  MessageAnswer closeAnswer = MessageAnswer::No;
  window.answerMessagesWith([&](const std::string& text) {
    if (text == ::tavrin::texts::kBrowseIbdata) {
      window.stop();  // asked while the scan waits for this answer
      return MessageAnswer::No;
    }
    if (text == ::tavrin::texts::kConfirmStop) return MessageAnswer::Yes;
    if (text == texts::kConfirmClose) return closeAnswer;
    return MessageAnswer::Ok;
  });
  openFolder(window, db);
  const QString last = window.outputList()->item(window.outputList()->count() - 1)->text();
  QCOMPARE(last, QString(::tavrin::texts::kScanningStopped));
  QVERIFY(!window.stopButton()->isEnabled());

  window.close();
  QVERIFY(window.isVisible());
  QCOMPARE(window.shownMessages().back(), std::string(texts::kConfirmClose));
  closeAnswer = MessageAnswer::Yes;
  window.close();
  QVERIFY(!window.isVisible());
  const std::string log = window.controller().logFilePath();
  QVERIFY(!log.empty() && std::filesystem::exists(log));
  QCOMPARE(window.shownMessages().back(), texts::kLogFilePath + log);
  std::filesystem::remove(log);
}

void WindowTest::aboutDialogLinksAndKeys() {
  QList<QUrl> opened;
  AboutDialog dialog(nullptr, [&](const QUrl& url) { opened.append(url); });
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QStringList tips;
  for (QToolButton* link : dialog.links()) {
    tips.append(link->toolTip());
    link->click();
  }
  QCOMPARE(tips, QStringList({texts::kWebsiteTip, texts::kSupportTip, texts::kSalesTip}));
  QCOMPARE(opened, QList<QUrl>({QUrl(texts::kWebsiteUrl), QUrl(texts::kSupportUrl), QUrl(texts::kSalesUrl)}));
  for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
    QTest::keyClick(&dialog, key);
    QVERIFY(dialog.isVisible());
  }
  dialog.okButton()->click();
  QVERIFY(!dialog.isVisible());
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

}  // namespace tavrin::ui

QTEST_MAIN(tavrin::ui::WindowTest)
#include "window_test.moc"
