#pragma once
// The two-character forms of the server's file name encoding ("@0G" is
// U+00C0), sorted by their characters.

#include <cstddef>
#include <cstdint>

namespace tavrin::filename_table {

struct TwoCharacterForm {
  char first;
  char second;
  uint16_t codePoint;
};

extern const TwoCharacterForm kTwoCharacterForms[];
extern const size_t kTwoCharacterFormCount;

}  // namespace tavrin::filename_table
