#include "tabledef/partition_file.h"

#include "base/file.h"

namespace tavrin {

namespace {

constexpr size_t kWord = 4;
constexpr size_t kEnginesAt = 12;
// The server keeps at most 8192 partitions (sub-partitions included).
constexpr uint32_t kMostPartitions = 8192;
constexpr uint64_t kLargestFile = 1 << 20;

size_t wholeWords(size_t bytes) { return (bytes + kWord - 1) / kWord; }

}  // namespace

Result<std::vector<PartitionEntry>> decodePartitionFile(ByteView whole) {
  if (whole.size() < 4 * kWord) return damaged("the partition file is shorter than its header");
  // What follows the counted words (MariaDB adds the names of engines that
  // have no legacy code there) is not needed to find the partitions.
  const uint64_t words = le32(whole, 0);
  if (words < 4 || words * kWord > whole.size()) {
    return damaged("the partition file says it holds " + std::to_string(words) + " words but has " +
                   std::to_string(whole.size()) + " bytes");
  }
  const ByteView file = whole.sub(0, words * kWord);
  uint32_t checksum = 0;
  for (size_t at = 0; at < file.size(); at += kWord) checksum ^= le32(file, at);
  if (checksum != 0) return damaged("the partition file fails its checksum");
  const uint32_t count = le32(file, 8);
  if (count == 0 || count > kMostPartitions) {
    return damaged("the partition file counts " + std::to_string(count) + " partitions");
  }
  const size_t namesLengthAt = kEnginesAt + wholeWords(count) * kWord;
  const size_t namesAt = namesLengthAt + kWord;
  const uint32_t namesLength = le32(file, namesLengthAt);
  if (!file.has(namesAt, namesLength)) return damaged("the partition names run past the end of the partition file");
  const ByteView names = file.sub(namesAt, namesLength);
  std::vector<PartitionEntry> partitions;
  size_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    size_t end = at;
    while (end < names.size() && names[end] != 0) ++end;
    if (end >= names.size() || end == at) {
      return damaged("the partition file names " + std::to_string(i) + " of its " + std::to_string(count) +
                     " partitions");
    }
    partitions.push_back({std::string(names.sub(at, end - at).chars()), file[kEnginesAt + i]});
    at = end + 1;
  }
  return partitions;
}

Result<std::vector<PartitionEntry>> readPartitionFile(const std::string& path) {
  auto bytes = readSmallFile(path, kLargestFile);
  if (!bytes) return bytes.failure();
  auto partitions = decodePartitionFile(ByteView(*bytes));
  if (!partitions) return damaged(path + ": " + partitions.reason());
  return partitions;
}

std::string partitionFileBase(const std::string& table, const PartitionEntry& partition) {
  return table + "#P#" + partition.name;
}

}  // namespace tavrin
