#include "base/file_window.h"

#include <algorithm>

namespace tavrin {

FileWindow::FileWindow(const ReadOnlyFile& file, size_t windowSize) : file_(file), windowSize_(windowSize) {}

ByteView FileWindow::view(uint64_t offset, size_t length) {
  if (offset >= file_.size()) return {};
  length = size_t(std::min<uint64_t>(length, file_.size() - offset));
  if (offset >= windowStart_ && offset + length <= windowStart_ + window_.size()) {
    return ByteView(window_.data() + (offset - windowStart_), length);
  }
  if (length > windowSize_) {
    large_ = file_.readAt(offset, length);
    return ByteView(large_);
  }
  window_.resize(windowSize_);
  window_.resize(file_.readAt(offset, window_.data(), windowSize_));
  windowStart_ = offset;
  return ByteView(window_.data(), std::min(length, window_.size()));
}

}  // namespace tavrin
