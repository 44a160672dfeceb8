#include "tabledef/charset.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include <iconv.h>

#include "base/text.h"
#include "tabledef/charset_tables.h"

namespace tavrin {

namespace {

// What the server shows for bytes that are not a character of their set.
constexpr uint32_t kReplacement = uint32_t('?');

// Length of the valid UTF-8 sequence at `p`, or 0 when it is not one.
size_t utf8SequenceLength(const uint8_t* p, size_t left) {
  return tavrin::utf8SequenceLength(std::string_view(reinterpret_cast<const char*>(p), left));
}

const charset_tables::SingleByteSet* singleByteSet(std::string_view name) {
  for (size_t i = 0; i < charset_tables::kSingleByteSetCount; ++i) {
    if (name == charset_tables::kSingleByteSets[i].name) return &charset_tables::kSingleByteSets[i];
  }
  return nullptr;
}

const charset_tables::MultiByteSet* multiByteSet(std::string_view name) {
  for (size_t i = 0; i < charset_tables::kMultiByteSetCount; ++i) {
    if (name == charset_tables::kMultiByteSets[i].name) return &charset_tables::kMultiByteSets[i];
  }
  return nullptr;
}

// Bytes of the character that starts with `lead`, in the server's multi-byte sets.
size_t characterLength(std::string_view set, uint8_t lead) {
  if (set == "sjis" || set == "cp932") return (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1;
  if (set == "big5") return lead >= 0xA1 && lead <= 0xF9 ? 2 : 1;
  if (set == "gb2312") return lead >= 0xA1 && lead <= 0xF7 ? 2 : 1;
  if (set == "gbk" || set == "euckr") return lead >= 0x81 && lead <= 0xFE ? 2 : 1;
  if (set == "ujis" || set == "eucjpms") return lead == 0x8F ? 3 : (lead == 0x8E || lead >= 0xA1) && lead != 0xFF ? 2 : 1;
  return 1;
}

// The bytes of a multi-byte character as one number, first byte highest.
uint32_t characterCode(const uint8_t* p, size_t length) { return uint32_t(beN(ByteView(p, length), 0, length)); }

void appendSingleByte(ByteView bytes, const charset_tables::SingleByteSet& set, std::string& out) {
  for (size_t i = 0; i < bytes.size(); ++i) appendUtf8(out, set.codePoints[bytes.data()[i]]);
}

// Where the run of ASCII bytes from `i` ends, looked at a word at a time.
size_t asciiRunEnd(const uint8_t* p, size_t i, size_t n) {
  for (uint64_t word; i + 8 <= n; i += 8) {
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ULL) break;
  }
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

// UTF-8 text; a byte that starts no valid sequence is a character of
// `otherwise` when given, else '?'.
void appendUtf8Text(ByteView bytes, const charset_tables::SingleByteSet* otherwise, std::string& out) {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  // Runs of valid text, ASCII looked at a word at a time, are copied whole.
  size_t start = 0;
  for (size_t i = 0; i < n;) {
    if (const size_t ascii = asciiRunEnd(p, i, n); ascii > i) {
      i = ascii;
      continue;
    }
    if (const size_t len = utf8SequenceLength(p + i, n - i); len != 0) {
      i += len;
      continue;
    }
    out.append(reinterpret_cast<const char*>(p + start), i - start);
    appendUtf8(out, otherwise ? otherwise->codePoints[p[i]] : kReplacement);
    start = ++i;
  }
  out.append(reinterpret_cast<const char*>(p + start), n - start);
}

void appendUcs2(ByteView bytes, std::string& out) {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  for (size_t i = 0; i + 1 < n; i += 2) appendUtf8(out, uint32_t(p[i]) << 8 | p[i + 1]);
  if (n % 2) appendUtf8(out, kReplacement);
}

// UTF-16 of either byte order; a surrogate outside a pair comes out as '?'.
void appendUtf16(ByteView bytes, bool littleEndian, std::string& out) {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  auto unit = [&](size_t i) {
    return littleEndian ? uint32_t(p[i + 1]) << 8 | p[i] : uint32_t(p[i]) << 8 | p[i + 1];
  };
  size_t i = 0;
  while (i + 1 < n) {
    uint32_t u = unit(i);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
      uint32_t low = unit(i);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, u);
  }
  if (i < n) appendUtf8(out, kReplacement);
}

void appendUtf32(ByteView bytes, std::string& out) {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  for (size_t i = 0; i + 3 < n; i += 4) {
    appendUtf8(out, uint32_t(p[i]) << 24 | uint32_t(p[i + 1]) << 16 | uint32_t(p[i + 2]) << 8 | p[i + 3]);
  }
  if (n % 4) appendUtf8(out, kReplacement);
}

}  // namespace

// iconv keeps a conversion state in its descriptor: decoders shared by
// threads take turns with it.
struct TextDecoder::SystemConverter {
  std::mutex mutex;
  iconv_t cd = iconv_t(-1);
  ~SystemConverter() {
    if (cd != iconv_t(-1)) iconv_close(cd);
  }
};

TextDecoder::TextDecoder(std::string_view charsetName) : name_(charsetName) {
  if (isUtf8Charset(charsetName)) {
    kind_ = Kind::Utf8;
  } else if (charsetName == "ucs2") {
    kind_ = Kind::Ucs2;
  } else if (charsetName == "utf16") {
    kind_ = Kind::Utf16;
  } else if (charsetName == "utf16le") {
    kind_ = Kind::Utf16Le;
  } else if (charsetName == "utf32") {
    kind_ = Kind::Utf32;
  } else if (charsetName == "binary") {
    kind_ = Kind::Binary;
  } else if ((singleByte_ = singleByteSet(charsetName))) {
    kind_ = Kind::SingleByte;
  } else if ((multiByte_ = multiByteSet(charsetName))) {
    auto converter = std::make_unique<SystemConverter>();
    converter->cd = iconv_open("UTF-8", multiByte_->systemName);
    if (converter->cd != iconv_t(-1)) {
      kind_ = Kind::MultiByte;
      system_ = std::move(converter);
    }
  }
  if (kind_ == Kind::Fallback) singleByte_ = singleByteSet("latin1");
}

TextDecoder::~TextDecoder() = default;
TextDecoder::TextDecoder(TextDecoder&&) noexcept = default;
TextDecoder& TextDecoder::operator=(TextDecoder&&) noexcept = default;

std::string TextDecoder::decode(ByteView bytes) const {
  std::string out;
  out.reserve(bytes.size());
  decodeAppend(bytes, out);
  return out;
}

void TextDecoder::decodeAppend(ByteView bytes, std::string& out) const {
  switch (kind_) {
    case Kind::Binary: out.append(bytes.chars()); return;
    case Kind::SingleByte: return appendSingleByte(bytes, *singleByte_, out);
    case Kind::Utf8: return appendUtf8Text(bytes, nullptr, out);
    case Kind::Fallback: return appendUtf8Text(bytes, singleByte_, out);
    case Kind::Ucs2: return appendUcs2(bytes, out);
    case Kind::Utf16: return appendUtf16(bytes, false, out);
    case Kind::Utf16Le: return appendUtf16(bytes, true, out);
    case Kind::Utf32: return appendUtf32(bytes, out);
    case Kind::MultiByte: {
      // The system converter decodes the runs between the characters on
      // which the server maps differently.
      const uint8_t* p = bytes.data();
      const size_t n = bytes.size();
      size_t run = 0;
      for (size_t i = 0; i < n;) {
        const size_t length = characterLength(name_, p[i]);
        const uint32_t* mapped = length > 1 && i + length <= n ? overrideOf(characterCode(p + i, length)) : nullptr;
        if (mapped) {
          convertRun(ByteView(p + run, i - run), out);
          appendUtf8(out, *mapped);
          run = i + length;
        }
        i += std::min(length, n - i);
      }
      convertRun(ByteView(p + run, n - run), out);
      return;
    }
  }
}

const uint32_t* TextDecoder::overrideOf(uint32_t code) const {
  const charset_tables::CodeOverride* first = multiByte_->overrides;
  const charset_tables::CodeOverride* last = first + multiByte_->overrideCount;
  auto it = std::lower_bound(first, last, code, [](const auto& o, uint32_t c) { return o.code < c; });
  return it != last && it->code == code ? &it->codePoint : nullptr;
}

void TextDecoder::convertRun(ByteView bytes, std::string& out) const {
  if (bytes.empty()) return;
  const std::lock_guard lock(system_->mutex);
  iconv(system_->cd, nullptr, nullptr, nullptr, nullptr);
  char buffer[4096];
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t r = iconv(system_->cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    if (r == size_t(-1) && errno != E2BIG) {
      // Not a character of the set (or cut short): one '?', go on. The
      // system's converter may say so with nothing left to read.
      appendUtf8(out, kReplacement);
      if (inLeft == 0) break;
      ++in;
      --inLeft;
      iconv(system_->cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

bool isUtf8Charset(std::string_view name) { return name == "utf8mb4" || name == "utf8mb3" || name == "utf8"; }

bool isWideCharset(std::string_view name) {
  return name == "ucs2" || name == "utf16" || name == "utf16le" || name == "utf32";
}

std::string decodeIdentifier(ByteView bytes) { return TextDecoder("").decode(bytes); }

std::string asUtf8mb3(std::string_view utf8) {
  constexpr size_t kLongestUtf8mb3 = 3;
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t n = utf8SequenceLength(utf8.substr(i));
    if (n > kLongestUtf8mb3) out.push_back(char(kReplacement));
    else out.append(utf8.substr(i, n == 0 ? 1 : n));
    i += n == 0 ? 1 : n;
  }
  return out;
}

}  // namespace tavrin
