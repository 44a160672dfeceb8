#pragma once
// A small reader of JSON text (RFC 8259) into a tree, for the table
// definitions that MySQL 8 keeps as JSON in its tablespaces. It reads only
// what it is given, nests no deeper than a limit, and says where the text
// stops being JSON.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace tavrin {

struct JsonValue {
  enum class Kind : uint8_t { Null, Boolean, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;                // a string's value (UTF-8), or a number as written
  std::vector<JsonValue> items;    // an array's elements, or an object's values
  std::vector<std::string> keys;   // an object's names, one per value

  // The value of member `key` of an object, or null (also for other kinds).
  const JsonValue* find(std::string_view key) const;
  // A number without fraction or exponent that fits, or nothing.
  std::optional<uint64_t> asUnsigned() const;
  std::optional<int64_t> asInteger() const;
};

// Documents nest no deeper than this by default.
inline constexpr int kJsonDepthLimit = 64;

// The tree of one JSON document (whitespace around it allowed), or why the
// text is not one, with the byte where it went wrong.
Result<JsonValue> parseJson(std::string_view text, int depthLimit = kJsonDepthLimit);

}  // namespace tavrin
