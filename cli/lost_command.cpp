#include "cli/lost_command.h"

#include <unistd.h>

#include <algorithm>

#include "base/text.h"
#include "session/lost_tables.h"
#include "session/table_output.h"

namespace tavrin::cli {

namespace {

std::string keyOf(const CarvedIndex& index) {
  return std::to_string(index.spaceId) + ":" + std::to_string(index.indexId);
}

std::string lineOf(const LostIndex& lost, const DefinitionsScript* definitions, const std::string& source) {
  const CarvedIndex& index = lost.index;
  std::string line = lost.file + " space " + std::to_string(index.spaceId) + " index " + std::to_string(index.indexId) +
                     ": " + std::to_string(index.pages.size()) + " pages, " + std::to_string(index.leaves()) +
                     " leaves, " + std::to_string(index.records()) + " records";
  if (lost.table) {
    const std::string database = lost.table->database.empty() ? "" : lost.table->database + ".";
    return line + ": table " + database + lost.table->name + " (the CREATE TABLE of " +
           definitions->placeOf(*lost.table) + "); its rows: " + kProgram + " lost " + source + " --definitions " +
           definitions->path + " --read " + keyOf(index);
  }
  if (definitions) return line + ": " + lost.why;
  return line + ": give --definitions FILE.sql to find its table";
}

// Progress on a terminal only, a line rewritten at each whole per cent.
CarveProgress terminalProgress(std::ostream& err) {
  if (!isatty(STDERR_FILENO)) return {};
  return [&err, shown = -1](uint64_t done, uint64_t total) mutable {
    const int percent = total ? int(done * 100 / total) : 100;
    if (percent == shown) return;
    shown = percent;
    err << '\r' << kProgram << ": scanned " << (done >> 20) << " of " << (total >> 20) << " MiB (" << percent << "%)"
        << (percent == 100 ? "\n" : "") << std::flush;
  };
}

// The rows of the index --read names (SPACE:INDEX), by the table that fits it.
Status readLostIndex(const Invocation& a, const LostReport& report, const DefinitionsScript* definitions,
                     const CollationCatalogue& catalogue, std::ostream& out, std::ostream& err) {
  const std::string& wanted = a.option("--read");
  const auto lost = std::find_if(report.indexes.begin(), report.indexes.end(),
                                 [&](const LostIndex& l) { return keyOf(l.index) == wanted; });
  if (lost == report.indexes.end()) return missing("no index " + wanted + " (SPACE:INDEX) with leaves in " + a.arguments[0]);
  if (!definitions) return damaged("--read needs --definitions, whose CREATE TABLE reads the rows");
  if (!lost->table) return missing("index " + wanted + ": " + lost->why);
  auto rows = openLostTable(*lost, lost->table->definition, catalogue);
  if (!rows) return rows.failure();
  RowsRequest request;
  request.page = 0;
  request.full = true;
  request.deleted = a.has("--deleted");
  if (a.has("--format") && a.option("--format") == "csv") request.format = RowFormat::Csv;
  if (a.has("--format") && a.option("--format") == "sql") request.format = RowFormat::Sql;
  request.zone = TimeZone::utc();
  auto walked = writeRows(**rows, lost->table->name, catalogue, request, [&](std::string_view text) { out << text; });
  out.flush();
  if (!walked) return walked.failure();
  std::vector<std::string> losses = walked->passedOver.lines();
  if (walked->stoppedEarly()) losses.push_back(walked->stop->reason);
  for (const std::string& loss : losses) err << kProgram << ": " << printable(loss) << '\n';
  if (!losses.empty()) return damaged(std::to_string(losses.size()) + " losses while reading index " + wanted);
  return Ok{};
}

}  // namespace

Status lostCommand(const Invocation& a, const std::string& exeFolder, std::ostream& out, std::ostream& err) {
  const CollationCatalogue catalogue = loadCatalogue(exeFolder, err);
  std::optional<DefinitionsScript> definitions;
  if (a.has(kDefinitions)) {
    auto read = loadDefinitionsScript(a.option(kDefinitions), catalogue);
    if (!read) return read.failure().prefixed(kDefinitions + ": ");
    for (const std::string& note : read->notes) err << kProgram << ": warning: " << printable(note) << '\n';
    definitions = std::move(*read);
  }
  const DefinitionsScript* script = definitions ? &*definitions : nullptr;
  const std::atomic<bool> never{false};
  auto report = findLostIndexes(a.arguments[0], script, catalogue, never, terminalProgress(err));
  if (!report) return report.failure();
  if (a.has("--read")) return readLostIndex(a, *report, script, catalogue, out, err);
  for (const LostIndex& lost : report->indexes) out << printable(lineOf(lost, script, a.arguments[0])) << '\n';
  err << kProgram << ": " << report->pagesFound << " index pages of " << report->indexes.size()
      << " indexes with leaves in " << (report->bytesRead >> 20) << " MiB\n";
  if (report->indexes.empty()) return missing("no InnoDB index page in " + a.arguments[0]);
  return Ok{};
}

}  // namespace tavrin::cli
