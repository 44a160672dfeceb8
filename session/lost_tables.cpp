#include "session/lost_tables.h"

#include <algorithm>

#include "base/path.h"
#include "base/text.h"
#include "innodb/layout.h"
#include "innodb/layout_fit.h"
#include "innodb/records.h"

namespace tavrin {

namespace {

constexpr size_t kPagesTried = 8;  // of leaves, and of node pages

bool isTablespaceFile(const std::string& name) {
  return lowerExtension(name) == "ibd" || asciiLower(name) == "ibdata1";
}

// The files a source stands for: itself, or a folder's system tablespace
// and tablespaces, its own and its databases'.
Result<std::vector<std::string>> filesOf(const std::string& source) {
  if (!isDirectory(source)) return std::vector<std::string>{source};
  std::vector<std::string> files;
  std::vector<std::string> folders{source};
  auto top = listFolder(source);
  if (!top) return top.failure();
  for (const DirEntry& e : *top) {
    if (e.isDirectory) folders.push_back(joinPath(source, e.name));
  }
  for (const std::string& folder : folders) {
    auto entries = listFolder(folder);
    if (!entries) return entries.failure();
    for (const DirEntry& e : *entries) {
      if (!e.isDirectory && isTablespaceFile(e.name)) files.push_back(joinPath(folder, e.name));
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The pages a definition is tried against: the first leaves and node pages.
struct SamplePage {
  uint64_t number = 0;
  std::vector<uint8_t> bytes;
};

std::vector<SamplePage> samplePages(const ReadOnlyFile& file, const CarvedIndex& index) {
  std::vector<SamplePage> sample;
  size_t leaves = 0, nodes = 0;
  for (const auto& [number, page] : index.pages) {
    if ((page.level == 0 ? leaves++ : nodes++) < kPagesTried) sample.push_back({number, readCarvedPage(file, page)});
  }
  return sample;
}

// How well the definition of `table` fits the pages, as the share of
// records that meet the next one exactly; nullopt when it does not fit.
std::optional<double> fitOf(const std::string& path, const std::vector<SamplePage>& sample, bool compact,
                            const ScriptTable& table, const CollationCatalogue& catalogue) {
  if (table.definition.engineCode != kEngineInnodb) return std::nullopt;
  const ClusteredLayout layout = layoutFromDefinition(table.definition, catalogue);
  const RecordFormat format = compact ? RecordFormat::Compact : RecordFormat::Redundant;
  LayoutFit fit;
  for (const SamplePage& page : sample) {
    if (!addPageFit(ByteView(page.bytes), format, layout, path, page.number, fit)) return std::nullopt;
  }
  if (!judgeFit(fit) || fit.exact == 0) return std::nullopt;
  return double(fit.exact) / double(fit.joins);
}

// The table whose definition fits best; of several that fit alike, the one
// the file is named after, else none, and all of them said.
void nameIndex(const ReadOnlyFile& file, LostIndex& lost, const DefinitionsScript& definitions,
               const CollationCatalogue& catalogue) {
  const std::vector<SamplePage> sample = samplePages(file, lost.index);
  double best = 0;
  std::vector<const ScriptTable*> fitting;
  for (const ScriptTable& table : definitions.tables) {
    const std::optional<double> fit = fitOf(file.path(), sample, lost.index.compact, table, catalogue);
    if (!fit || *fit < best) continue;
    if (*fit > best) fitting.clear();
    best = *fit;
    fitting.push_back(&table);
  }
  if (fitting.size() == 1) {
    lost.table = fitting.front();
    return;
  }
  const std::string stem = asciiLower(lastComponent(file.path()).substr(0, lastComponent(file.path()).rfind('.')));
  for (const ScriptTable* table : fitting) {
    if (asciiLower(table->name) == stem) {
      lost.table = table;
      return;
    }
  }
  if (fitting.empty()) {
    lost.why = "no CREATE TABLE of " + definitions.path + " fits its records";
    return;
  }
  lost.why = "the CREATE TABLE of several tables fits its records alike:";
  for (const ScriptTable* table : fitting) lost.why += " " + table->name;
}

}  // namespace

Result<LostReport> findLostIndexes(const std::string& source, const DefinitionsScript* definitions,
                                   const CollationCatalogue& catalogue, const std::atomic<bool>& stop,
                                   const CarveProgress& progress) {
  if (!pathExists(source)) return missing(source + " does not exist");
  auto files = filesOf(source);
  if (!files) return files.failure();
  uint64_t total = 0, before = 0;
  std::vector<ReadOnlyFile> opened;
  for (const std::string& path : *files) {
    auto file = ReadOnlyFile::open(path);
    if (!file) return file.failure();
    total += file->size();
    opened.push_back(std::move(*file));
  }
  LostReport report;
  for (const ReadOnlyFile& file : opened) {
    const CarveResult carved = carveIndexPages(file, stop, [&](uint64_t done, uint64_t) {
      if (progress) progress(before + done, total);
    });
    before += file.size();
    report.bytesRead += carved.bytesRead;
    report.pagesFound += carved.pagesFound;
    report.stopped |= carved.stopped;
    for (const auto& [key, index] : carved.indexes) {
      if (index.leaves() == 0) continue;
      LostIndex lost{file.path(), index, nullptr, {}};
      if (definitions) nameIndex(file, lost, *definitions, catalogue);
      report.indexes.push_back(std::move(lost));
    }
    if (report.stopped) break;
  }
  return report;
}

Result<std::unique_ptr<TableRows>> openLostTable(const LostIndex& lost, const TableDefinition& definition,
                                                 const CollationCatalogue& catalogue) {
  auto file = ReadOnlyFile::open(lost.file);
  if (!file) return file.failure();
  std::map<uint64_t, FoundPage> pages;
  uint32_t root = 0, pageSize = 0;
  uint16_t rootLevel = 0;
  for (const auto& [number, page] : lost.index.pages) {
    pages[number] = {page.offset, page.zeroBlocks};
    pageSize = page.size;
    if (page.level > rootLevel || pages.size() == 1) {
      root = number;
      rootLevel = page.level;
    }
  }
  if (pages.empty()) return missing("no page of the index was found");
  Tablespace space = Tablespace::ofFoundPages(std::move(*file), lost.index.spaceId, pageSize, lost.index.fullCrc32,
                                              std::move(pages));
  auto owned = std::make_unique<TableDefinition>(definition);
  auto table = InnodbTable::openFound(*owned, std::move(space), root, lost.index.indexId, catalogue);
  if (!table) return table.failure();
  return TableRows::of(std::move(owned), std::move(*table));
}

}  // namespace tavrin
