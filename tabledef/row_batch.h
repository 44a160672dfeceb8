#pragma once
// Rows copied out of a reader's buffers, to be decoded later or on another
// thread: the views a reader hands on last only as long as its call.

#include <cstdint>
#include <string>
#include <vector>

#include "tabledef/row_values.h"

namespace tavrin {

class RowBatch {
 public:
  void add(const RowValues& row);
  size_t rows() const { return columns_ ? fields_.size() / columns_ : 0; }
  size_t bytes() const { return storage_.size(); }
  bool empty() const { return fields_.empty(); }
  void clear();

  // Hands each row on, in order, as views into the batch.
  void forEach(const RowSink& sink) const;

 private:
  struct Field {
    size_t offset = 0;
    uint32_t size = 0;
    bool isNull = true, external = false, keptApart = false;
  };
  std::string storage_;
  std::vector<Field> fields_;
  size_t columns_ = 0;
};

}  // namespace tavrin
