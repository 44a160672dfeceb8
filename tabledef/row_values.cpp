#include "tabledef/row_values.h"

#include <set>
#include <utility>

namespace tavrin {

void DamageReport::add(Entry entry) {
  if (entry.unit == "page" && entry.count == 1 && entry.pages.empty() && !entry.firstAt.empty()) {
    entry.pages.insert(entry.firstAt);
  }
  for (Entry& e : entries_) {
    if (e.reason == entry.reason && e.unit == entry.unit && e.passedOver == entry.passedOver) {
      const size_t known = e.pages.size();
      e.pages.insert(entry.pages.begin(), entry.pages.end());
      e.count += entry.count - entry.pages.size() + (e.pages.size() - known);
      return;
    }
  }
  entries_.push_back(std::move(entry));
}

void DamageReport::passOver(const std::string& reason, const Place& firstAt, const char* unit, size_t count) {
  add({reason, firstAt, unit, count, true, {}});
}

void DamageReport::note(const std::string& what, const Place& firstAt, const char* unit, size_t count) {
  add({what, firstAt, unit, count, false, {}});
}

void DamageReport::merge(const DamageReport& other) {
  for (const Entry& e : other.entries_) add(e);
}

std::vector<std::string> DamageReport::lines() const {
  std::vector<std::string> lines;
  for (const Entry& e : entries_) {
    const std::string counted = std::to_string(e.count) + " " + e.unit + (e.count == 1 ? "" : "s");
    std::string line = e.passedOver ? counted + " passed over: " + e.reason
                       : e.unit.empty() ? e.reason
                                        : counted + " " + e.reason;
    const char* where = e.unit == "byte" ? " (from " : e.count == 1 || e.unit.empty() ? " (at " : " (the first at ";
    if (!e.firstAt.empty()) line += where + describe(e.firstAt) + ")";
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
      all.stop = damaged("the pages of the table loop");
      break;
    }
    WalkEnd page = source.read(start, kRowsPerPage, sink, options);
    all.rows += page.rows;
    all.passedOver.merge(page.passedOver);
    if (page.stoppedEarly()) all.stop = page.stop;
    if (page.atEnd || page.stoppedEarly() || page.rows == 0) break;
    if (stopped && stopped()) {
      all.stop = ioFailure("stopped");
      break;
    }
    start = page.next;
  }
  all.atEnd = true;
  return all;
}

}  // namespace tavrin
