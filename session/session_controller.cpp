#include "session/session_controller.h"

#include <algorithm>
#include <ctime>
#include <set>

#include <sys/stat.h>

#include "base/output_file.h"
#include "base/path.h"
#include "export/grid_csv.h"
#include "session/structure_view.h"
#include "session/table_output.h"
#include "session/texts.h"

namespace tavrin {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr size_t kLogStars = 80;

std::string caption(const std::string& label, long long count) { return label + "[" + std::to_string(count) + "]"; }

std::string rangeCaption(int64_t from, int64_t to) {
  return std::to_string(from) + " rows to " + std::to_string(to);
}

}  // namespace

SessionController::SessionController(SessionUi& ui, const CollationCatalogue& catalogue)
    : ui_(ui), catalogue_(catalogue), recovery_(catalogue) {}

SessionController::~SessionController() {
  recovery_.requestStop();
  waitForScan();
}

void SessionController::start() {
  ui_.appendOutputLine(texts::kInitialOutputLine);
  ui_.setCaption(texts::kInitialCaption);
  log_.close();
}

void SessionController::waitForScan() {
  if (worker_.joinable()) worker_.join();
}

void SessionController::joinFinishedWorker() {
  // Called while not busy: the worker has completed the session lists, or
  // was stopped and ends at its next file.
  waitForScan();
}

void SessionController::report(const std::string& line) {
  ui_.appendOutputLine(line);
  log_.write(line + kCrLf);
}

bool SessionController::refusedWhileBusy() {
  if (!isBusy()) {
    joinFinishedWorker();
    return false;
  }
  ui_.messageBox(texts::kWaitForRunningProcess, MessageButtons::Ok, MessageIcon::Information);
  return true;
}

// ---- Open and the scan ----

int SessionController::onOpen() {
  if (refusedWhileBusy()) return 0;
  const ScanSettings initial = initialScanSettings();
  ScanSettings proposed = initial;
  while (true) {
    std::optional<ScanSettings> chosen = ui_.scanSettingsDialog(proposed);
    if (!chosen) return 1;
    SettingsCheck check = checkScanSettings(*chosen);
    const Status taken = check.problem ? Status(damaged(*check.problem)) : takeSettings(check.settings);
    if (taken) break;
    ui_.messageBox(taken.reason(), MessageButtons::Ok, MessageIcon::Information);
    proposed = *chosen;  // the dialog stays open with the user's input
  }
  if (Status begun = beginScan(); !begun) ui_.messageBox(begun.reason(), MessageButtons::Ok, MessageIcon::Information);
  return 1;
}

Status SessionController::open(const ScanSettings& chosen) {
  if (isBusy()) return ioFailure(texts::kWaitForRunningProcess);
  joinFinishedWorker();
  SettingsCheck check = checkScanSettings(chosen);
  if (check.problem) return damaged(*check.problem);
  if (Status taken = takeSettings(check.settings); !taken) return taken;
  return beginScan();
}

Status SessionController::takeSettings(const ScanSettings& checked) {
  if (Status definitions = recovery_.useDefinitions(checked.definitionsPath, false); !definitions) return definitions;
  settings_ = checked;
  return Ok{};
}

Status SessionController::beginScan() {
  busy_.store(1, std::memory_order_release);
  recovery_.clearStop();
  ui_.showTree(nullptr);
  setDefinition("");
  view_.previousEnabled = false;
  view_.nextEnabled = false;
  publishRecords();
  ui_.setCaption(settings_.databasePath);
  ui_.showProgress(true);

  const std::string logPath = joinPath(settings_.logFolder, logFileName(clock_()));
  if (Status opened = log_.open(logPath); !opened) {
    // Without a log there is no scan; the session is free again.
    ui_.showProgress(false);
    busy_.store(0, std::memory_order_release);
    return opened;
  }
  log_.write(std::string(kCrLf) + std::string(kLogStars, '*') + kCrLf);
  const std::string selected = settings_.databasePath + texts::kFileSelected;
  ui_.appendOutputLine(selected);
  log_.write(selected + kCrLf);
  worker_ = std::thread([this] { runScan(); });
  return Ok{};
}

int SessionController::onStop() {
  if (!isBusy()) return 0;
  if (ui_.messageBox(texts::kConfirmStop, MessageButtons::YesNo, MessageIcon::Information) != MessageAnswer::Yes) {
    return 1;
  }
  // The worker ends at its next file and clears the busy flag then: until
  // it has, the session lists are its own.
  recovery_.requestStop();
  return 1;
}

void SessionController::clearTableStore() {
  table_.reset();
  pageStarts_.clear();
}

void SessionController::clearView() {
  ui_.clearOutput();
  ui_.showTree(nullptr);
  clearTableStore();
  changePage().clear();
  setDefinition("");
  publishRecords();
}

