#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "export/mariadb_link.h"
#include "session/texts.h"
#include "ui/about_dialog.h"
#include "ui/grid_model.h"
#include "ui/looks.h"
#include "ui/object_tree_view.h"
#include "ui/record_view.h"
#include "ui/ribbon.h"
#include "ui/save_dialog.h"
#include "ui/scan_settings_dialog.h"
#include "ui/tree_model.h"
#include "ui/window_texts.h"

namespace tavrin::ui {

namespace {

// Four swatches: the look button's picture.
QIcon paletteIcon() {
  QPixmap picture(32, 32);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  const QColor colours[] = {QColor(0, 120, 215), QColor(246, 246, 246), QColor(45, 45, 48), QColor(0, 150, 136)};
  for (int i = 0; i < 4; ++i) {
    p.setBrush(colours[i]);
    p.setPen(QColor(90, 90, 90));
    p.drawRect(2 + (i % 2) * 15, 2 + (i / 2) * 15, 13, 13);
  }
  return QIcon(picture);
}

constexpr const char* kGeometrySetting = "WindowGeometry";

// Columns wider than this are cut; the cell's tip shows the whole value.
constexpr int kWidestColumn = 320;
constexpr int kRowsMeasured = 50;
}  // namespace

template <class F>
void MainWindow::onWindowThread(F&& f) {
  if (QThread::currentThread() == thread()) {
    f();
  } else {
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
  }
}

template <class F>
auto MainWindow::answerFromWindowThread(F&& f) -> decltype(f()) {
  if (QThread::currentThread() == thread()) return f();
  decltype(f()) answer{};
  QMetaObject::invokeMethod(this, [&] { answer = f(); }, Qt::BlockingQueuedConnection);
  return answer;
}

MainWindow::MainWindow(const CollationCatalogue& catalogue, QWidget* parent)
    : QMainWindow(parent), treeModel_(new TreeModel(this)), gridModel_(new GridModel(this)) {
  setWindowTitle(texts::text(::tavrin::texts::kCaption));
  controller_ = std::make_unique<SessionController>(*this, catalogue);
  buildRibbon();
  buildPanes();
  buildStatusBar();
  connect(treeModel_, &TreeModel::shown, this, &MainWindow::expandMarked);
  // The commands' states follow the busy flag, which the worker clears.
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, &MainWindow::refreshCommands);
  poll->start(200);
  controller_->start();
  refreshCommands();
}

