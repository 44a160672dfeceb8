#pragma once
// The texts of whole rows: each row's values decoded once, then written in
// the display or the export form.

#include <string>
#include <string_view>
#include <vector>

#include "render/value_decoder.h"
#include "render/value_text.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/row_values.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// The columns a row shows: those stored in it that the server does not hide.
std::vector<size_t> shownColumns(const TableDefinition& table);

class ValueRenderer {
 public:
  ValueRenderer(const TableDefinition& table, const CollationCatalogue& catalogue, TextForm form);

  // Indices into the table's columns, in order.
  const std::vector<size_t>& columns() const { return shown_; }

  // The texts of the shown columns of one row (one value per table column).
  void render(const RowValues& row, std::vector<std::string>& cells);
  // The text of each shown column of one row handed to `emit(index, text)`
  // as soon as it is made, valid during the call: no row of texts is built,
  // which matters when millions of rows are written out.
  template <class Emit>
  void renderEach(const RowValues& row, Emit&& emit) {
    static const FieldValue kNull;
    for (size_t i = 0; i < shown_.size(); ++i) {
      const size_t column = shown_[i];
      decoder_.decodeOne(column, column < row.size() ? row[column] : kNull, value_, arena_);
      if (!isPlausible(value_)) countImplausible(column);
      emit(i, textOf(column));
    }
  }
  // The typed values of one row, valid until the next call.
  const DecodedRow& decode(const RowValues& row);
  const ValueDecoder& decoder() const { return decoder_; }
  // The dates and times of the rows so far that no server stores.
  const DamageReport& implausibleValues() const { return implausible_; }

 private:
  ValueDecoder decoder_;
  std::vector<size_t> shown_;
  TextForm form_;
  DecodedRow row_;
  // The text of the value in `value_`: its own, or one made in `scratch_`.
  std::string_view textOf(size_t column);
  void countImplausible(size_t column);
  void countImplausible(const DecodedRow& row);
  const TableDefinition& table_;
  DamageReport implausible_;
  Value value_;
  std::string arena_, scratch_;
};

}  // namespace tavrin