void SessionController::showTree() { ui_.showTree(std::make_shared<const ObjectTree>(session_.tree)); }

bool SessionController::loadSystemTablespace(const std::string& path) {
  const Status used = recovery_.useSystemTablespace(path);
  if (!used && used.kind() != ErrorKind::Missing) report(used.reason());
  for (const std::string& warning : recovery_.takeWarnings()) report(warning);
  return bool(used);
}

void SessionController::runScan() {
  clearView();
  const std::string dataPath = stripTrailingSeparators(settings_.databasePath);
  if (!dataPath.empty()) log_.write(texts::kDatabaseFilePath + dataPath + kCrLf);
  ui_.appendOutputLine(texts::kFindingDatabases);
  recovery_.scan(dataPath, [this](size_t done, size_t total) { ui_.setProgress(done, total); });
  showTree();
  for (const PassedOver& p : session_.passedOver) report(p.path + texts::kPassedOver + p.reason);
  if (recovery_.stopFlag()) return finishScan(true);

  report(texts::kProcessingIbdata);
  bool loaded = false;
  for (const std::string& path : systemTablespaceCandidates(session_)) {
    if (!loaded) loaded = loadSystemTablespace(path);
  }
  if (!loaded && !recovery_.stopFlag()) {
    log_.write(std::string(texts::kIbdataCannotOpen) + kCrLf);
    if (ui_.messageBox(texts::kBrowseIbdata, MessageButtons::YesNo, MessageIcon::None) == MessageAnswer::Yes) {
      const std::string chosen = ui_.openFileDialog();
      if (!chosen.empty() && !loadSystemTablespace(chosen)) {
        log_.write(std::string(texts::kBrowsedIbdataCannotOpen) + kCrLf);
      }
    }
  }
  finishScan(recovery_.stopFlag());
}

void SessionController::finishScan(bool stopped) {
  if (Status written = log_.written(); !written) ui_.appendOutputLine(written.reason());
  if (stopped) {
    report(texts::kScanningStopped);
    ui_.showProgress(false);
    busy_.store(0, std::memory_order_release);
    return;
  }
  busy_.store(0, std::memory_order_release);
  ui_.appendOutputLine(texts::kScanningCompletedLine);
  ui_.messageBox(texts::kScanningCompleted, MessageButtons::Ok, MessageIcon::Information);
  ui_.showProgress(false);
  const std::string done = std::string(texts::kScanningCompleted) + ".\r\n";
  ui_.setCaption(done);
  log_.write(done);
}

// ---- Clicks ----

int SessionController::onNodeClicked(NodeId item) {
  if (isBusy()) ui_.selectTreeNode(lastClickedItem_);  // the selection goes back to the loaded node
  if (refusedWhileBusy()) return 0;
  busy_.store(1, std::memory_order_release);
  lastClickedItem_ = item;
  setDefinition("");
  const std::string label = size_t(item) < session_.tree.size() ? session_.tree.node(item).label : std::string();
  ui_.setCaption(label);
  report(texts::kPleaseWaitWhile + label + texts::kFolderIsScanning);
  ui_.showProgress(true);
  view_.gridShown = true;
  view_.definitionShown = false;
  ui_.setTreeBusy(true);
  table_.reset();
  pageStarts_.clear();
  view_.pagingShown = true;
  view_.nextEnabled = true;
  view_.previousEnabled = false;
  lastPageStart_ = PageStart{};

  changePage().clear();
  publishRecords();
  setDefinition("");

  const NodeTarget target = resolveNode(session_, item);
  switch (target.kind) {
    case NodeTarget::Kind::Keys: showStructure(item); break;
    case NodeTarget::Kind::Trigger: showDefinitionText(recovery_.triggerText(target)); break;
    case NodeTarget::Kind::View: showDefinitionText(recovery_.viewText(target)); break;
    case NodeTarget::Kind::Table: loadTable(target, label); break;
    case NodeTarget::Kind::None: break;
  }

  if (view_.page.rows.empty()) {
    view_.previousEnabled = false;
    view_.nextEnabled = false;
  }
  publishRecords();
  ui_.showProgress(false);
  busy_.store(0, std::memory_order_release);
  ui_.setTreeBusy(false);
  report(texts::kScanningProcessCompleted);
  return 1;
}

void SessionController::showStructure(NodeId keysNode) {
  auto definition = recovery_.definition(resolveNode(session_, keysNode));
  changePage().titles.assign(kStructureHeadings.begin(), kStructureHeadings.end());
  if (!definition) {
    report(definition.reason());
    return;
  }
  const std::vector<StructureRow> rows = recovery_.structure(*definition);
  for (const StructureRow& row : rows) changePage().rows.emplace_back(row.begin(), row.end());
  const std::string label = session_.tree.node(keysNode).label;
  ui_.setCaption(rows.size() > 1 ? caption(label, long(rows.size())) : "");
}

