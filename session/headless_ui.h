#pragma once
// A user interface without a window: it keeps what a window would show
// (output lines, the tree, the grid, the definition text, the buttons and
// the caption), records every call, and answers dialogs from a script. It
// drives the session in tests and in the command line.

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "session/session_ui.h"

namespace tavrin {

class HeadlessUi : public SessionUi {
 public:
  // Answers, taken in order; when none is left a dialog is cancelled and a
  // question answered No.
  void answerSettings(const ScanSettings& settings);
  void cancelSettings();
  void answerMessage(MessageAnswer answer);
  void answerOpenFile(const std::string& path);
  void answerSaveFile(const std::string& path);
  void cancelSaveFile();
  // The node a click selects, as the tree does.
  void select(NodeId node);

  // What was shown and asked, in order ("message: ..." and the like).
  std::vector<std::string> calls() const;
  std::vector<std::string> outputLines() const;
  std::vector<std::string> messages() const;
  std::string caption() const;
  std::string definitionText() const;
  bool gridShown() const;
  bool definitionShown() const;
  bool previousEnabled() const;
  bool nextEnabled() const;
  bool progressShown() const;
  // The last progress told: done and total steps.
  std::pair<uint64_t, uint64_t> progress() const;
  bool treeBusy() const;
  std::vector<std::string> gridTitles() const;
  std::vector<std::vector<std::string>> gridRows() const;
  void clearCalls();

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

 private:
  void record(const std::string& call);

  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::vector<std::string> output_;
  std::vector<std::string> messages_;
  std::shared_ptr<const ObjectTree> tree_;
  NodeId selected_ = kNoNode;
  bool treeBusy_ = false;
  std::pair<uint64_t, uint64_t> progress_;
  RecordViewState records_;
  bool progressShown_ = false;
  std::string caption_;
  std::deque<std::optional<ScanSettings>> settingsAnswers_;
  std::deque<MessageAnswer> messageAnswers_;
  std::deque<std::string> openAnswers_;
  std::deque<std::optional<std::string>> saveAnswers_;
};

}  // namespace tavrin
