#include "cli/lost_command.h"

#include <unistd.h>

#include "base/text.h"
#include "session/lost_tables.h"

namespace tavrin::cli {

namespace {

std::string lineOf(const LostIndex& lost, const DefinitionsScript* definitions) {
  const CarvedIndex& index = lost.index;
  std::string line = lost.file + " space " + std::to_string(index.spaceId) + " index " + std::to_string(index.indexId) +
                     ": " + std::to_string(index.pages.size()) + " pages, " + std::to_string(index.leaves()) +
                     " leaves, " + std::to_string(index.records()) + " records";
  if (lost.table) {
    const std::string database = lost.table->database.empty() ? "" : lost.table->database + ".";
    return line + ": table " + database + lost.table->name + " (the CREATE TABLE of " +
           definitions->placeOf(*lost.table) + ")";
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
  const std::atomic<bool> never{false};
  auto report = findLostIndexes(a.arguments[0], definitions ? &*definitions : nullptr, catalogue, never,
                                terminalProgress(err));
  if (!report) return report.failure();
  for (const LostIndex& lost : report->indexes) out << printable(lineOf(lost, definitions ? &*definitions : nullptr)) << '\n';
  err << kProgram << ": " << report->pagesFound << " index pages of " << report->indexes.size()
      << " indexes with leaves in " << (report->bytesRead >> 20) << " MiB\n";
  if (report->indexes.empty()) return missing("no InnoDB index page in " + a.arguments[0]);
  return Ok{};
}

}  // namespace tavrin::cli