void SessionController::showDefinitionText(const Result<std::string>& text) {
  view_.gridShown = false;
  view_.definitionShown = true;
  if (!text) {
    report(text.reason());
    return;
  }
  setDefinition(*text);
}

void SessionController::loadTable(const NodeTarget& table, const std::string& label) {
  auto definition = recovery_.definition(table);
  if (!definition) {
    report(definition.reason());
    return;
  }
  changePage().titles = gridTitles(*definition);
  auto rows = recovery_.openTable(table, std::move(*definition));
  size_t count = 0;
  if (!rows) {
    report(rows.reason());
  } else {
    table_ = std::move(*rows);
    pageStarts_.push_back(table_->firstPage());
    count = readPage(table_->firstPage(), true);
  }
  rangeFrom_ = 0;
  rangeTo_ = int64_t(count);
  ui_.setCaption(caption(label, long(count)));
}

size_t SessionController::readPage(PageStart start, bool pushNext) {
  pageFull_ = false;
  changePage().rows.clear();
  if (!table_) return 0;
  GridRows read = readGridRows(*table_, catalogue_, start, exportForm_, timeZone_,
                               [&](const RowValues& values, const std::vector<size_t>& shown, std::vector<std::string>& cells) {
                                 if (exportForm_) extractKeptApart(values, shown, cells);
                               });
  changePage().rows = std::move(read.rows);
  const WalkEnd& end = read.end;
  const size_t row = view_.page.rows.size();
  for (const std::string& line : end.passedOver.lines()) report(line);
  if (end.stoppedEarly()) report(end.stop->reason);
  if (row == kRowsPerPage) {
    pageFull_ = true;
    if (pushNext) pageStarts_.push_back(end.next);
  }
  return row;
}

void SessionController::extractKeptApart(const RowValues& values, const std::vector<size_t>& shown,
                                         std::vector<std::string>& row) {
  const std::string folder = joinPath(settings_.temporaryPath, texts::kKeptApartFolder);
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] >= values.size() || !values[shown[i]].keptApart) continue;
    ::mkdir(folder.c_str(), 0755);
    // Numbers go on past files of an earlier run: nothing is written over.
    std::string path;
    do {
      path = joinPath(folder, std::to_string(extracted_++));
    } while (pathExists(path));
    if (Status written = writeFileAtomically(path, row[i], false); !written) {
      report(written.reason());  // the value stays in the grid
      continue;
    }
    row[i] = path;
  }
}

void SessionController::publishRecords() {
  if (pageChanged_) ++view_.pageRevision;
  pageChanged_ = false;
  ui_.showRecords(view_);
}

// ---- Pages ----

int SessionController::onNextPage() {
  if (refusedWhileBusy()) return 0;
  busy_.store(1, std::memory_order_release);
  ui_.showProgress(true);
  const size_t depth = pageStarts_.size();
  if (depth < 2) {
    view_.nextEnabled = false;
  } else if (const PageStart s = pageStarts_.back();
             (depth == lastStackDepth_ && s == lastPageStart_) || s.page == kEndOfPages.page) {
    pageStarts_.push_back(kEndOfPages);
    ui_.messageBox(texts::kNoMoreRecords, MessageButtons::Ok, MessageIcon::Information);
    view_.nextEnabled = false;
  } else {
    view_.previousEnabled = true;
    lastPageStart_ = s;
    lastStackDepth_ = depth;
    const size_t rows = readPage(s, true);
    publishRecords();
    if (rows < kRowsPerPage || !pageFull_) {
      pageStarts_.push_back(kEndOfPages);
      ui_.messageBox(texts::kNoMoreRecords, MessageButtons::Ok, MessageIcon::Information);
      view_.nextEnabled = false;
    }
    rangeFrom_ = rangeTo_;
    rangeTo_ += int64_t(rows);
    ui_.setCaption(rangeCaption(rangeFrom_, rangeTo_));
  }
  publishRecords();
  ui_.showProgress(false);
  busy_.store(0, std::memory_order_release);
  return 1;
}

