#include "session/headless_ui.h"

namespace tavrin {

namespace {
const char* onOff(bool on) { return on ? "on" : "off"; }
}  // namespace


void HeadlessUi::answerSettings(const ScanSettings& s) { const std::lock_guard lock(mutex_); settingsAnswers_.push_back(s); }
void HeadlessUi::cancelSettings() { const std::lock_guard lock(mutex_); settingsAnswers_.push_back(std::nullopt); }
void HeadlessUi::answerMessage(MessageAnswer a) { const std::lock_guard lock(mutex_); messageAnswers_.push_back(a); }
void HeadlessUi::answerOpenFile(const std::string& p) { const std::lock_guard lock(mutex_); openAnswers_.push_back(p); }
void HeadlessUi::answerSaveFile(const std::string& p) { const std::lock_guard lock(mutex_); saveAnswers_.push_back(p); }
void HeadlessUi::cancelSaveFile() { const std::lock_guard lock(mutex_); saveAnswers_.push_back(std::nullopt); }
void HeadlessUi::select(NodeId node) { const std::lock_guard lock(mutex_); selected_ = node; }

std::vector<std::string> HeadlessUi::calls() const { const std::lock_guard lock(mutex_); return calls_; }
std::vector<std::string> HeadlessUi::outputLines() const { const std::lock_guard lock(mutex_); return output_; }
std::vector<std::string> HeadlessUi::messages() const { const std::lock_guard lock(mutex_); return messages_; }
std::string HeadlessUi::caption() const { const std::lock_guard lock(mutex_); return caption_; }
std::string HeadlessUi::definitionText() const { const std::lock_guard lock(mutex_); return records_.definition; }
bool HeadlessUi::gridShown() const { const std::lock_guard lock(mutex_); return records_.gridShown; }
bool HeadlessUi::definitionShown() const { const std::lock_guard lock(mutex_); return records_.definitionShown; }
bool HeadlessUi::previousEnabled() const { const std::lock_guard lock(mutex_); return records_.previousEnabled; }
bool HeadlessUi::nextEnabled() const { const std::lock_guard lock(mutex_); return records_.nextEnabled; }
bool HeadlessUi::progressShown() const { const std::lock_guard lock(mutex_); return progressShown_; }
std::pair<uint64_t, uint64_t> HeadlessUi::progress() const { const std::lock_guard lock(mutex_); return progress_; }
bool HeadlessUi::treeBusy() const { const std::lock_guard lock(mutex_); return treeBusy_; }
std::vector<std::string> HeadlessUi::gridTitles() const { const std::lock_guard lock(mutex_); return records_.page.titles; }
std::vector<std::vector<std::string>> HeadlessUi::gridRows() const { const std::lock_guard lock(mutex_); return records_.page.rows; }
void HeadlessUi::clearCalls() { const std::lock_guard lock(mutex_); calls_.clear(); messages_.clear(); }

void HeadlessUi::record(const std::string& call) { calls_.push_back(call); }

void HeadlessUi::appendOutputLine(const std::string& text) { const std::lock_guard lock(mutex_); output_.push_back(text); record("output: " + text); }
void HeadlessUi::clearOutput() { const std::lock_guard lock(mutex_); output_.clear(); record("output cleared"); }
void HeadlessUi::showTree(std::shared_ptr<const ObjectTree> tree) {
  const std::lock_guard lock(mutex_);
  tree_ = std::move(tree);
  if (!tree_) selected_ = kNoNode;
  record("tree shown: " + std::to_string(tree_ ? tree_->size() : 0) + " nodes");
}
void HeadlessUi::selectTreeNode(NodeId node) { const std::lock_guard lock(mutex_); selected_ = node; record("tree selected " + std::to_string(node)); }
NodeId HeadlessUi::selectedTreeNode() { const std::lock_guard lock(mutex_); return selected_; }
void HeadlessUi::setTreeBusy(bool busy) { const std::lock_guard lock(mutex_); treeBusy_ = busy; record(std::string("tree busy ") + onOff(busy)); }

void HeadlessUi::showRecords(const RecordViewState& view) {
  const std::lock_guard lock(mutex_);
  records_ = view;
}

void HeadlessUi::showProgress(bool shown) { const std::lock_guard lock(mutex_); progressShown_ = shown; }
void HeadlessUi::setProgress(uint64_t done, uint64_t total) { const std::lock_guard lock(mutex_); progress_ = {done, total}; }
void HeadlessUi::setCaption(const std::string& text) { const std::lock_guard lock(mutex_); caption_ = text; record("caption: " + text); }

MessageAnswer HeadlessUi::messageBox(const std::string& text, MessageButtons buttons, MessageIcon) {
  const std::lock_guard lock(mutex_);
  messages_.push_back(text);
  record("message: " + text);
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  if (messageAnswers_.empty()) return MessageAnswer::No;
  MessageAnswer a = messageAnswers_.front();
  messageAnswers_.pop_front();
  return a;
}

std::optional<ScanSettings> HeadlessUi::scanSettingsDialog(const ScanSettings&) {
  const std::lock_guard lock(mutex_);
  record("settings dialog");
  if (settingsAnswers_.empty()) return std::nullopt;
  auto a = settingsAnswers_.front();
  settingsAnswers_.pop_front();
  return a;
}

std::string HeadlessUi::openFileDialog() {
  const std::lock_guard lock(mutex_);
  record("open file dialog");
  if (openAnswers_.empty()) return {};
  std::string a = openAnswers_.front();
  openAnswers_.pop_front();
  return a;
}

std::optional<std::string> HeadlessUi::saveFileDialog(const std::string& defaultName, const std::string& extension) {
  const std::lock_guard lock(mutex_);
  record("save file dialog: " + defaultName + "." + extension);
  if (saveAnswers_.empty()) return std::nullopt;
  auto a = saveAnswers_.front();
  saveAnswers_.pop_front();
  return a;
}


}  // namespace tavrin
