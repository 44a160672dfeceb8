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

bool PageWalk::next(size_t maxRows, const RowSink& sink, const ReadOptions& options) {
  if (done_) return false;
  if (!starts_.insert({start_.page, start_.position}).second) {
    stop(damaged("the pages of the table loop"));
    return false;
  }
  last_ = source_.read(start_, maxRows, sink, options);
  ++pages_;
  walked_.rows += last_.rows;
  walked_.passedOver.merge(last_.passedOver);
  if (last_.stoppedEarly()) walked_.stop = last_.stop;
  done_ = last_.atEnd || last_.stoppedEarly() || last_.rows == 0;
  start_ = last_.next;
  walked_.next = last_.next;
  walked_.atEnd = done_;
  return true;
}

void PageWalk::stop(Failure why) {
  walked_.stop = std::move(why);
  walked_.atEnd = done_ = true;
}

WalkEnd readAllRows(RowSource& source, const RowSink& sink, const ReadOptions& options,
                    const std::function<bool()>& stopped) {
  PageWalk walk(source);
  while (walk.next(kRowsPerPage, sink, options)) {
    if (stopped && stopped() && !walk.walked().atEnd) walk.stop(ioFailure("stopped"));
  }
  WalkEnd all = walk.walked();
  all.atEnd = true;
  return all;
}

}  // namespace tavrin
