#include "myisam/myi_state.h"

#include <algorithm>

#include "base/file.h"

namespace tavrin {

namespace {
constexpr size_t kHeaderSize = 24;
constexpr size_t kStateRowsOffset = 28;
constexpr size_t kStateDataLengthOffset = 68;
constexpr size_t kStateAutoIncrementOffset = 92;
constexpr size_t kBaseSize = 100;
constexpr size_t kKeyDefSize = 12, kSegmentSize = 18, kUniqueDefSize = 4, kColumnDefSize = 7;
// The header, the state and the definitions come before the first index
// block (the key file start); the indexes are not read.
constexpr uint64_t kFirstRead = 64u << 10;
constexpr uint64_t kMaxHeaderRead = 16u << 20;
}  // namespace

Result<MyisamState> parseMyiState(ByteView file) {
  if (file.size() <= kHeaderSize) {
    return damaged("the index file is too short for its header (" + std::to_string(file.size()) + " bytes)");
  }
  if (file[0] != 0xFE || file[1] != 0xFE) return damaged("the index file does not start as a MyISAM index file does");
  MyisamState state;
  state.options = be16(file, 4);
  state.recordFormat = (state.options & MyisamOption::CompressRecord) ? MyisamRowFormat::Compressed
                       : (state.options & MyisamOption::PackRecord)   ? MyisamRowFormat::Dynamic
                                                               : MyisamRowFormat::Fixed;
  state.rows = be64(file, kStateRowsOffset);
  state.deletedRows = be64(file, kStateRowsOffset + 8);
  state.dataLength = be64(file, kStateDataLengthOffset);
  state.autoIncrement = be64(file, kStateAutoIncrementOffset);
  const size_t base = be16(file, 12);
  const size_t uniques = file[19];
  if (!file.has(base, kBaseSize)) return damaged("the index file ends inside its table description");
  state.recordLength = be32(file, base + 44);
  state.packedRecordLength = be32(file, base + 48);
  state.minPackLength = be32(file, base + 52);
  state.maxPackLength = be32(file, base + 56);
  const uint32_t fields = be32(file, base + 64);
  const size_t keys = file[base + 74];
  state.packBits = be16(file, base + 76);

  size_t p = base + kBaseSize;
  // A key definition: segments, algorithm, flags (2 bytes), block length (2), ...
  for (size_t k = 0; k < keys; ++k) {
    if (!file.has(p, kKeyDefSize)) return damaged("the index file ends inside its key definitions");
    state.keyBlockLengths.push_back(be16(file, p + 4));
    p += kKeyDefSize + size_t(file[p]) * kSegmentSize;
  }
  for (size_t u = 0; u < uniques; ++u) {
    if (!file.has(p, kUniqueDefSize)) return damaged("the index file ends inside its unique definitions");
    p += kUniqueDefSize + size_t(be16(file, p)) * kSegmentSize;
  }
  if (!file.has(p, size_t(fields) * kColumnDefSize)) {
    return damaged("the index file ends inside its " + std::to_string(fields) + " column descriptions");
  }
  for (uint32_t i = 0; i < fields; ++i, p += kColumnDefSize) {
    state.columnDefs.push_back({int16_t(be16(file, p)), be16(file, p + 2), file[p + 4], be16(file, p + 5)});
  }
  return state;
}

Result<MyisamState> readMyiState(const std::string& path) {
  auto file = ReadOnlyFile::open(path);
  if (!file) return file.failure();
  std::vector<uint8_t> bytes = file->readAt(0, size_t(std::min(file->size(), kFirstRead)));
  const ByteView first(bytes);
  const uint64_t keyFileStart = be64(first, be16(first, 12));
  if (keyFileStart > bytes.size() && bytes.size() == kFirstRead) {
    bytes = file->readAt(0, size_t(std::min({file->size(), keyFileStart, kMaxHeaderRead})));
  }
  auto state = parseMyiState(ByteView(bytes));
  if (!state) return state.failure().prefixed(path + ": ");
  return state;
}

}  // namespace tavrin
