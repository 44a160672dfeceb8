#pragma once
// MySQL's binary JSON (the JSON columns of MySQL 5.7 and later) as text,
// exactly as MariaDB writes it when it converts such a column.
//
// A value is a type byte and its data. Objects and arrays, small (2-byte
// offsets) or large (4-byte offsets):
//   element count | byte size | key entries (objects: offset, 2-byte length)
//   | value entries (type byte, then an offset, or the value itself for
//   literals and 16-bit integers, and in the large form 32-bit ones too)
//   | keys | values
// Offsets count from the start of the object or array. Strings and opaque
// values carry a length of 7 bits a byte, lowest first.

#include <string>

#include "base/bytes.h"
#include "base/result.h"

namespace tavrin {

// Appends the text of a whole stored document; fails on damage, leaving
// `out` as it was. An empty document gives no text.
Status appendMysqlJson(std::string& out, ByteView document);

}  // namespace tavrin
