#include "export/insert_pipeline.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "export/sql_rows.h"
#include "render/value_renderer.h"
#include "tabledef/row_batch.h"

namespace tavrin {

namespace {

// A batch is handed to a formatter at about this many bytes of rows.
constexpr size_t kBatchBytes = 256 << 10;
constexpr size_t kBatchRows = 4096;

struct Statement {
  std::string text;
  uint64_t rows = 0;
};

struct Formatted {
  std::vector<Statement> statements;
  uint64_t unreadable = 0;
};

// What the reader, the formatters and the sender share.
class Exchange {
 public:
  explicit Exchange(size_t maxInFlight) : maxInFlight_(maxInFlight) {}

  // The reader: waits while enough batches are on their way.
  void put(RowBatch batch) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return abandoned_ || put_ - sent_ < maxInFlight_; });
    if (abandoned_) return;
    waiting_.emplace_back(put_++, std::move(batch));
    changed_.notify_all();
  }
  void endInput() {
    std::lock_guard<std::mutex> lock(mutex_);
    inputEnded_ = true;
    changed_.notify_all();
  }
  // A formatter: the next batch with its number, or false when none will come.
  bool take(size_t& number, RowBatch& batch) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return abandoned_ || !waiting_.empty() || inputEnded_; });
    if (abandoned_ || waiting_.empty()) return false;
    number = waiting_.front().first;
    batch = std::move(waiting_.front().second);
    waiting_.pop_front();
    return true;
  }
  void done(size_t number, Formatted formatted) {
    std::lock_guard<std::mutex> lock(mutex_);
    formatted_.emplace(number, std::move(formatted));
    changed_.notify_all();
  }
  // The sender: the statements of the next batch in order, or false at the end.
  bool next(Formatted& formatted) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] {
      return abandoned_ || formatted_.count(sent_) || (inputEnded_ && sent_ == put_);
    });
    if (abandoned_ || !formatted_.count(sent_)) return false;
    formatted = std::move(formatted_[sent_]);
    formatted_.erase(sent_++);
    changed_.notify_all();
    return true;
  }
  void abandon() {
    std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
    changed_.notify_all();
  }
  bool abandoned() {
    std::lock_guard<std::mutex> lock(mutex_);
    return abandoned_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const size_t maxInFlight_;
  std::deque<std::pair<size_t, RowBatch>> waiting_;
  std::map<size_t, Formatted> formatted_;
  size_t put_ = 0, sent_ = 0;
  bool inputEnded_ = false, abandoned_ = false;
};

// The statements of one batch; each row counted in the statement it ends in.
Formatted format(const RowBatch& batch, ValueRenderer& renderer, SqlInsertWriter& writer) {
  Formatted formatted;
  std::string out;
  uint64_t pending = 0;
  auto flush = [&] {
    out.resize(out.size() - 2);  // the ";\n" the writer ends a statement with
    formatted.statements.push_back({std::move(out), pending});
    out.clear();
  };
  batch.forEach([&](const RowValues& row) {
    if (!writer.addRow(out, renderer.decode(row), renderer.decoder())) ++formatted.unreadable;
    const bool full = !out.empty();
    if (full) flush();
    pending = full ? 1 : pending + 1;
  });
  writer.finish(out);
  if (!out.empty()) flush();
  return formatted;
}

}  // namespace

InsertPipeline::InsertPipeline(const TableDefinition& table, const CollationCatalogue& catalogue,
                               std::string tableName, std::vector<size_t> columns, unsigned formatters)
    : table_(table),
      catalogue_(catalogue),
      tableName_(std::move(tableName)),
      columns_(std::move(columns)),
      formatters_(std::max(1u, formatters)) {}

PipelineEnd InsertPipeline::run(const Walk& walk, const Send& send, const std::function<bool()>& stopRequested) const {
  Exchange exchange(2 * formatters_ + 2);
  PipelineEnd end;
  std::mutex endMutex;
  std::vector<std::string> names;
  for (size_t i : columns_) names.push_back(table_.columns[i].name);
  std::vector<std::thread> formatters;
  for (unsigned f = 0; f < formatters_; ++f) {
    formatters.emplace_back([&] {
      const TimeZone utc = TimeZone::utc();
      ValueRenderer renderer(table_, catalogue_, TextForm{true, 0, utc});
      SqlInsertWriter writer(tableName_, names, columns_, utc);
      size_t number = 0;
      for (RowBatch batch; exchange.take(number, batch);) exchange.done(number, format(batch, renderer, writer));
    });
  }
  std::thread sender([&] {
    for (Formatted f; exchange.next(f);) {
      for (const Statement& s : f.statements) {
        Status sent = send(s.text, s.rows);
        std::lock_guard<std::mutex> lock(endMutex);
        if (!sent) {
          end.failure = sent;
          exchange.abandon();
          return;
        }
        end.sent += s.rows;
      }
      std::lock_guard<std::mutex> lock(endMutex);
      end.unreadable += f.unreadable;
    }
  });
  RowBatch batch;
  end.walk = walk([&](const RowValues& row) {
    batch.add(row);
    if (batch.bytes() < kBatchBytes && batch.rows() < kBatchRows) return;
    exchange.put(std::move(batch));
    batch.clear();
  }, [&] { return exchange.abandoned() || (stopRequested && stopRequested()); });
  if (!batch.empty()) exchange.put(std::move(batch));
  exchange.endInput();
  for (std::thread& t : formatters) t.join();
  sender.join();
  return end;
}

}  // namespace tavrin
