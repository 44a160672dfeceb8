#pragma once
// The program's window: the ribbon of commands, the object tree at the left,
// the record view in the middle with the caption bar over it, the output
// pane at the right and the status bar with the progress indicator. It is
// the session's user interface (SessionUi) and does no recovery itself.
//
// The scan worker calls the SessionUi operations from its own thread: they
// are carried out on the window's thread, in order; those that answer
// something (dialogs, questions) wait for it.

#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>

#include "session/session_controller.h"
#include "session/session_ui.h"
#include "tabledef/collation_catalogue.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QToolButton;

namespace tavrin::ui {

class GridModel;
class ObjectTreeView;
class RecordView;
class SaveDialog;
class TreeModel;

class MainWindow : public QMainWindow, public SessionUi {
  Q_OBJECT
 public:
  explicit MainWindow(const CollationCatalogue& catalogue, QWidget* parent = nullptr);
  ~MainWindow() override;

  SessionController& controller() { return *controller_; }
  // The next Open takes these settings without showing its dialog.
  void presetSettings(const ScanSettings& settings) { preset_ = settings; }
  // Answers messages instead of showing them (tests and pictures of the window).
  using MessageHandler = std::function<MessageAnswer(const std::string& text)>;
  void answerMessagesWith(MessageHandler handler) { answerMessage_ = std::move(handler); }
  // Answers the file dialogs instead of showing them; none for a cancel.
  using FileHandler = std::function<std::optional<std::string>()>;
  void answerFileDialogsWith(FileHandler handler) { answerFile_ = std::move(handler); }
  const std::vector<std::string>& shownMessages() const { return shownMessages_; }
  // Fills the save dialog instead of a person (tests); it is shown modally after.
  void prepareSaveDialogWith(std::function<void(SaveDialog&)> prepare) { prepareSaveDialog_ = std::move(prepare); }

  // Shows the window where it was when it was last closed, else maximized.
  void showAsLastTime();

  // The commands of the ribbon.
  void open();
  void stop();
  void save();
  void exportCsv();
  void help();
  void about();

  ObjectTreeView* treeView() const { return tree_; }
  TreeModel* treeModel() const { return treeModel_; }
  RecordView* recordView() const { return recordView_; }
  QListWidget* outputList() const { return output_; }
  QLabel* captionBar() const { return caption_; }
  QProgressBar* progressBar() const { return progress_; }
  QToolButton* stopButton() const { return stopButton_; }

  // SessionUi
  void appendOutputLine(const std::string& text) override;
  void clearOutput() override;
  void showTree(std::shared_ptr<const ObjectTree> tree) override;
  void selectTreeNode(NodeId node) override;
  NodeId selectedTreeNode() override;
  void setTreeBusy(bool busy) override;
  void showRecords(const RecordViewState& view) override;
  void showProgress(bool shown) override;
  void setProgress(uint64_t done, uint64_t total) override;
  void setCaption(const std::string& text) override;
  MessageAnswer messageBox(const std::string& text, MessageButtons buttons, MessageIcon icon) override;
  std::optional<ScanSettings> scanSettingsDialog(const ScanSettings& initial) override;
  std::string openFileDialog() override;
  std::optional<std::string> saveFileDialog(const std::string& defaultName, const std::string& extension) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildRibbon();
  void buildPanes();
  void buildStatusBar();
  void refreshCommands();
  void treeClicked(const QModelIndex& index);
  void expandMarked();
  // The grid's rows and columns for a new page.
  void showPage(const GridPage& page);
  // Runs `f` on the window's thread: at once there, queued from another.
  template <class F>
  void onWindowThread(F&& f);
  // The same, waiting for its answer.
  template <class F>
  auto answerFromWindowThread(F&& f) -> decltype(f());

  std::unique_ptr<SessionController> controller_;
  TreeModel* treeModel_;
  uint64_t shownPageRevision_ = 0;
  GridModel* gridModel_;
  ObjectTreeView* tree_ = nullptr;
  RecordView* recordView_ = nullptr;
  QListWidget* output_ = nullptr;
  QLabel* caption_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QToolButton* stopButton_ = nullptr;
  std::optional<ScanSettings> preset_;
  MessageHandler answerMessage_;
  FileHandler answerFile_;
  std::function<void(SaveDialog&)> prepareSaveDialog_;
  std::vector<std::string> shownMessages_;
};

}  // namespace tavrin::ui