int SessionController::onPreviousPage() {
  if (refusedWhileBusy()) return 0;
  busy_.store(1, std::memory_order_release);
  ui_.showProgress(true);
  const size_t depth = pageStarts_.size();
  if (depth <= 1) {
    view_.previousEnabled = false;
  } else {
    view_.nextEnabled = true;
    view_.previousEnabled = true;
    // The top is the start of the page after the one shown (or the end
    // marker); below it the shown page's start, and below that the start of
    // the page to show.
    if (depth > 2) pageStarts_.pop_back();
    else lastStackDepth_ = 2;
    const PageStart x = pageStarts_.back();
    pageStarts_.pop_back();
    const PageStart y = pageStarts_.back();
    pageStarts_.push_back(x);
    if (pageStarts_.size() == 2) view_.previousEnabled = false;
    lastPageStart_ = y;
    const size_t rows = readPage(y, false);
    publishRecords();
    rangeFrom_ -= int64_t(kRowsPerPage);
    rangeTo_ = rangeFrom_ + int64_t(rows);
    ui_.setCaption(rangeCaption(rangeFrom_, rangeTo_));
  }
  publishRecords();
  ui_.showProgress(false);
  busy_.store(0, std::memory_order_release);
  return 1;
}

// ---- CSV export ----

int SessionController::onExportCsv() {
  if (refusedWhileBusy()) return 0;
  if (session_.tree.size() == 0) {
    ui_.messageBox(texts::kSelectDatabaseFirst, MessageButtons::Ok, MessageIcon::Information);
    return 1;
  }
  const NodeId selected = ui_.selectedTreeNode();
  if (selected == kNoNode || size_t(selected) >= session_.tree.size()) {
    ui_.messageBox(texts::kSelectTableToSave, MessageButtons::Ok, MessageIcon::Information);
    return 1;
  }
  if (view_.page.titles.empty()) return 1;
  const std::string label = session_.tree.node(selected).label;
  const std::optional<std::string> path = ui_.saveFileDialog(label + "_", "csv");
  if (!path) return 1;
  if (std::string refusal = outputRefusal(*path); !refusal.empty()) {
    ui_.messageBox(refusal, MessageButtons::Ok, MessageIcon::Information);
    return 1;
  }
  const Status written = writeFileAtomically(*path, gridCsv(view_.page.titles, view_.page.rows));
  ui_.messageBox(written ? texts::kFileSaved : std::string(texts::kFileCannotBeCreated) + "\n" + written.reason(),
                 MessageButtons::Ok, MessageIcon::Information);
  return 1;
}

std::string SessionController::outputRefusal(const std::string& path) const {
  const Status may = recovery_.mayWrite(path);
  return may ? std::string() : may.reason();
}

// ---- Saving ----

int SessionController::onSave(const std::vector<NodeId>& checked, SaveRequest request) {
  if (refusedWhileBusy()) return 0;
  request.objects.clear();
  for (NodeId node : checked) {
    const NodeTarget target = resolveNode(session_, node);
    const bool saved = target.kind == NodeTarget::Kind::Table || target.kind == NodeTarget::Kind::View ||
                       target.kind == NodeTarget::Kind::Trigger;
    if (saved) request.objects.push_back(target);
  }
  if (request.objects.empty()) {
    ui_.messageBox(texts::kNothingToSave, MessageButtons::Ok, MessageIcon::Information);
    return 1;
  }
  busy_.store(1, std::memory_order_release);
  recovery_.clearStop();
  ui_.showProgress(true);
  worker_ = std::thread([this, request = std::move(request)]() mutable { runSave(std::move(request)); });
  return 1;
}

void SessionController::runSave(SaveRequest request) {
  // The bar counts the tables begun; the caption, the rows of the one at work.
  const uint64_t tables = uint64_t(std::count_if(request.objects.begin(), request.objects.end(),
                                                 [](const NodeTarget& t) { return t.kind == NodeTarget::Kind::Table; }));
  std::set<std::string> begun;
  ui_.setProgress(0, tables);
  const SaveReport saved = recovery_.save(request, recovery_.stopFlag(), [&](const SaveProgress& p) {
    if (begun.insert(p.database + "." + p.table).second) ui_.setProgress(begun.size(), tables);
    ui_.setCaption(texts::kSaving + p.database + "." + p.table + ": " + std::to_string(p.tableRows) + " rows");
  });
  if (!saved.stopped) ui_.setProgress(tables, tables);
  size_t whole = 0;
  for (const SavedObject& object : saved.objects) {
    report(object.line());
    if (object.outcome == SaveOutcome::Saved) ++whole;
  }
  const std::string summary = texts::kSaveCompleted + std::to_string(whole) + texts::kObjectsSavedOf +
                              std::to_string(saved.objects.size()) + ", " + std::to_string(saved.rows) + " rows";
  report(saved.stopped ? std::string(texts::kSavingStopped) : summary);
  ui_.setCaption(saved.stopped ? std::string(texts::kSavingStopped) : summary);
  ui_.showProgress(false);
  busy_.store(0, std::memory_order_release);
  ui_.messageBox(saved.stopped ? std::string(texts::kSavingStopped) : summary, MessageButtons::Ok,
                 MessageIcon::Information);
}

}  // namespace tavrin
