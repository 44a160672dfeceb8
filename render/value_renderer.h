#pragma once
// The text of every value of a row, as the server's client shows it, with
// the tool's own forms for values that text cannot hold: binary strings and
// BLOBs as 0x and hexadecimal, BIT as its bits. The display form shows
// markers for large values; the export form gives every value in full.

#include <memory>
#include <string>
#include <vector>

#include "tabledef/row_values.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

inline constexpr const char* kNullText = "NULL";
inline constexpr const char* kBinaryMarker = "0x<Binarydata>";
inline constexpr const char* kLargeBlobMarker = "Large Blob Data";
inline constexpr const char* kExternalBlobMarker = "Large Size Blob Data";
inline constexpr const char* kSpatialMarker = "Spatial Data";

struct RenderOptions {
  bool exportForm = false;
  // Display form: BLOB/TEXT values of at least this many bytes show a marker;
  // 0 for no limit.
  size_t largeValueLimit = 0;
};

// The columns a row shows: those stored in it that the server does not hide.
std::vector<size_t> shownColumns(const TableDefinition& table);

class ValueRenderer {
 public:
  ValueRenderer(const TableDefinition& table, const CollationCatalogue& catalogue, RenderOptions options);
  ~ValueRenderer();
  ValueRenderer(ValueRenderer&&) noexcept;

  // Indices into the table's columns, in order.
  const std::vector<size_t>& columns() const { return shown_; }

  // The texts of the shown columns of one row (one value per table column).
  void render(const RowValues& row, std::vector<std::string>& cells) const;
  // The text of one value of column `index` of the table, appended to `out`.
  void appendText(size_t index, const FieldValue& value, std::string& out) const;

 private:
  struct Column;
  std::vector<Column> columns_;
  std::vector<size_t> shown_;
  RenderOptions options_;
};

}  // namespace tavrin
