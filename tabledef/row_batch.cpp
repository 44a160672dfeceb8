#include "tabledef/row_batch.h"

namespace tavrin {

void RowBatch::add(const RowValues& row) {
  if (fields_.empty()) columns_ = row.size();
  // Rows are the width of their table; a shorter one is padded with NULLs.
  for (size_t i = 0; i < columns_; ++i) {
    const FieldValue value = i < row.size() ? row[i] : FieldValue{};
    fields_.push_back({storage_.size(), uint32_t(value.bytes.size()), value.isNull, value.external, value.keptApart});
    storage_.append(value.bytes.chars());
  }
}

void RowBatch::clear() {
  storage_.clear();
  fields_.clear();
  columns_ = 0;
}

void RowBatch::forEach(const RowSink& sink) const {
  RowValues row(columns_);
  const auto* base = reinterpret_cast<const uint8_t*>(storage_.data());
  for (size_t start = 0; start < fields_.size(); start += columns_) {
    for (size_t i = 0; i < columns_; ++i) {
      const Field& f = fields_[start + i];
      row[i] = FieldValue{f.isNull, ByteView(base + f.offset, f.size), f.external, f.keptApart};
    }
    sink(row);
  }
}

}  // namespace tavrin
