#include "session/headless_ui.h"

namespace tavrin {

namespace {
const char* onOff(bool on) { return on ? "on" : "off"; }
}  // namespace

#define LOCKED std::lock_guard<std::mutex> lock(mutex_)

void HeadlessUi::answerSettings(const ScanSettings& s) { LOCKED; settingsAnswers_.push_back(s); }
void HeadlessUi::cancelSettings() { LOCKED; settingsAnswers_.push_back(std::nullopt); }
void HeadlessUi::answerMessage(MessageAnswer a) { LOCKED; messageAnswers_.push_back(a); }
void HeadlessUi::answerOpenFile(const std::string& p) { LOCKED; openAnswers_.push_back(p); }
void HeadlessUi::answerSaveFile(const std::string& p) { LOCKED; saveAnswers_.push_back(p); }
void HeadlessUi::cancelSaveFile() { LOCKED; saveAnswers_.push_back(std::nullopt); }
void HeadlessUi::select(NodeId node) { LOCKED; selected_ = node; }

std::vector<std::string> HeadlessUi::calls() const { LOCKED; return calls_; }
std::vector<std::string> HeadlessUi::outputLines() const { LOCKED; return output_; }
std::vector<std::string> HeadlessUi::messages() const { LOCKED; return messages_; }
std::string HeadlessUi::caption() const { LOCKED; return caption_; }
std::string HeadlessUi::definitionText() const { LOCKED; return definition_; }
bool HeadlessUi::gridShown() const { LOCKED; return gridShown_; }
bool HeadlessUi::definitionShown() const { LOCKED; return definitionShown_; }
bool HeadlessUi::previousEnabled() const { LOCKED; return previousEnabled_; }
bool HeadlessUi::nextEnabled() const { LOCKED; return nextEnabled_; }
bool HeadlessUi::progressShown() const { LOCKED; return progressShown_; }
bool HeadlessUi::treeBusy() const { LOCKED; return treeBusy_; }
std::vector<std::string> HeadlessUi::gridTitles() const { LOCKED; return titles_; }
std::vector<std::vector<std::string>> HeadlessUi::gridRows() const { LOCKED; return rows_; }
void HeadlessUi::clearCalls() { LOCKED; calls_.clear(); messages_.clear(); }

void HeadlessUi::record(const std::string& call) { calls_.push_back(call); }

void HeadlessUi::appendOutputLine(const std::string& text) { LOCKED; output_.push_back(text); record("output: " + text); }
void HeadlessUi::clearOutput() { LOCKED; output_.clear(); record("output cleared"); }
void HeadlessUi::clearTree() { LOCKED; treeNodes_ = 0; selected_ = kNoNode; record("tree cleared"); }

void HeadlessUi::insertTreeNode(NodeId node, NodeId parent, const std::string& label, int32_t image) {
  LOCKED;
  ++treeNodes_;
  record("tree node " + std::to_string(node) + " under " + std::to_string(parent) + ": " + label + " [" +
         std::to_string(image) + "]");
}

void HeadlessUi::setTreeItemData(NodeId node, int32_t data) {
  LOCKED;
  record("tree item data " + std::to_string(node) + ": " + std::to_string(data));
}

void HeadlessUi::expandTreeNode(NodeId node) { LOCKED; record("tree expanded " + std::to_string(node)); }
void HeadlessUi::repaintTree() { LOCKED; record("tree repainted"); }
void HeadlessUi::selectTreeNode(NodeId node) { LOCKED; selected_ = node; record("tree selected " + std::to_string(node)); }
NodeId HeadlessUi::selectedTreeNode() { LOCKED; return selected_; }
size_t HeadlessUi::treeNodeCount() { LOCKED; return treeNodes_; }
void HeadlessUi::setTreeBusy(bool busy) { LOCKED; treeBusy_ = busy; record(std::string("tree busy ") + onOff(busy)); }

void HeadlessUi::deleteGridRows() { LOCKED; rows_.clear(); }

void HeadlessUi::deleteGridColumns(size_t count) {
  LOCKED;
  count = std::min(count, titles_.size());
  titles_.erase(titles_.begin(), titles_.begin() + long(count));
  for (auto& row : rows_) row.erase(row.begin(), row.begin() + long(std::min(count, row.size())));
}

void HeadlessUi::insertGridColumn(size_t position, const std::string& title) {
  LOCKED;
  titles_.insert(titles_.begin() + long(std::min(position, titles_.size())), title);
}

void HeadlessUi::insertGridRow(size_t row, const std::string& firstCell) {
  LOCKED;
  std::vector<std::string> cells(titles_.size());
  if (!cells.empty()) cells[0] = firstCell;
  rows_.insert(rows_.begin() + long(std::min(row, rows_.size())), std::move(cells));
}

void HeadlessUi::setGridCell(size_t row, size_t column, const std::string& text) {
  LOCKED;
  if (row < rows_.size() && column < rows_[row].size()) rows_[row][column] = text;
}

size_t HeadlessUi::gridRowCount() { LOCKED; return rows_.size(); }
size_t HeadlessUi::gridColumnCount() { LOCKED; return titles_.size(); }
std::string HeadlessUi::gridColumnTitle(size_t c) { LOCKED; return c < titles_.size() ? titles_[c] : ""; }

std::string HeadlessUi::gridCell(size_t r, size_t c) {
  LOCKED;
  return r < rows_.size() && c < rows_[r].size() ? rows_[r][c] : "";
}

void HeadlessUi::showGrid(bool shown) { LOCKED; gridShown_ = shown; }
void HeadlessUi::repaintGrid() { LOCKED; }
void HeadlessUi::showDefinition(bool shown) { LOCKED; definitionShown_ = shown; }
void HeadlessUi::setDefinitionText(const std::string& text) { LOCKED; definition_ = text; }
void HeadlessUi::showPagingButtons(bool shown) { LOCKED; pagingShown_ = shown; }
void HeadlessUi::enablePrevious(bool enabled) { LOCKED; previousEnabled_ = enabled; }
void HeadlessUi::enableNext(bool enabled) { LOCKED; nextEnabled_ = enabled; }
void HeadlessUi::showProgress(bool shown) { LOCKED; progressShown_ = shown; }
void HeadlessUi::setCaption(const std::string& text) { LOCKED; caption_ = text; record("caption: " + text); }

MessageAnswer HeadlessUi::messageBox(const std::string& text, MessageButtons buttons, MessageIcon) {
  LOCKED;
  messages_.push_back(text);
  record("message: " + text);
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  if (messageAnswers_.empty()) return MessageAnswer::No;
  MessageAnswer a = messageAnswers_.front();
  messageAnswers_.pop_front();
  return a;
}

std::optional<ScanSettings> HeadlessUi::scanSettingsDialog(const ScanSettings&) {
  LOCKED;
  record("settings dialog");
  if (settingsAnswers_.empty()) return std::nullopt;
  auto a = settingsAnswers_.front();
  settingsAnswers_.pop_front();
  return a;
}

std::string HeadlessUi::openFileDialog() {
  LOCKED;
  record("open file dialog");
  if (openAnswers_.empty()) return {};
  std::string a = openAnswers_.front();
  openAnswers_.pop_front();
  return a;
}

std::optional<std::string> HeadlessUi::saveFileDialog(const std::string& defaultName, const std::string& extension) {
  LOCKED;
  record("save file dialog: " + defaultName + "." + extension);
  if (saveAnswers_.empty()) return std::nullopt;
  auto a = saveAnswers_.front();
  saveAnswers_.pop_front();
  return a;
}

#undef LOCKED

}  // namespace tavrin
