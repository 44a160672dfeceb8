#include "tabledef/partition_file.h"

#include <algorithm>
#include <cctype>

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

namespace {

struct ClauseToken {
  std::string text;  // as written, an identifier without its quotes
  bool identifier = false;
  std::string word;  // upper-cased, for a word that is not quoted
};

// Words and identifiers of the clause; strings and punctuation are passed over.
std::vector<ClauseToken> clauseTokens(std::string_view clause) {
  std::vector<ClauseToken> tokens;
  size_t i = 0;
  while (i < clause.size()) {
    const char c = clause[i];
    if (c == '`' || c == '\'' || c == '"') {
      std::string text;
      size_t j = i + 1;
      for (; j < clause.size(); ++j) {
        if (clause[j] == c && j + 1 < clause.size() && clause[j + 1] == c) {
          text.push_back(c);
          ++j;
        } else if (clause[j] == c) {
          break;
        } else {
          text.push_back(clause[j]);
        }
      }
      if (c == '`') tokens.push_back({text, true, ""});
      i = j + 1;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$') {
      size_t j = i;
      while (j < clause.size() && (std::isalnum(static_cast<unsigned char>(clause[j])) || clause[j] == '_' || clause[j] == '$')) ++j;
      std::string text(clause.substr(i, j - i));
      std::string word = text;
      for (char& ch : word) ch = char(std::toupper(static_cast<unsigned char>(ch)));
      tokens.push_back({text, false, word});
      i = j;
    } else {
      ++i;
    }
  }
  return tokens;
}

size_t countAfter(const std::vector<ClauseToken>& t, size_t i) {
  if (i + 1 >= t.size() || t[i + 1].identifier) return 0;
  const std::string& n = t[i + 1].text;
  if (n.empty() || n.size() > 4 || !std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; })) return 0;
  return size_t(std::stoul(n));
}

}  // namespace

std::vector<std::string> partitionNamesFromClause(std::string_view clause) {
  const std::vector<ClauseToken> t = clauseTokens(clause);
  struct Named {
    std::string name;
    std::vector<std::string> subpartitions;
  };
  std::vector<Named> named;
  size_t partitions = 0, subpartitions = 0;
  for (size_t i = 0; i + 1 < t.size(); ++i) {
    if (t[i].identifier) continue;
    const bool nameFollows = t[i + 1].word != "BY";
    if (t[i].word == "PARTITION" && nameFollows) {
      named.push_back({t[i + 1].text, {}});
    } else if (t[i].word == "SUBPARTITION" && nameFollows && !named.empty()) {
      named.back().subpartitions.push_back(t[i + 1].text);
    } else if (t[i].word == "PARTITIONS") {
      partitions = countAfter(t, i);
    } else if (t[i].word == "SUBPARTITIONS") {
      subpartitions = countAfter(t, i);
    }
  }
  if (named.empty()) {
    for (size_t p = 0; p < std::max<size_t>(partitions, 1); ++p) named.push_back({std::string("p").append(std::to_string(p)), {}});
  }
  std::vector<std::string> names;
  for (const Named& p : named) {
    if (!p.subpartitions.empty()) {
      for (const std::string& sub : p.subpartitions) names.push_back(p.name + "#SP#" + sub);
    } else if (subpartitions > 0) {
      for (size_t k = 0; k < subpartitions; ++k) names.push_back(p.name + "#SP#" + p.name + "sp" + std::to_string(k));
    } else {
      names.push_back(p.name);
    }
  }
  return names;
}

std::string partitionFileBase(const std::string& table, const PartitionEntry& partition) {
  return table + "#P#" + partition.name;
}

}  // namespace tavrin
