#pragma once
// One decoded row as the storage readers hand it to the renderer: for every
// column of the table its bytes in one canonical form, or NULL.
//
// Canonical forms: numbers, dates and times as the server's row image keeps
// them (integers little-endian); CHAR, VARCHAR, BLOB/TEXT and GEOMETRY as
// their stored bytes without any length prefix; BIT as its bytes
// big-endian, (bits + 7) / 8 of them.

#include <vector>

#include "base/bytes.h"

namespace tavrin {

struct FieldValue {
  bool isNull = true;
  ByteView bytes;
  // Kept outside the row by the storage engine and not read (a marker is shown).
  bool external = false;
};

using RowValues = std::vector<FieldValue>;

}  // namespace tavrin
