#include "render/value_text.h"

#include "base/text.h"
#include "render/number_text.h"
#include "render/temporal_text.h"
#include "tabledef/charset.h"
#include "tabledef/sql_text.h"

namespace tavrin {

namespace {

constexpr size_t kBinaryDisplayLimit = 100;

void appendHex(std::string& out, ByteView bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < bytes.size(); ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
  }
}

void appendBits(std::string& out, uint64_t bits, uint32_t width) {
  for (uint32_t i = width; i > 0; --i) out.push_back((bits >> (i - 1)) & 1 ? '1' : '0');
}

void appendTimestampText(std::string& out, const Value& v, const ColumnFormat& f, const TimeZone& zone) {
  CalendarTime t;
  if (v.integer != 0) {
    t = zone.fromUtc(v.integer);
    t.microsecond = v.time.microsecond;
  }
  appendDateTime(out, t, f.digits);
}

// Numbers, dates and times: the same text in every form.
void appendPlainText(std::string& out, const Value& v, const ColumnFormat& f, const TimeZone& zone) {
  const size_t start = out.size();
  switch (v.kind) {
    case ValueKind::Signed: appendInteger(out, v.integer); break;
    case ValueKind::Unsigned: appendUnsigned(out, v.unsignedInteger); break;
    case ValueKind::Float: appendReal(out, v.real, true, f.scale); break;
    case ValueKind::Double: appendReal(out, v.real, false, f.scale); break;
    case ValueKind::Number: out += v.text; break;
    case ValueKind::Year: appendYear(out, uint32_t(v.unsignedInteger), f.twoDigitYear); break;
    case ValueKind::Date: appendDate(out, v.time); break;
    case ValueKind::Time: appendTime(out, v.time, f.digits); break;
    case ValueKind::DateTime: appendDateTime(out, v.time, f.digits); break;
    case ValueKind::Timestamp: appendTimestampText(out, v, f, zone); break;
    case ValueKind::Bits: appendBits(out, v.unsignedInteger, f.bits); break;
    default: break;
  }
  if (f.zerofillWidth) zeroFill(out, start, f.zerofillWidth);
}

bool isLarge(const Value& v, const ColumnFormat& f, const TextForm& form) {
  return !form.exportForm && f.shape == ColumnShape::Blob && form.largeValueLimit &&
         v.stored.size() >= form.largeValueLimit;
}

// Text goes into a script as UTF-8 (the script says SET NAMES utf8mb4) where
// that gives the stored bytes back exactly: the UTF-8 sets, and ASCII in the
// sets that hold it as is. Anything else goes as its stored bytes in hex
// with the column's character set, so that no byte is changed on the way.
bool textGoesAsUtf8(const Value& v, const ColumnFormat& f) {
  if (!f.textIsStoredBytes || f.charset.empty()) return true;
  if (f.encoding == ColumnFormat::Encoding::Utf8) return isValidUtf8(v.stored.chars());
  if (f.encoding == ColumnFormat::Encoding::Wide) return false;
  for (size_t i = 0; i < v.stored.size(); ++i) {
    if (v.stored[i] >= 0x80) return false;
  }
  return true;
}

}  // namespace

void appendValueText(std::string& out, const Value& v, const ColumnFormat& f, const TextForm& form) {
  switch (v.kind) {
    case ValueKind::Null: out += kNullText; return;
    case ValueKind::External: out += kExternalBlobMarker; return;
    case ValueKind::Text:
      if (isLarge(v, f, form)) out += kLargeBlobMarker;
      else out += v.text;
      return;
    case ValueKind::Binary:
      if (isLarge(v, f, form)) {
        out += kLargeBlobMarker;
      } else if (!form.exportForm && f.shape == ColumnShape::String && v.stored.size() >= kBinaryDisplayLimit) {
        out += kBinaryMarker;
      } else if (!v.stored.empty()) {
        out += "0x";
        appendHex(out, v.stored);
      }
      return;
    case ValueKind::Geometry:
      if (!form.exportForm) {
        out += kSpatialMarker;
      } else if (!v.stored.empty()) {
        out += "0x";
        appendHex(out, v.stored);
      }
      return;
    default: appendPlainText(out, v, f, form.zone); return;
  }
}

bool appendSqlLiteral(std::string& out, const Value& v, const ColumnFormat& f, const TimeZone& zone) {
  switch (v.kind) {
    case ValueKind::Null: out += "NULL"; return true;
    case ValueKind::External: return false;
    case ValueKind::Text:
      if (textGoesAsUtf8(v, f)) {
        appendQuotedLiteral(out, v.text);
      } else {
        out += "_" + f.charset + " X'";
        appendHex(out, v.stored);
        out.push_back('\'');
      }
      return true;
    case ValueKind::Binary:
    case ValueKind::Geometry:
      out += "X'";
      appendHex(out, v.stored);
      out.push_back('\'');
      return true;
    case ValueKind::Bits:
      out += "b'";
      appendBits(out, v.unsignedInteger, f.bits);
      out.push_back('\'');
      return true;
    case ValueKind::Date:
    case ValueKind::Time:
    case ValueKind::DateTime:
    case ValueKind::Timestamp:
    case ValueKind::Year: {
      out.push_back('\'');
      appendPlainText(out, v, f, zone);
      out.push_back('\'');
      return true;
    }
    case ValueKind::Float:
      // A FLOAT with a fixed number of decimals is stored rounded to them,
      // and its text gives it back; any other needs more digits than it shows.
      if (f.scale >= kNotFixedDecimals) {
        appendFloatExactly(out, float(v.real));
        return true;
      }
      appendPlainText(out, v, f, zone);
      return true;
    default: appendPlainText(out, v, f, zone); return true;
  }
}

}  // namespace tavrin
