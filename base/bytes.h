#pragma once
// A bounds-checked view of bytes and the integer decoders of every width and
// byte order that the file formats use. Decoders never read outside the view:
// a value that does not fit is reported by `has` before it is decoded, and a
// decoder asked for bytes beyond the end yields 0.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  ByteView(const std::vector<uint8_t>& bytes) : data_(bytes.data()), size_(bytes.size()) {}
  explicit ByteView(std::string_view text)
      : data_(reinterpret_cast<const uint8_t*>(text.data())), size_(text.size()) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // True when `count` bytes starting at `offset` lie inside the view.
  bool has(size_t offset, size_t count) const {
    return offset <= size_ && count <= size_ - offset;
  }

  // The bytes [offset, offset + count) clipped to the view.
  ByteView sub(size_t offset, size_t count = SIZE_MAX) const {
    if (offset >= size_) return ByteView(data_ + size_, 0);
    size_t left = size_ - offset;
    return ByteView(data_ + offset, count < left ? count : left);
  }

  uint8_t operator[](size_t offset) const { return offset < size_ ? data_[offset] : 0; }

  std::string_view chars() const { return {reinterpret_cast<const char*>(data_), size_}; }
  std::vector<uint8_t> copy() const { return std::vector<uint8_t>(data_, data_ + size_); }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

namespace detail {
template <int Width>
inline uint64_t littleEndian(ByteView v, size_t offset) {
  if (!v.has(offset, Width)) return 0;
  uint64_t value = 0;
  for (int i = Width - 1; i >= 0; --i) value = (value << 8) | v.data()[offset + i];
  return value;
}
template <int Width>
inline uint64_t bigEndian(ByteView v, size_t offset) {
  if (!v.has(offset, Width)) return 0;
  uint64_t value = 0;
  for (int i = 0; i < Width; ++i) value = (value << 8) | v.data()[offset + i];
  return value;
}
}  // namespace detail

inline uint8_t u8(ByteView v, size_t offset) { return v[offset]; }
inline uint16_t le16(ByteView v, size_t offset) { return uint16_t(detail::littleEndian<2>(v, offset)); }
inline uint32_t le24(ByteView v, size_t offset) { return uint32_t(detail::littleEndian<3>(v, offset)); }
inline uint32_t le32(ByteView v, size_t offset) { return uint32_t(detail::littleEndian<4>(v, offset)); }
inline uint64_t le64(ByteView v, size_t offset) { return detail::littleEndian<8>(v, offset); }
inline uint16_t be16(ByteView v, size_t offset) { return uint16_t(detail::bigEndian<2>(v, offset)); }
inline uint32_t be24(ByteView v, size_t offset) { return uint32_t(detail::bigEndian<3>(v, offset)); }
inline uint32_t be32(ByteView v, size_t offset) { return uint32_t(detail::bigEndian<4>(v, offset)); }
inline uint64_t be40(ByteView v, size_t offset) { return detail::bigEndian<5>(v, offset); }
inline uint64_t be48(ByteView v, size_t offset) { return detail::bigEndian<6>(v, offset); }
inline uint64_t be56(ByteView v, size_t offset) { return detail::bigEndian<7>(v, offset); }
inline uint64_t be64(ByteView v, size_t offset) { return detail::bigEndian<8>(v, offset); }

}  // namespace tavrin