MainWindow::~MainWindow() {
  // The worker may still hand calls over; let them run before it is joined.
  while (controller_->isBusy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  controller_.reset();
}

void MainWindow::buildRibbon() {
  auto* ribbon = new Ribbon(texts::text(texts::kCategory), this);
  QStyle* s = style();
  QHBoxLayout* main = ribbon->addGroup(QString());
  connect(ribbon->addCommand(main, texts::text(texts::kOpen), texts::text(texts::kOpenTip), s->standardIcon(QStyle::SP_DialogOpenButton)),
          &QToolButton::clicked, this, &MainWindow::open);
  stopButton_ = ribbon->addCommand(main, texts::text(texts::kStop), texts::text(texts::kStopTip), s->standardIcon(QStyle::SP_BrowserStop));
  connect(stopButton_, &QToolButton::clicked, this, &MainWindow::stop);
  connect(ribbon->addCommand(main, texts::text(texts::kSave), texts::text(texts::kSaveTip), s->standardIcon(QStyle::SP_DialogSaveButton)),
          &QToolButton::clicked, this, &MainWindow::save);
  connect(ribbon->addCommand(main, texts::text(texts::kExportCsv), texts::text(texts::kExportCsvTip),
                             s->standardIcon(QStyle::SP_FileDialogDetailedView)),
          &QToolButton::clicked, this, &MainWindow::exportCsv);
  QHBoxLayout* look = ribbon->addGroup(texts::text(texts::kLookGroup));
  QToolButton* looksButton = ribbon->addCommand(look, texts::text(texts::kLookButton), texts::text(texts::kLookTip), paletteIcon());
  auto* menu = new QMenu(looksButton);
  for (const Look& l : looks()) {
    QAction* action = menu->addAction(l.name);
    action->setCheckable(true);
    action->setChecked(l.id == savedLook());
    connect(action, &QAction::triggered, this, [menu, action, id = l.id] {
      for (QAction* other : menu->actions()) other->setChecked(other == action);
      applyLook(id);
      saveLook(id);
    });
  }
  looksButton->setMenu(menu);
  looksButton->setPopupMode(QToolButton::InstantPopup);
  QHBoxLayout* about = ribbon->addGroup(texts::text(texts::kAboutGroup));
  connect(ribbon->addCommand(about, texts::text(texts::kHelp), texts::text(texts::kHelpTip), s->standardIcon(QStyle::SP_DialogHelpButton)),
          &QToolButton::clicked, this, &MainWindow::help);
  connect(ribbon->addCommand(about, texts::text(texts::kAbout), texts::text(texts::kAboutTip),
                             s->standardIcon(QStyle::SP_MessageBoxInformation)),
          &QToolButton::clicked, this, &MainWindow::about);
  setMenuWidget(ribbon);
}

void MainWindow::buildPanes() {
  auto* centre = new QWidget(this);
  auto* column = new QVBoxLayout(centre);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  auto* bar = new QFrame(centre);
  bar->setFrameShape(QFrame::StyledPanel);
  bar->setAutoFillBackground(true);
  bar->setBackgroundRole(QPalette::ToolTipBase);
  auto* barRow = new QHBoxLayout(bar);
  barRow->setContentsMargins(6, 3, 6, 3);
  auto* picture = new QLabel(bar);
  picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(20, 20));
  caption_ = new QLabel(bar);
  caption_->setTextFormat(Qt::PlainText);
  barRow->addWidget(picture);
  barRow->addWidget(caption_, 1);
  column->addWidget(bar);
  recordView_ = new RecordView(gridModel_, centre);
  connect(recordView_, &RecordView::previousPressed, this, [this] { controller_->onPreviousPage(); });
  connect(recordView_, &RecordView::nextPressed, this, [this] { controller_->onNextPage(); });
  column->addWidget(recordView_, 1);
  setCentralWidget(centre);

  auto* treeDock = new QDockWidget(texts::text(texts::kTreePane), this);
  treeDock->setObjectName("objects");
  tree_ = new ObjectTreeView(treeDock);
  tree_->setModel(treeModel_);
  connect(tree_, &ObjectTreeView::labelClicked, this, &MainWindow::treeClicked);
  treeDock->setWidget(tree_);
  addDockWidget(Qt::LeftDockWidgetArea, treeDock);

  auto* outputDock = new QDockWidget(texts::text(texts::kOutputPane), this);
  outputDock->setObjectName("output");
  output_ = new QListWidget(outputDock);
  output_->setUniformItemSizes(true);
  output_->setContextMenuPolicy(Qt::NoContextMenu);
  outputDock->setWidget(output_);
  addDockWidget(Qt::RightDockWidgetArea, outputDock);
  resizeDocks({treeDock, outputDock}, {280, 300}, Qt::Horizontal);
}

void MainWindow::buildStatusBar() {
  auto* title = new QLabel(texts::text(::tavrin::texts::kCaption), this);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 0);  // moves while work runs
  progress_->setMaximumHeight(17);
  progress_->setTextVisible(false);
  progress_->hide();
  statusBar()->addWidget(title);
  statusBar()->addWidget(progress_, 1);
  statusBar()->setContextMenuPolicy(Qt::NoContextMenu);
}

void MainWindow::showAsLastTime() {
  if (restoreGeometry(QSettings().value(kGeometrySetting).toByteArray())) {
    show();
    return;
  }
  // Without a window manager a maximized window keeps its first size.
  if (QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->availableGeometry());
  showMaximized();
}

void MainWindow::refreshCommands() { stopButton_->setEnabled(controller_->isBusy()); }

void MainWindow::treeClicked(const QModelIndex& index) {
  const NodeId node = treeModel_->nodeAt(index);
  if (node != kNoNode) controller_->onNodeClicked(node);
}

void MainWindow::open() { controller_->onOpen(); }

void MainWindow::stop() {
  controller_->onStop();
  refreshCommands();
}

