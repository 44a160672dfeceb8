#include "tabledef/row_values.h"

#include <set>
#include <utility>

namespace tavrin {

void DamageReport::passOver(const std::string& reason, const std::string& firstAt, const char* unit, size_t count) {
  for (Entry& e : entries_) {
    if (e.reason == reason && e.unit == unit) {
      e.count += count;
      return;
    }
  }
  entries_.push_back({reason, firstAt, unit, count});
}

void DamageReport::merge(const DamageReport& other) {
  for (const Entry& e : other.entries_) passOver(e.reason, e.firstAt, e.unit.c_str(), e.count);
}

std::vector<std::string> DamageReport::lines() const {
  std::vector<std::string> lines;
  for (const Entry& e : entries_) {
    std::string line = std::to_string(e.count) + " " + e.unit + (e.count == 1 ? "" : "s") + " passed over: " + e.reason;
    const char* where = e.unit == "byte" ? " (from " : e.count == 1 ? " (at " : " (the first at ";
    if (!e.firstAt.empty()) line += where + e.firstAt + ")";
    lines.push_back(std::move(line));
  }
  return lines;
}

WalkEnd readAllRows(RowSource& source, const RowSink& sink, const ReadOptions& options,
                    const std::function<bool()>& stopped) {
  WalkEnd all;
  std::set<std::pair<int64_t, int64_t>> starts;
  PageStart start = source.firstPage();
  while (true) {
    if (!starts.insert({start.page, start.position}).second) {
      all.stopReason = "the pages of the table loop";
      break;
    }
    WalkEnd page = source.read(start, kRowsPerPage, sink, options);
    all.rows += page.rows;
    all.passedOver.merge(page.passedOver);
    if (page.stoppedEarly()) all.stopReason = page.stopReason;
    if (page.atEnd || page.stoppedEarly() || page.rows == 0) break;
    if (stopped && stopped()) {
      all.stopReason = "stopped";
      break;
    }
    start = page.next;
  }
  all.atEnd = true;
  return all;
}

}  // namespace tavrin
