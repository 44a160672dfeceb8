#include "session/table_output.h"

#include "export/delimited.h"
#include "export/sql_rows.h"
#include "render/value_renderer.h"

namespace tavrin {

namespace {

// The `index`-th value of a line of delimited values.
void appendCell(std::string& line, size_t index, std::string_view cell, RowFormat format) {
  if (index) line.push_back(format == RowFormat::Tsv ? '\t' : ',');
  if (format == RowFormat::Tsv) appendTsvField(line, cell);
  else appendCsvField(line, cell);
}

const char* lineEnd(RowFormat format) { return format == RowFormat::Tsv ? "\n" : "\r\n"; }

// The display form shows markers for large values; the export form every value whole.
TextForm gridForm(TableRows& table, bool exportForm, const TimeZone& zone) {
  return TextForm{exportForm, exportForm ? 0 : table.largeValueLimit(), zone};
}

Failure pastTheLastPage(uint64_t page, uint64_t pages) {
  return missing("page " + std::to_string(page) + " is past the last page of rows (" + std::to_string(pages) + ")");
}

// The rows the request asks for, each handed to `sink`.
Result<WalkEnd> walkRows(TableRows& table, const RowsRequest& request, const RowSink& sink) {
  const ReadOptions read{request.full || request.format == RowFormat::Sql, request.deleted};
  if (request.page == 0) return readAllRows(table.rows(), sink, read);
  return readPageNumber(table.rows(), request.page, sink, read);
}

Result<WalkEnd> writeInserts(TableRows& table, const std::string& tableName, ValueRenderer& renderer,
                             const RowsRequest& request, const std::function<void(std::string_view)>& write) {
  std::vector<std::string> names;
  for (size_t i : renderer.columns()) names.push_back(table.definition().columns[i].name);
  SqlInsertWriter writer(tableName, names, renderer.columns(), request.zone);
  if (Status named = writer.checkNames(); !named) return named.failure();
  write(writer.preamble());
  std::string statements;
  auto walked = walkRows(table, request, [&](const RowValues& row) {
    statements.clear();
    writer.addRow(statements, renderer.decode(row), renderer.decoder());
    write(statements);
  });
  statements.clear();
  writer.finish(statements);
  write(statements);
  return walked;
}

Result<WalkEnd> writeDelimited(TableRows& table, ValueRenderer& renderer, const RowsRequest& request,
                               const std::function<void(std::string_view)>& write) {
  std::string line;
  size_t index = 0;
  for (size_t i : renderer.columns()) appendCell(line, index++, table.definition().columns[i].name, request.format);
  write(line + lineEnd(request.format));
  return walkRows(table, request, [&](const RowValues& row) {
    line.clear();
    renderer.renderEach(row, [&](size_t i, std::string_view cell) { appendCell(line, i, cell, request.format); });
    line += lineEnd(request.format);
    write(line);
  });
}

}  // namespace

Result<WalkEnd> writeRows(TableRows& table, const std::string& tableName, const CollationCatalogue& catalogue,
                          const RowsRequest& request, const std::function<void(std::string_view)>& write) {
  // SQL statements carry every value in full.
  const bool full = request.full || request.format == RowFormat::Sql;
  ValueRenderer renderer(table.definition(), catalogue, TextForm{full, full ? 0 : table.largeValueLimit(), request.zone});
  auto walked = request.format == RowFormat::Sql ? writeInserts(table, tableName, renderer, request, write)
                                                 : writeDelimited(table, renderer, request, write);
  if (walked) walked->passedOver.merge(renderer.implausibleValues());
  return walked;
}

Result<WalkEnd> readPageNumber(RowSource& rows, uint64_t wanted, const RowSink& sink, const ReadOptions& read) {
  PageWalk walk(rows);
  const RowSink skip = [](const RowValues&) {};
  while (walk.pages() < wanted) {
    const bool isWanted = walk.pages() + 1 == wanted;
    if (!walk.next(kRowsPerPage, isWanted ? sink : skip, read)) break;
    const WalkEnd& page = walk.last();
    if (page.stoppedEarly() || (isWanted && (wanted == 1 || page.rows > 0))) return walk.walked();
    if (isWanted || page.atEnd) return pastTheLastPage(wanted, page.rows > 0 ? walk.pages() : walk.pages() - 1);
  }
  // The walk ended on a loop before the page.
  if (walk.walked().stoppedEarly()) return walk.walked();
  return pastTheLastPage(wanted, walk.pages());
}

GridRows readGridRows(TableRows& table, const CollationCatalogue& catalogue, PageStart start, bool exportForm,
                      const TimeZone& zone, const CellsHook& each) {
  GridRows page;
  ValueRenderer renderer(table.definition(), catalogue, gridForm(table, exportForm, zone));
  page.end = table.read(start, kRowsPerPage, [&](const RowValues& values) {
    renderer.render(values, page.rows.emplace_back());
    if (each) each(values, renderer.columns(), page.rows.back());
  }, ReadOptions{exportForm, false});
  page.end.passedOver.merge(renderer.implausibleValues());
  return page;
}

std::vector<std::string> gridTitles(const TableDefinition& definition) {
  std::vector<std::string> titles;
  for (size_t column : shownColumns(definition)) titles.push_back(definition.columns[column].name);
  return titles;
}

Result<GridPage> gridPageNumber(TableRows& table, const CollationCatalogue& catalogue, uint64_t number,
                                bool exportForm, const TimeZone& zone, WalkEnd& end) {
  GridPage page;
  page.titles = gridTitles(table.definition());
  ValueRenderer renderer(table.definition(), catalogue, gridForm(table, exportForm, zone));
  auto walked = readPageNumber(table.rows(), number, [&](const RowValues& values) {
    renderer.render(values, page.rows.emplace_back());
  }, ReadOptions{exportForm, false});
  if (!walked) return walked.failure();
  end = std::move(*walked);
  end.passedOver.merge(renderer.implausibleValues());
  return page;
}

}  // namespace tavrin
