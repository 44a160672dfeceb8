#pragma once
// What the fuzz targets share: the shipped collation catalogue, the fixed
// table definitions some targets read their fuzzed files through, and a file
// in memory for the readers that open a path.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "base/bytes.h"
#include "render/value_renderer.h"
#include "tabledef/row_values.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/frm_reader.h"
#include "tabledef/table_definition.h"

namespace tavrin::fuzz {

inline const CollationCatalogue& catalogue() {
  static const CollationCatalogue loaded = CollationCatalogue::load(TAVRIN_FUZZ_CATALOGUE);
  return loaded;
}

// A definition kept in fuzz/definitions/; a target without it cannot run.
inline const TableDefinition& definition(const std::string& name) {
  static std::map<std::string, TableDefinition> read;
  if (auto known = read.find(name); known != read.end()) return known->second;
  auto table = readFrm(std::string(TAVRIN_FUZZ_DEFINITIONS) + "/" + name + ".frm", catalogue());
  if (!table) {
    std::fprintf(stderr, "cannot read the definition %s: %s\n", name.c_str(), table.reason().c_str());
    std::abort();
  }
  return read.emplace(name, std::move(*table)).first->second;
}

// A file that lives in memory (memfd), opened by the readers through
// /proc/self/fd; rewritten for every input, so no disk is touched.
class MemoryFile {
 public:
  explicit MemoryFile(const char* name) : fd_(memfd_create(name, MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
  }
  ~MemoryFile() { close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Replaces the contents and returns the path to open.
  std::string hold(ByteView bytes) {
    if (ftruncate(fd_, 0) != 0) std::abort();
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = pwrite(fd_, bytes.data() + done, bytes.size() - done, off_t(done));
      if (n <= 0) std::abort();
      done += size_t(n);
    }
    return "/proc/self/fd/" + std::to_string(fd_);
  }

 private:
  int fd_;
};

// Every text of a row: the display and export forms and the SQL literals, so
// that each byte a reader hands on is read.
inline void renderRow(ValueRenderer& display, ValueRenderer& exported, const RowValues& row) {
  std::vector<std::string> cells;
  display.render(row, cells);
  exported.render(row, cells);
  const DecodedRow& decoded = exported.decode(row);
  std::string literal;
  for (size_t i = 0; i < decoded.values.size(); ++i) {
    (void)appendSqlLiteral(literal, decoded.values[i], exported.decoder().format(i), TimeZone::utc());
  }
}

// Every row of a table, each rendered, with `options`.
inline void renderAllRows(RowSource& rows, const TableDefinition& table, const ReadOptions& options) {
  ValueRenderer display(table, catalogue(), TextForm{false, rows.largeValueLimit(), TimeZone::utc()});
  ValueRenderer exported(table, catalogue(), TextForm{true, 0, TimeZone::utc()});
  (void)readAllRows(rows, [&](const RowValues& row) { renderRow(display, exported, row); }, options);
}

}  // namespace tavrin::fuzz
