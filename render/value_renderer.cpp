#include "render/value_renderer.h"

namespace tavrin {

std::vector<size_t> shownColumns(const TableDefinition& table) {
  std::vector<size_t> shown;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (!table.columns[i].isVirtual && !table.columns[i].isSystemHidden()) shown.push_back(i);
  }
  return shown;
}

ValueRenderer::ValueRenderer(const TableDefinition& table, const CollationCatalogue& catalogue, TextForm form)
    : decoder_(table, catalogue), shown_(shownColumns(table)), form_(std::move(form)), table_(table) {}

const DecodedRow& ValueRenderer::decode(const RowValues& row) {
  decoder_.decode(row, row_);
  countImplausible(row_);
  return row_;
}

void ValueRenderer::countImplausible(size_t column) {
  implausible_.note("impossible as dates or times, shown as their bytes give them",
                    inPart("column " + table_.columns[column].name), "value");
}

void ValueRenderer::countImplausible(const DecodedRow& row) {
  for (size_t column : shown_) {
    if (!isPlausible(row.values[column])) countImplausible(column);
  }
}

void ValueRenderer::render(const RowValues& row, std::vector<std::string>& cells) {
  decoder_.decode(row, row_);
  countImplausible(row_);
  cells.resize(shown_.size());
  for (size_t i = 0; i < shown_.size(); ++i) {
    cells[i].clear();
    const size_t column = shown_[i];
    appendValueText(cells[i], row_.values[column], decoder_.format(column), form_);
  }
}

std::string_view ValueRenderer::textOf(size_t column) {
  const bool large = !form_.exportForm && form_.largeValueLimit && value_.stored.size() >= form_.largeValueLimit;
  if (value_.kind == ValueKind::Text && !large) return value_.text;
  scratch_.clear();
  appendValueText(scratch_, value_, decoder_.format(column), form_);
  return scratch_;
}

}  // namespace tavrin
