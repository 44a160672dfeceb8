#pragma once
// The collation catalogue: for each collation id of the server, its character
// set and the smallest and largest number of bytes of one character. Loaded
// once from the file "collation (2)" and read-only afterwards.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "base/result.h"

namespace tavrin {

inline constexpr const char* kCatalogueFileName = "collation (2)";
inline constexpr int32_t kBinaryCollation = 63;

struct CollationEntry {
  int32_t minBytesPerChar = 0;
  int32_t maxBytesPerChar = 0;
  std::string name1;  // the character set, such as latin1
  std::string name2;  // the collation, such as latin1_swedish_ci
};

class CollationCatalogue {
 public:
  // Records: id, minimum, maximum, then two length-prefixed names; integers
  // little-endian. A record cut short by the end keeps what could be read.
  static CollationCatalogue parse(ByteView file);
  // An empty catalogue when the file cannot be read.
  static CollationCatalogue load(const std::string& path);

  // Null when the id is not in the catalogue.
  const CollationEntry* find(int32_t id) const;
  int32_t minBytesPerChar(int32_t id) const;
  int32_t maxBytesPerChar(int32_t id) const;
  // The character set of a collation id; empty when the id is unknown.
  std::string charsetName(int32_t id) const;
  // Whether a character set or a collation of this name (in any case) is known.
  bool knowsCharset(std::string_view name) const;
  bool knowsCollation(std::string_view name) const;
  // The id of a collation by its name (in any case; utf8 stands for
  // utf8mb3), or of a character set's default collation; 0 when unknown.
  int32_t collationId(std::string_view collation) const;
  int32_t defaultCollationId(std::string_view charset) const;

  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // Fails when the catalogue lacks one of the collations every server has,
  // or gives it another character set or width: the file is then damaged
  // or of another kind, and every character length read through it wrong.
  Status check() const;

 private:
  std::map<int32_t, CollationEntry> entries_;
};

// The first sound catalogue file among the folders, in order; a file that
// is there but unsound is passed over with a warning. Without one, the
// catalogue is empty and character lengths are shown in bytes.
struct CatalogueChoice {
  CollationCatalogue catalogue;
  std::string path;  // empty when none was sound
  std::vector<std::string> warnings;
};
CatalogueChoice findCatalogue(const std::vector<std::string>& folders);

}  // namespace tavrin
