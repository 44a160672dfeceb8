#include "tabledef/charset.h"

#include <cerrno>
#include <vector>

#include <iconv.h>

namespace tavrin {

namespace {

// What the server shows for bytes that are not a character of their set.
constexpr uint32_t kReplacement = uint32_t('?');

// The server's latin1 is Windows-1252, with the five code points that 1252
// leaves undefined mapped to the C1 controls of the same value.
constexpr uint16_t kLatin1High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t latin1CodePoint(uint8_t b) {
  return (b >= 0x80 && b < 0xA0) ? kLatin1High[b - 0x80] : b;
}

// Length of the valid UTF-8 sequence at `p`, or 0 when it is not one.
size_t utf8SequenceLength(const uint8_t* p, size_t left) {
  uint8_t b = p[0];
  if (b < 0x80) return 1;
  size_t n;
  uint32_t min;
  if ((b & 0xE0) == 0xC0) { n = 2; min = 0x80; }
  else if ((b & 0xF0) == 0xE0) { n = 3; min = 0x800; }
  else if ((b & 0xF8) == 0xF0) { n = 4; min = 0x10000; }
  else return 0;
  if (left < n) return 0;
  uint32_t cp = b & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

const char* systemCharsetName(std::string_view name) {
  struct Pair { const char* server; const char* system; };
  static constexpr Pair kNames[] = {
      {"big5", "BIG5"},          {"dec8", "DEC-MCS"},         {"cp850", "CP850"},
      {"hp8", "HP-ROMAN8"},      {"koi8r", "KOI8-R"},         {"latin2", "ISO-8859-2"},
      {"swe7", "ISO646-SE"},     {"ujis", "EUC-JP"},          {"sjis", "SHIFT_JIS"},
      {"hebrew", "ISO-8859-8"},  {"tis620", "TIS-620"},       {"euckr", "EUC-KR"},
      {"koi8u", "KOI8-U"},       {"gb2312", "EUC-CN"},        {"greek", "ISO-8859-7"},
      {"cp1250", "CP1250"},      {"gbk", "GBK"},              {"latin5", "ISO-8859-9"},
      {"armscii8", "ARMSCII-8"}, {"cp866", "CP866"},          {"macce", "MAC-CENTRALEUROPE"},
      {"macroman", "MACINTOSH"}, {"cp852", "CP852"},          {"latin7", "ISO-8859-13"},
      {"cp1251", "CP1251"},      {"cp1256", "CP1256"},        {"cp1257", "CP1257"},
      {"geostd8", "GEORGIAN-PS"}, {"cp932", "CP932"},         {"eucjpms", "EUC-JP-MS"},
      {"gb18030", "GB18030"},
  };
  for (const Pair& p : kNames) {
    if (name == p.server) return p.system;
  }
  return nullptr;
}

}  // namespace

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

struct TextDecoder::SystemConverter {
  iconv_t cd = iconv_t(-1);
  ~SystemConverter() {
    if (cd != iconv_t(-1)) iconv_close(cd);
  }
};

TextDecoder::TextDecoder(std::string_view charsetName) : name_(charsetName) {
  if (charsetName == "utf8mb4" || charsetName == "utf8mb3" || charsetName == "utf8") {
    kind_ = Kind::Utf8;
  } else if (charsetName == "latin1") {
    kind_ = Kind::Latin1;
  } else if (charsetName == "ascii") {
    kind_ = Kind::Ascii;
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
  } else if (const char* system = systemCharsetName(charsetName)) {
    auto converter = std::make_unique<SystemConverter>();
    converter->cd = iconv_open("UTF-8", system);
    if (converter->cd != iconv_t(-1)) {
      kind_ = Kind::System;
      system_ = std::move(converter);
    }
  }
}

TextDecoder::~TextDecoder() = default;
TextDecoder::TextDecoder(TextDecoder&&) noexcept = default;
TextDecoder& TextDecoder::operator=(TextDecoder&&) noexcept = default;

std::string TextDecoder::decode(ByteView bytes) const {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  std::string out;
  out.reserve(n);
  switch (kind_) {
    case Kind::Binary:
      out.assign(bytes.chars());
      return out;
    case Kind::Latin1:
      for (size_t i = 0; i < n; ++i) appendUtf8(out, latin1CodePoint(p[i]));
      return out;
    case Kind::Ascii:
      for (size_t i = 0; i < n; ++i) appendUtf8(out, p[i] < 0x80 ? p[i] : kReplacement);
      return out;
    case Kind::Utf8:
    case Kind::Fallback:
      for (size_t i = 0; i < n;) {
        size_t len = utf8SequenceLength(p + i, n - i);
        if (len == 0) {
          appendUtf8(out, kind_ == Kind::Utf8 ? kReplacement : latin1CodePoint(p[i]));
          ++i;
        } else {
          out.append(reinterpret_cast<const char*>(p + i), len);
          i += len;
        }
      }
      return out;
    case Kind::Ucs2:
      for (size_t i = 0; i + 1 < n; i += 2) appendUtf8(out, uint32_t(p[i]) << 8 | p[i + 1]);
      if (n % 2) appendUtf8(out, kReplacement);
      return out;
    case Kind::Utf16:
    case Kind::Utf16Le: {
      const bool little = kind_ == Kind::Utf16Le;
      auto unit = [&](size_t i) {
        return little ? uint32_t(p[i + 1]) << 8 | p[i] : uint32_t(p[i]) << 8 | p[i + 1];
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
      return out;
    }
    case Kind::Utf32:
      for (size_t i = 0; i + 3 < n; i += 4) {
        appendUtf8(out, uint32_t(p[i]) << 24 | uint32_t(p[i + 1]) << 16 |
                            uint32_t(p[i + 2]) << 8 | p[i + 3]);
      }
      if (n % 4) appendUtf8(out, kReplacement);
      return out;
    case Kind::System: {
      iconv(system_->cd, nullptr, nullptr, nullptr, nullptr);
      std::vector<char> buffer(n * 4 + 16);
      char* in = const_cast<char*>(reinterpret_cast<const char*>(p));
      size_t inLeft = n;
      while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        size_t r = iconv(system_->cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (r == size_t(-1) && errno != E2BIG) {
          // Not a character of the set (or cut short): one replacement, go on.
          appendUtf8(out, kReplacement);
          ++in;
          --inLeft;
          iconv(system_->cd, nullptr, nullptr, nullptr, nullptr);
        }
      }
      return out;
    }
  }
  return out;
}

std::string decodeIdentifier(ByteView bytes) { return TextDecoder("").decode(bytes); }

}  // namespace tavrin
