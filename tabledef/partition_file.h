#pragma once
// The partition file (.par) of a partitioned table: the names of its
// partitions in their order, as their data files are named, and the storage
// engine of each.
//
// Layout, all 4-byte little-endian words: the file's length in words, a
// checksum (the words xor to zero), the number of partitions, one engine
// byte per partition padded to whole words, the length of the names, then
// the names, each ending in a zero byte ("p0", or "p0#SP#s0" for a
// sub-partition), padded to whole words.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"

namespace tavrin {

struct PartitionEntry {
  std::string name;    // as the data files are named after "TABLE#P#"
  uint8_t engine = 0;  // the server's legacy engine code, as in a .frm
};

Result<std::vector<PartitionEntry>> decodePartitionFile(ByteView file);
Result<std::vector<PartitionEntry>> readPartitionFile(const std::string& path);

// The partitions a PARTITION BY clause (as a definition file keeps it)
// makes, in their order: named ones, or "p0", "p1", ... for PARTITIONS n,
// each with its sub-partitions as "NAME#SP#SUB" (by default NAMEsp0, ...).
// The names are the names themselves, not their file name forms. For tables
// whose partitions have no partition file (MySQL 5.7's InnoDB keeps none).
std::vector<std::string> partitionNamesFromClause(std::string_view clause);

// The base name of a partition's data files: "TABLE#P#NAME".
std::string partitionFileBase(const std::string& table, const PartitionEntry& partition);

}  // namespace tavrin
