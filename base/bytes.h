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

// A number of `width` bytes (up to 8) at `offset`, for widths known only when
// reading: a column's, a length prefix's, a dictionary field's. A value cut
// short by the view's end is made of the bytes there are.
inline uint64_t leN(ByteView v, size_t offset, size_t width) {
  const ByteView bytes = v.sub(offset, width < 8 ? width : 8);
  uint64_t value = 0;
  for (size_t i = bytes.size(); i > 0; --i) value = (value << 8) | bytes.data()[i - 1];
  return value;
}
inline uint64_t beN(ByteView v, size_t offset, size_t width) {
  const ByteView bytes = v.sub(offset, width < 8 ? width : 8);
  uint64_t value = 0;
  for (size_t i = 0; i < bytes.size(); ++i) value = (value << 8) | bytes.data()[i];
  return value;
}

// True when every byte of the view is zero (or it is empty): space never written.
inline bool isAllZero(ByteView v) {
  for (size_t i = 0; i < v.size(); ++i) {
    if (v.data()[i] != 0) return false;
  }
  return true;
}

// Whether `a` sorts before `b` byte by byte, a prefix first, as memcmp orders keys.
inline bool bytesBefore(ByteView a, ByteView b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    if (a.data()[i] != b.data()[i]) return a.data()[i] < b.data()[i];
  }
  return a.size() < b.size();
}

// The bits of a view, most significant bit of each byte first, as the
// compressed formats write them. A read past the end gives nothing and
// leaves the reader where it was.
class BitReader {
 public:
  explicit BitReader(ByteView bytes) : bytes_(bytes) {}

  // The next `count` bits (at most 32) as a number, first bit highest.
  bool take(uint32_t count, uint32_t& value) {
    if (count > 32 || count > bitsLeft()) return false;
    uint64_t v = 0;
    for (uint32_t i = 0; i < count; ++i, ++at_) v = v << 1 | ((bytes_.data()[at_ >> 3] >> (7 - (at_ & 7))) & 1);
    value = uint32_t(v);
    return true;
  }
  bool bit(bool& set) {
    uint32_t v = 0;
    if (!take(1, v)) return false;
    set = v != 0;
    return true;
  }
  // Skips to the start of the next byte, unless at one.
  void toByte() { at_ = (at_ + 7) & ~uint64_t(7); }
  // Skips whole bytes; false when fewer are left.
  bool skipBytes(uint64_t count) {
    if (count > bitsLeft() / 8) return false;
    at_ += count * 8;
    return true;
  }
  uint64_t bitsLeft() const { return uint64_t(bytes_.size()) * 8 - at_; }
  // Bytes begun so far.
  uint64_t bytesUsed() const { return (at_ + 7) / 8; }

 private:
  ByteView bytes_;
  uint64_t at_ = 0;
};

}  // namespace tavrin
