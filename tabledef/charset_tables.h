#pragma once
// The server's own mapping of its character sets to Unicode, where the
// system's converter does not give it: whole tables of the single-byte sets,
// and for each multi-byte set the characters on which the two differ.

#include <cstddef>
#include <cstdint>

namespace tavrin::charset_tables {

struct SingleByteSet {
  const char* name;
  uint16_t codePoints[256];  // '?' where the server has no character
};

struct CodeOverride {
  uint32_t code;  // the character's bytes, big-endian
  uint32_t codePoint;
};

struct MultiByteSet {
  const char* name;
  const char* systemName;  // for the system's converter
  const CodeOverride* overrides;  // sorted by code
  size_t overrideCount;
};

extern const SingleByteSet kSingleByteSets[];
extern const size_t kSingleByteSetCount;
extern const MultiByteSet kMultiByteSets[];
extern const size_t kMultiByteSetCount;

}  // namespace tavrin::charset_tables
