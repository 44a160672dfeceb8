#include "base/json.h"

#include <charconv>

#include "base/text.h"

namespace tavrin {

const JsonValue* JsonValue::find(std::string_view key) const {
  if (kind != Kind::Object) return nullptr;
  for (size_t i = 0; i < keys.size() && i < items.size(); ++i) {
    if (keys[i] == key) return &items[i];
  }
  return nullptr;
}

namespace {

template <class T>
std::optional<T> wholeNumber(const JsonValue& v) {
  if (v.kind != JsonValue::Kind::Number) return std::nullopt;
  T value{};
  const char* end = v.text.data() + v.text.size();
  const auto [at, error] = std::from_chars(v.text.data(), end, value);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

class Parser {
 public:
  Parser(std::string_view text, int depthLimit) : s_(text), depthLimit_(depthLimit) {}

  Result<JsonValue> document() {
    JsonValue root;
    if (Status read = value(root, 0); !read) return read.failure();
    skipSpace();
    if (i_ != s_.size()) return fail("text after the end of the document");
    return root;
  }

 private:
  Failure fail(const std::string& what) const { return damaged("not JSON at byte " + std::to_string(i_) + ": " + what); }

  void skipSpace() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
  }

  bool take(char c) {
    skipSpace();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }

  Status value(JsonValue& v, int depth) {
    if (depth > depthLimit_) return fail("nested deeper than " + std::to_string(depthLimit_) + " levels");
    skipSpace();
    if (i_ >= s_.size()) return fail("the text ends where a value should be");
    switch (s_[i_]) {
      case '{': return object(v, depth);
      case '[': return array(v, depth);
      case '"': v.kind = JsonValue::Kind::String; return string(v.text);
      case 't': return word("true", v, JsonValue::Kind::Boolean, true);
      case 'f': return word("false", v, JsonValue::Kind::Boolean, false);
      case 'n': return word("null", v, JsonValue::Kind::Null, false);
      default: return number(v);
    }
  }

  Status word(std::string_view w, JsonValue& v, JsonValue::Kind kind, bool boolean) {
    if (s_.substr(i_, w.size()) != w) return fail("an unknown word");
    i_ += w.size();
    v.kind = kind;
    v.boolean = boolean;
    return Ok{};
  }

  static bool isDigit(char c) { return c >= '0' && c <= '9'; }

  size_t digits() {
    const size_t start = i_;
    while (i_ < s_.size() && isDigit(s_[i_])) ++i_;
    return i_ - start;
  }

  Status number(JsonValue& v) {
    const size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    if (i_ < s_.size() && s_[i_] == '0') {
      ++i_;
    } else if (digits() == 0) {
      return fail("not a value");
    }
    if (i_ < s_.size() && s_[i_] == '.') {
      ++i_;
      if (digits() == 0) return fail("a number without digits after its point");
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
      if (digits() == 0) return fail("a number without digits in its exponent");
    }
    v.kind = JsonValue::Kind::Number;
    v.text = std::string(s_.substr(start, i_ - start));
    return Ok{};
  }

  // Four hexadecimal digits after "\u".
  std::optional<uint32_t> hexUnit() {
    if (i_ + 4 > s_.size()) return std::nullopt;
    uint32_t unit = 0;
    for (size_t k = 0; k < 4; ++k) {
      const int d = hexDigitValue(s_[i_ + k]);
      if (d < 0) return std::nullopt;
      unit = unit << 4 | uint32_t(d);
    }
    i_ += 4;
    return unit;
  }

  Status unicodeEscape(std::string& out) {
    auto unit = hexUnit();
    if (!unit) return fail("a \\u escape without four hexadecimal digits");
    uint32_t cp = *unit;
    if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(i_, 2) == "\\u") {
      i_ += 2;
      auto low = hexUnit();
      if (!low || *low < 0xDC00 || *low > 0xDFFF) return fail("a surrogate pair cut in half");
      cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
    }
    appendUtf8(out, cp);  // a lone surrogate becomes '?'
    return Ok{};
  }

  Status string(std::string& out) {
    ++i_;  // the opening quote
    out.clear();
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return Ok{};
      if (static_cast<unsigned char>(c) < 0x20) return fail("a control character inside a string");
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i_ >= s_.size()) break;
      const char e = s_[i_++];
      switch (e) {
        case '"': case '\\': case '/': out.push_back(e); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u':
          if (Status u = unicodeEscape(out); !u) return u;
          break;
        default: return fail("an unknown escape in a string");
      }
    }
    return fail("a string without its closing quote");
  }

  Status array(JsonValue& v, int depth) {
    ++i_;
    v.kind = JsonValue::Kind::Array;
    if (take(']')) return Ok{};
    do {
      v.items.emplace_back();
      if (Status item = value(v.items.back(), depth + 1); !item) return item;
    } while (take(','));
    return take(']') ? Status(Ok{}) : Status(fail("an array without its closing bracket"));
  }

  Status object(JsonValue& v, int depth) {
    ++i_;
    v.kind = JsonValue::Kind::Object;
    if (take('}')) return Ok{};
    do {
      skipSpace();
      if (i_ >= s_.size() || s_[i_] != '"') return fail("an object member without a quoted name");
      v.keys.emplace_back();
      if (Status name = string(v.keys.back()); !name) return name;
      if (!take(':')) return fail("an object member without a colon");
      v.items.emplace_back();
      if (Status item = value(v.items.back(), depth + 1); !item) return item;
    } while (take(','));
    return take('}') ? Status(Ok{}) : Status(fail("an object without its closing brace"));
  }

  std::string_view s_;
  size_t i_ = 0;
  int depthLimit_;
};

}  // namespace

std::optional<uint64_t> JsonValue::asUnsigned() const { return wholeNumber<uint64_t>(*this); }

std::optional<int64_t> JsonValue::asInteger() const { return wholeNumber<int64_t>(*this); }

Result<JsonValue> parseJson(std::string_view text, int depthLimit) { return Parser(text, depthLimit).document(); }

}  // namespace tavrin
