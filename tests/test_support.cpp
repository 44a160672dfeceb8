#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

#include "test_paths.h"

namespace tavrin::test {

namespace {

// Where the build put the fixtures; the environment may name other places.
std::string location(const char* name, const char* built) {
  const char* value = std::getenv(name);
  return value && *value ? value : built;
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\t') {
      fields.push_back(field);
      field.clear();
    } else if (c == '\\' && i + 1 < line.size()) {
      char e = line[++i];
      field.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e == '0' ? '\0' : e);
    } else {
      field.push_back(c);
    }
  }
  fields.push_back(field);
  return fields;
}

}  // namespace

std::string fixtureData(const std::string& script) {
  return location("TAVRIN_FIXTURES", TAVRIN_FIXTURES) + "/" + script + "/data";
}

std::string realFixtures() { return location("TAVRIN_REAL_FIXTURES", TAVRIN_REAL_FIXTURES); }

const CollationCatalogue& shippedCatalogue() {
  static const CollationCatalogue catalogue = CollationCatalogue::load(location("TAVRIN_CATALOGUE", TAVRIN_CATALOGUE));
  return catalogue;
}

Answer readAnswer(const std::string& script, const std::string& name) {
  std::istringstream in(readText(location("TAVRIN_FIXTURES", TAVRIN_FIXTURES) + "/" + script + "/answers/" + name + ".tsv"));
  Answer answer;
  std::string line;
  if (std::getline(in, line)) answer.header = splitTabs(line);
  while (std::getline(in, line)) {
    std::vector<std::string> fields = splitTabs(line);
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < answer.header.size() && i < fields.size(); ++i) row[answer.header[i]] = fields[i];
    answer.rows.push_back(std::move(row));
  }
  return answer;
}

std::string problems(const WalkEnd& end) {
  std::string text;
  std::vector<std::string> lines = end.passedOver.lines();
  if (end.stoppedEarly()) lines.push_back(end.stop->reason);
  for (const std::string& line : lines) text += (text.empty() ? "" : "; ") + line;
  return text;
}

uint32_t fuzzSeed(uint32_t fixed) {
  const char* seed = std::getenv("TAVRIN_FUZZ_SEED");
  return seed && *seed ? uint32_t(std::strtoul(seed, nullptr, 10)) + fixed : fixed;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<uint8_t> readBytes(const std::string& path) {
  std::string text = readText(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavrin-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder");
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ScratchFolder::write(const std::string& relative, const std::string& bytes) const {
  std::filesystem::path p = std::filesystem::path(path_) / relative;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << bytes;
  return p.string();
}

std::string ScratchFolder::makeFolder(const std::string& relative) const {
  std::filesystem::path p = std::filesystem::path(path_) / relative;
  std::filesystem::create_directories(p);
  return p.string();
}

}  // namespace tavrin::test