void MainWindow::save() {
  if (controller_->isBusy()) {
    messageBox(::tavrin::texts::kWaitForRunningProcess, MessageButtons::Ok, MessageIcon::Information);
    return;
  }
  const CheckTree& checks = treeModel_->checks();
  if (checks.checkedCount() == 0) {
    messageBox(texts::kSelectToSave, MessageButtons::Ok, MessageIcon::Information);
    return;
  }
  SaveDialog::MessageHook hook;
  if (answerMessage_) hook = [this](const std::string& text) { messageBox(text, MessageButtons::Ok, MessageIcon::Information); };
  SaveDialog dialog(testMariadbConnection, hook, this);
  if (prepareSaveDialog_) prepareSaveDialog_(dialog);
  const std::optional<SaveSettings> settings = dialog.ask();
  if (!settings) return;
  controller_->setSaveSettings(*settings);
  SaveRequest request;
  if (settings->saveAsScript) {
    request.mode = SaveRequest::Mode::Script;
    request.scriptFolder = settings->folder;
  } else {
    request.mode = SaveRequest::Mode::Server;
    request.address = settings->server;
    request.connect = connectMariadb;
  }
  controller_->onSave(checks.checkedItems(), std::move(request));
}

void MainWindow::exportCsv() { controller_->onExportCsv(); }

void MainWindow::help() {
  if (controller_->isBusy()) {
    messageBox(texts::kStopToContinue, MessageButtons::Ok, MessageIcon::Information);
    return;
  }
  const QString manual = QCoreApplication::applicationDirPath() + "/manual.html";
  QDesktopServices::openUrl(QUrl::fromLocalFile(manual));
}

void MainWindow::about() {
  if (controller_->isBusy()) {
    messageBox(texts::kStopToContinue, MessageButtons::Ok, MessageIcon::Information);
    return;
  }
  AboutDialog dialog(this);
  dialog.exec();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (controller_->isBusy()) {
    messageBox(texts::kStopToClose, MessageButtons::Ok, MessageIcon::Information);
    event->ignore();
    return;
  }
  if (messageBox(texts::kConfirmClose, MessageButtons::YesNo, MessageIcon::Question) != MessageAnswer::Yes) {
    event->ignore();
    return;
  }
  const std::string& log = controller_->logFilePath();
  if (!log.empty() && QFileInfo::exists(QString::fromStdString(log))) {
    messageBox(texts::text(texts::kLogFilePath).toStdString() + log, MessageButtons::Ok, MessageIcon::Information);
  }
  QSettings().setValue(kGeometrySetting, saveGeometry());
  event->accept();
}

// SessionUi ---------------------------------------------------------------

void MainWindow::appendOutputLine(const std::string& text) {
  onWindowThread([this, text] {
    output_->addItem(QString::fromStdString(text));
    output_->scrollToBottom();
  });
}

void MainWindow::clearOutput() {
  onWindowThread([this] { output_->clear(); });
}

void MainWindow::showTree(std::shared_ptr<const ObjectTree> tree) {
  onWindowThread([this, tree] { treeModel_->show(tree); });
}

// The nodes the session's tree marks expanded open as it is shown.
void MainWindow::expandMarked() {
  const ObjectTree& tree = treeModel_->tree();
  for (NodeId id = 0; size_t(id) < tree.size(); ++id) {
    if (tree.node(id).expanded) tree_->expand(treeModel_->indexOf(id));
  }
}

void MainWindow::selectTreeNode(NodeId node) {
  onWindowThread([this, node] { tree_->setCurrentIndex(treeModel_->indexOf(node)); });
}

NodeId MainWindow::selectedTreeNode() {
  return answerFromWindowThread([this] { return treeModel_->nodeAt(tree_->currentIndex()); });
}

void MainWindow::setTreeBusy(bool busy) {
  onWindowThread([this, busy] {
    tree_->setEnabled(!busy);
    if (busy) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::restoreOverrideCursor();
    }
  });
}

