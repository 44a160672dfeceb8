#pragma once
// The recovery session as a person meets it: Open with its settings and log,
// the scan on a worker thread, clicks on the object tree, pages of rows with
// Next and Previous, Stop, and the CSV export of the grid. It reaches its
// window only through SessionUi.
//
// Every command tests the busy flag first and refuses while it is set; the
// scan worker clears it when the session lists are complete, or, after Stop,
// when it has ended at its next file.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "render/time_zone.h"
#include "session/recovery.h"
#include "session/save_job.h"
#include "session/save_options.h"
#include "session/scan.h"
#include "session/scan_log.h"
#include "session/scan_settings.h"
#include "session/session_ui.h"
#include "session/table_rows.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/row_values.h"

namespace tavrin {

class SessionController {
 public:
  SessionController(SessionUi& ui, const CollationCatalogue& catalogue);
  ~SessionController();
  SessionController(const SessionController&) = delete;
  SessionController& operator=(const SessionController&) = delete;

  // At the creation of the main window: the first output line and caption.
  void start();

  // The commands; each returns 1 when it ran and 0 when it refused.
  int onOpen();
  // Open with settings chosen already, as the dialog would give them: the
  // scan starts on the worker, or the failure says why it does not.
  Status open(const ScanSettings& chosen);
  int onStop();
  int onNodeClicked(NodeId item);
  int onNextPage();
  int onPreviousPage();
  int onExportCsv();
  // Saves the objects of the checked tree nodes (tables, views and trigger
  // files; the others are passed by) as `request` says, on the worker. Each
  // object's outcome goes to the output pane and the log; Stop ends the
  // save between statements.
  int onSave(const std::vector<NodeId>& checked, SaveRequest request);

  // Waits until the scan worker has ended.
  void waitForScan();
  // The clock that names the log files (the system's by default).
  void setClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }
  // The save options recorded by the dialog: values are shown in full while
  // a save mode is set.
  void setSaveSettings(const SaveSettings& settings) { exportForm_ = settings.exportForm(); }
  // The zone TIMESTAMP values are shown in (the local one by default).
  void setTimeZone(TimeZone zone) { timeZone_ = std::move(zone); }

  bool isBusy() const { return busy_.load(std::memory_order_acquire) != 0; }
  // The lists and the tree of the last scan; read them only while not busy.
  const RecoverySession& session() const { return recovery_.session(); }
  const std::string& logFilePath() const { return log_.path(); }
  // Whether every line of the scan log was written.
  Status logWritten() const { return log_.written(); }
  const ScanSettings& settings() const { return settings_; }
  // The page the grid shows; read it only while not busy.
  const GridPage& currentPage() const { return view_.page; }

 private:
  // Settings checked already, with the definitions file they name read.
  Status takeSettings(const ScanSettings& checked);
  // Opens the log and starts the scan worker with `settings_`.
  Status beginScan();
  void runScan();
  // Empties the output pane, the tree and the record view for a new scan.
  void clearView();
  // Hands the window the tree the scan built.
  void showTree();
  // Reads the system tablespace at `path`; reports why it cannot, unless
  // there is no file.
  bool loadSystemTablespace(const std::string& path);
  void finishScan(bool stopped);
  void runSave(SaveRequest request);

  void showStructure(NodeId keysNode);
  void showDefinitionText(const Result<std::string>& text);
  void loadTable(const NodeTarget& table, const std::string& label);
  // Reads the page at `start` into the grid; with `pushNext`, a full page
  // pushes the start of the next one. Returns the rows read.
  size_t readPage(PageStart start, bool pushNext);
  void clearTableStore();
  // While a save mode is set, each value kept apart from its InnoDB row goes
  // to a numbered file of its own; the grid shows the file's path.
  void extractKeptApart(const RowValues& values, const std::vector<size_t>& shown, std::vector<std::string>& row);
  // Why a file may not be written at `path`, or nothing.
  std::string outputRefusal(const std::string& path) const;

  // The page of the record view, to be changed; the view redraws its grid
  // at the next publishRecords.
  GridPage& changePage() {
    pageChanged_ = true;
    return view_.page;
  }
  void setDefinition(std::string text) { view_.definition = std::move(text); }
  // Hands the window the record view as it is now.
  void publishRecords();

  // Output pane and log together.
  void report(const std::string& line);
  // Shows the refusal while busy; otherwise first waits for a stopped scan.
  bool refusedWhileBusy();
  void joinFinishedWorker();

  SessionUi& ui_;
  const CollationCatalogue& catalogue_;
  std::atomic<int> busy_{0};
  std::thread worker_;
  ScanSettings settings_;
  ScanLog log_;
  Recovery recovery_;
  const RecoverySession& session_ = recovery_.session();  // the lists of the last scan

  // The table clicked last and its pages.
  std::unique_ptr<TableRows> table_;
  RecordViewState view_;  // what the record view shows
  bool pageChanged_ = false;
  std::deque<PageStart> pageStarts_;
  PageStart lastPageStart_;
  size_t lastStackDepth_ = 0;
  bool pageFull_ = false;
  int64_t rangeFrom_ = 0;
  int64_t rangeTo_ = 0;
  NodeId lastClickedItem_ = kNoNode;
  bool exportForm_ = false;  // while a save mode of the save options is set
  TimeZone timeZone_;
  uint64_t extracted_ = 0;  // values kept apart written to files so far
  std::function<std::time_t()> clock_ = [] { return std::time(nullptr); };
};

}  // namespace tavrin
