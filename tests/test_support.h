#pragma once
// What the tests share: the real-server fixtures and their recorded answers,
// the files of older servers, the shipped collation catalogue, scratch folders.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tabledef/collation_catalogue.h"
#include "tabledef/row_values.h"

namespace tavrin::test {

// The data folder written by the server from tests/fixtures/<script>.sql.
std::string fixtureData(const std::string& script);
// Files written by older servers (MySQL 5.0 to 5.6, MariaDB 10.1).
std::string realFixtures();
const CollationCatalogue& shippedCatalogue();

// A recorded answer of the server (`mariadb --batch`): a header line, then
// rows; fields unescaped, NULL kept as the text NULL.
struct Answer {
  std::vector<std::string> header;
  std::vector<std::map<std::string, std::string>> rows;
};
Answer readAnswer(const std::string& script, const std::string& name);

std::string readText(const std::string& path);

// What a walk passed over and why it stopped, in one text ("" for neither).
std::string problems(const WalkEnd& end);

// The seed of a test that damages files at random: `fixed`, or the number in
// TAVRIN_FUZZ_SEED to try others.
uint32_t fuzzSeed(uint32_t fixed);
std::vector<uint8_t> readBytes(const std::string& path);

// A folder under the temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }
  // Writes a file (creating its folders) and returns its path.
  std::string write(const std::string& relative, const std::string& bytes) const;
  std::string makeFolder(const std::string& relative) const;

 private:
  std::string path_;
};

}  // namespace tavrin::test
