#pragma once
// Reads a file through a window of its bytes, so that walks over many small
// records do not cost one system call each.

#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "base/file.h"

namespace tavrin {

class FileWindow {
 public:
  explicit FileWindow(const ReadOnlyFile& file, size_t windowSize = 1 << 20);

  // Up to `length` bytes at `offset`: fewer at the end of the file. The view
  // stays valid until the next call.
  ByteView view(uint64_t offset, size_t length);

  uint64_t fileSize() const { return file_.size(); }

 private:
  const ReadOnlyFile& file_;
  size_t windowSize_;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
  std::vector<uint8_t> large_;  // reads longer than the window
};

}  // namespace tavrin
