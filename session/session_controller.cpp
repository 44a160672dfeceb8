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
#include "tabledef/trigger_definition.h"
#include "tabledef/view_definition.h"

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
    : ui_(ui), catalogue_(catalogue) {}

SessionController::~SessionController() {
  session_.stopRequested = true;
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
    if (!check.problem) {
      settings_ = check.settings;
      break;
    }
    ui_.messageBox(*check.problem, MessageButtons::Ok, MessageIcon::Information);
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
  settings_ = check.settings;
  return beginScan();
}

Status SessionController::beginScan() {
  busy_.store(1, std::memory_order_release);
  session_.stopRequested = false;
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
  session_.stopRequested = true;
  return 1;
}

void SessionController::clearTableStore() {
  table_.reset();
  pageStarts_.clear();
}

void SessionController::resetSession() {
  ui_.clearOutput();
  session_.tables.clear();
  session_.databaseFolders.clear();
  session_.triggers.clear();
  session_.viewFiles.clear();
  ui_.showTree(nullptr);
  clearTableStore();
  changePage().clear();
  setDefinition("");
  publishRecords();
  systemTablespace_.reset();
}

void SessionController::showTree() { ui_.showTree(std::make_shared<const ObjectTree>(session_.tree)); }

bool SessionController::loadSystemTablespace(const std::string& path) {
  auto system = SystemTablespace::open(path, catalogue_);
  if (!system) {
    if (system.kind() != ErrorKind::Missing) report(system.reason());
    return false;
  }
  systemTablespace_ = std::move(*system);
  const std::optional<Failure>& damage = systemTablespace_->dictionary().damage;
  if (damage) report("The InnoDB dictionary of " + path + " is damaged: " + damage->reason);
  return true;
}

void SessionController::runScan() {
  resetSession();
  session_.dataPath = stripTrailingSeparators(settings_.databasePath);
  if (!session_.dataPath.empty()) log_.write(texts::kDatabaseFilePath + session_.dataPath + kCrLf);
  ui_.appendOutputLine(texts::kFindingDatabases);
  BuildObjectTree(session_, session_.dataPath, [this](size_t done, size_t total) { ui_.setProgress(done, total); });
  showTree();
  for (const PassedOver& p : session_.passedOver) report(p.path + texts::kPassedOver + p.reason);
  if (session_.stopRequested) return finishScan(true);

  report(texts::kProcessingIbdata);
  bool loaded = false;
  for (const std::string& path : systemTablespaceCandidates(session_)) {
    if (!loaded) loaded = loadSystemTablespace(path);
  }
  if (!loaded && !session_.stopRequested) {
    log_.write(std::string(texts::kIbdataCannotOpen) + kCrLf);
    if (ui_.messageBox(texts::kBrowseIbdata, MessageButtons::YesNo, MessageIcon::None) == MessageAnswer::Yes) {
      const std::string chosen = ui_.openFileDialog();
      if (!chosen.empty() && !loadSystemTablespace(chosen)) {
        log_.write(std::string(texts::kBrowsedIbdataCannotOpen) + kCrLf);
      }
    }
  }
  finishScan(session_.stopRequested);
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
    case NodeTarget::Kind::Trigger: {
      const TriggerEntry& t = session_.triggers[target.index];
      showDefinitionText(triggerDefinitionText(joinPath(t.folderPath, t.fileName)));
      break;
    }
    case NodeTarget::Kind::View: showDefinitionText(viewDefinitionText(session_.viewFiles[target.index])); break;
    case NodeTarget::Kind::Table: loadTable(target.index, label); break;
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
  const NodeTarget target = resolveNode(session_, keysNode);
  const TableEntry& entry = session_.tables[target.index];
  const std::string folder = session_.databaseFolders[size_t(entry.databaseIndex)];
  auto definition = TableRows::readDefinition(folder, entry.name, catalogue_);
  changePage().titles.assign(kStructureHeadings.begin(), kStructureHeadings.end());
  if (!definition) {
    report(definition.reason());
    return;
  }
  const std::vector<StructureRow> rows = structureRows(*definition, catalogue_);
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

void SessionController::loadTable(size_t index, const std::string& label) {
  const TableEntry& entry = session_.tables[index];
  const std::string folder = session_.databaseFolders[size_t(entry.databaseIndex)];
  auto definition = TableRows::readDefinition(folder, entry.name, catalogue_);
  if (!definition) {
    report(definition.reason());
    return;
  }
  changePage().titles = gridTitles(*definition);

  auto system = [this]() -> InnodbSystem { return systemTablespace_ ? systemTablespace_->system() : InnodbSystem{}; };
  auto rows = TableRows::open(folder, entry.name, std::move(*definition), catalogue_, system);
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
  const Status may = mayWriteOutput(session_, systemTablespace_ ? systemTablespace_->path() : "", path);
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
  session_.stopRequested = false;
  ui_.showProgress(true);
  worker_ = std::thread([this, request = std::move(request)]() mutable { runSave(std::move(request)); });
  return 1;
}

void SessionController::runSave(SaveRequest request) {
  SaveJob job(session_, catalogue_, [this] { return systemTablespace_ ? systemTablespace_->system() : InnodbSystem{}; });
  // The bar counts the tables begun; the caption, the rows of the one at work.
  const uint64_t tables = uint64_t(std::count_if(request.objects.begin(), request.objects.end(),
                                                 [](const NodeTarget& t) { return t.kind == NodeTarget::Kind::Table; }));
  std::set<std::string> begun;
  ui_.setProgress(0, tables);
  job.onProgress([&](const SaveProgress& p) {
    if (begun.insert(p.database + "." + p.table).second) ui_.setProgress(begun.size(), tables);
    ui_.setCaption(texts::kSaving + p.database + "." + p.table + ": " + std::to_string(p.tableRows) + " rows");
  });
  const SaveReport saved = job.run(request, session_.stopRequested);
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
