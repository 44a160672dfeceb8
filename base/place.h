#pragma once
// Where in the files a failure or a piece of damage lies, as far as it is
// known, and the one way it is written out.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace tavrin {

struct Place {
  std::string file;              // the file's path; empty where no file is known
  std::optional<uint64_t> page;  // a page of the file (InnoDB)
  std::optional<uint64_t> byte;  // of the page where there is one, else of the file
  std::string part;              // a part of a table that has no file of its own here ("partition p1")

  auto operator<=>(const Place&) const = default;
  bool empty() const { return file.empty() && !page && !byte && part.empty(); }
};

inline Place atPage(std::string file, uint64_t page) { return {std::move(file), page, std::nullopt, {}}; }
inline Place atByte(std::string file, uint64_t byte) { return {std::move(file), std::nullopt, byte, {}}; }
inline Place inFile(std::string file) { return {std::move(file), std::nullopt, std::nullopt, {}}; }
inline Place inPart(std::string part) { return {{}, std::nullopt, std::nullopt, std::move(part)}; }

// "FILE page 7", "FILE page 7 byte 120", "byte 120 of FILE", "FILE",
// "partition p1".
std::string describe(const Place& place);

}  // namespace tavrin
