// The partition file (.par) of a partitioned table, from its bytes.
#include <cstddef>
#include <cstdint>

#include "tabledef/partition_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto partitions = tavrin::decodePartitionFile(tavrin::ByteView(data, size));
  if (partitions) {
    for (const tavrin::PartitionEntry& p : *partitions) (void)tavrin::partitionFileBase("t", p);
  }
  return 0;
}