void MainWindow::showRecords(const RecordViewState& view) {
  onWindowThread([this, view] {
    if (view.pageRevision != shownPageRevision_) {
      shownPageRevision_ = view.pageRevision;
      showPage(view.page);
    }
    recordView_->grid()->setVisible(view.gridShown);
    recordView_->definition()->setVisible(view.definitionShown);
    recordView_->definition()->setPlainText(QString::fromStdString(view.definition));
    recordView_->previous()->setVisible(view.pagingShown);
    recordView_->next()->setVisible(view.pagingShown);
    recordView_->previous()->setEnabled(view.previousEnabled);
    recordView_->next()->setEnabled(view.nextEnabled);
  });
}

void MainWindow::showPage(const GridPage& page) {
  gridModel_->setPage(page);
  QHeaderView* header = recordView_->grid()->horizontalHeader();
  header->setResizeContentsPrecision(kRowsMeasured);
  recordView_->grid()->resizeColumnsToContents();
  for (int c = 0; c < header->count(); ++c) {
    if (header->sectionSize(c) > kWidestColumn) header->resizeSection(c, kWidestColumn);
  }
}

void MainWindow::showProgress(bool shown) {
  onWindowThread([this, shown] {
    progress_->setRange(0, 0);  // moves until told how far the work is
    progress_->setVisible(shown);
    refreshCommands();
  });
}

void MainWindow::setProgress(uint64_t done, uint64_t total) {
  onWindowThread([this, done, total] {
    progress_->setRange(0, int(std::min<uint64_t>(total, INT32_MAX)));
    progress_->setValue(int(std::min(done, total)));
  });
}

void MainWindow::setCaption(const std::string& text) {
  onWindowThread([this, text] { caption_->setText(QString::fromStdString(text)); });
}

MessageAnswer MainWindow::messageBox(const std::string& text, MessageButtons buttons, MessageIcon icon) {
  // A worker's notice does not wait for its OK: the window's thread may be
  // waiting for that worker to end (the session joins it at the next command).
  if (buttons == MessageButtons::Ok && QThread::currentThread() != thread()) {
    onWindowThread([this, text, icon] {
      shownMessages_.push_back(text);
      if (answerMessage_) {
        answerMessage_(text);
        return;
      }
      auto* box = new QMessageBox(icon == MessageIcon::None ? QMessageBox::NoIcon : QMessageBox::Information,
                                  texts::text(::tavrin::texts::kCaption), texts::text(text), QMessageBox::Ok, this);
      box->setAttribute(Qt::WA_DeleteOnClose);
      box->open();
    });
    return MessageAnswer::Ok;
  }
  return answerFromWindowThread([this, &text, buttons, icon] {
    shownMessages_.push_back(text);
    if (answerMessage_) return answerMessage_(text);
    QMessageBox box(icon == MessageIcon::Question ? QMessageBox::Question
                    : icon == MessageIcon::None   ? QMessageBox::NoIcon
                                                  : QMessageBox::Information,
                    texts::text(::tavrin::texts::kCaption), texts::text(text),
                    buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, this);
    const int answer = box.exec();
    return answer == QMessageBox::Yes ? MessageAnswer::Yes
           : answer == QMessageBox::No ? MessageAnswer::No
                                       : MessageAnswer::Ok;
  });
}

std::optional<ScanSettings> MainWindow::scanSettingsDialog(const ScanSettings& initial) {
  return answerFromWindowThread([this, &initial]() -> std::optional<ScanSettings> {
    if (preset_) {
      std::optional<ScanSettings> chosen = std::move(preset_);
      preset_.reset();
      return chosen;
    }
    ScanSettingsDialog dialog(initial, this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.settings();
  });
}

std::string MainWindow::openFileDialog() {
  return answerFromWindowThread([this] {
    if (answerFile_) return answerFile_().value_or(std::string());
    return QFileDialog::getOpenFileName(this).toStdString();
  });
}

std::optional<std::string> MainWindow::saveFileDialog(const std::string& defaultName, const std::string& extension) {
  return answerFromWindowThread([this, &defaultName, &extension]() -> std::optional<std::string> {
    if (answerFile_) return answerFile_();
    const QString filter = QString("%1 files (*.%1)").arg(QString::fromStdString(extension));
    const QString chosen = QFileDialog::getSaveFileName(this, QString(), QString::fromStdString(defaultName), filter);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
  });
}

}  // namespace tavrin::ui
