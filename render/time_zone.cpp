#include "render/time_zone.h"

#include <algorithm>
#include <ctime>

#include "base/file.h"
#include "base/text.h"

namespace tavrin {

namespace {

constexpr const char* kZoneFolder = "/usr/share/zoneinfo";
constexpr uint64_t kMaxZoneFile = 1u << 20;
constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(int64_t days, CalendarTime& t) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  t.year = uint32_t(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  t.month = uint32_t(month);
  t.day = uint32_t(day);
}

CalendarTime calendarOf(int64_t seconds) {
  CalendarTime t;
  const int64_t days = (seconds >= 0 ? seconds : seconds - (kSecondsPerDay - 1)) / kSecondsPerDay;
  const int64_t ofDay = seconds - days * kSecondsPerDay;
  civilFromDays(days, t);
  t.hour = uint32_t(ofDay / 3600);
  t.minute = uint32_t(ofDay / 60 % 60);
  t.second = uint32_t(ofDay % 60);
  return t;
}

// "+03:00", "-05:30", "+0300": seconds east of UTC.
bool parseOffset(std::string_view text, int32_t& offset) {
  if (text.size() < 3 || (text[0] != '+' && text[0] != '-')) return false;
  std::string digits;
  for (char c : text.substr(1)) {
    if (c == ':') continue;
    if (c < '0' || c > '9') return false;
    digits.push_back(c);
  }
  if (digits.size() != 2 && digits.size() != 4) return false;
  const int hours = std::stoi(digits.substr(0, 2)), minutes = digits.size() == 4 ? std::stoi(digits.substr(2)) : 0;
  if (hours > 14 || minutes > 59) return false;
  offset = (hours * 3600 + minutes * 60) * (text[0] == '-' ? -1 : 1);
  return true;
}

// A zone file names a zone by letters, digits and "/_-+" only, so that no
// name leaves the zone folder.
bool isZoneName(std::string_view name) {
  if (name.empty() || name[0] == '/' || name.find("..") != std::string_view::npos) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '_' ||
           c == '-' || c == '+';
  });
}

}  // namespace

Result<TimeZone::Rules> parseZoneFile(ByteView file) {
  // Header: "TZif", version, 15 reserved bytes, then six 4-byte counts.
  constexpr size_t kHeader = 44;
  if (!file.has(0, kHeader) || file.sub(0, 4).chars() != "TZif") return damaged("not a time zone file");
  auto counts = [&](size_t at, uint32_t c[6]) {
    for (int i = 0; i < 6; ++i) c[i] = be32(file, at + 20 + 4 * size_t(i));
  };
  uint32_t c[6];  // UT/local indicators, standard/wall indicators, leap seconds, transitions, types, name bytes
  counts(0, c);
  size_t at = kHeader;
  size_t timeBytes = 4;
  if (file[4] >= '2') {
    // Skip the 32-bit block to the 64-bit one of version 2 and later.
    at += size_t(c[3]) * 5 + size_t(c[4]) * 6 + c[5] + size_t(c[2]) * 8 + c[1] + c[0];
    if (!file.has(at, kHeader) || file.sub(at, 4).chars() != "TZif") return damaged("the 64-bit part is missing");
    counts(at, c);
    at += kHeader;
    timeBytes = 8;
  }
  const uint32_t transitions = c[3], types = c[4];
  if (types == 0 || !file.has(at, size_t(transitions) * (timeBytes + 1) + size_t(types) * 6)) {
    return damaged("the time zone file is cut short");
  }
  TimeZone::Rules rules;
  const size_t indices = at + transitions * timeBytes, typeTable = indices + transitions;
  auto offsetOf = [&](uint32_t type) { return int32_t(be32(file, typeTable + 6 * size_t(type))); };
  for (uint32_t i = 0; i < transitions; ++i) {
    const size_t t = at + i * timeBytes;
    rules.transitions.push_back(timeBytes == 8 ? int64_t(be64(file, t)) : int64_t(int32_t(be32(file, t))));
    const uint32_t type = file[indices + i];
    if (type >= types) return damaged("a transition names a type the file does not have");
    rules.offsets.push_back(offsetOf(type));
  }
  if (!std::is_sorted(rules.transitions.begin(), rules.transitions.end())) return damaged("transitions out of order");
  rules.initialOffset = offsetOf(0);
  return rules;
}

TimeZone TimeZone::utc() {
  TimeZone zone;
  zone.kind_ = Kind::Rules;
  zone.name_ = "UTC";
  zone.rules_ = std::make_shared<const Rules>();
  return zone;
}

Result<TimeZone> TimeZone::named(std::string_view name) {
  TimeZone zone;
  zone.kind_ = Kind::Rules;
  zone.name_ = std::string(name);
  Rules fixed;
  if (name == "UTC" || name == "Z" || parseOffset(name, fixed.initialOffset)) {
    zone.rules_ = std::make_shared<const Rules>(std::move(fixed));
    return zone;
  }
  if (!isZoneName(name)) return damaged("unknown time zone " + std::string(name) + ": give an IANA name or +HH:MM");
  auto bytes = readSmallFile(std::string(kZoneFolder) + "/" + std::string(name), kMaxZoneFile);
  if (!bytes) return bytes.failure().prefixed("unknown time zone " + std::string(name) + ": ");
  auto rules = parseZoneFile(ByteView(*bytes));
  if (!rules) return rules.failure().prefixed("the time zone file of " + std::string(name) + ": ");
  zone.rules_ = std::make_shared<const Rules>(std::move(*rules));
  return zone;
}

std::string TimeZone::fixedOffsetText() const {
  if (kind_ != Kind::Rules || !rules_->transitions.empty()) return {};
  const int32_t offset = rules_->initialOffset;
  const int32_t minutes = (offset < 0 ? -offset : offset) / 60;
  std::string text = offset < 0 ? "-" : "+";
  text += std::to_string(minutes / 60 / 10) + std::to_string(minutes / 60 % 10) + ":" + std::to_string(minutes % 60 / 10) +
          std::to_string(minutes % 10);
  return text;
}

CalendarTime TimeZone::fromUtc(int64_t seconds) const {
  if (kind_ == Kind::Local) {
    const std::time_t when = std::time_t(seconds);
    std::tm local{};
    CalendarTime t;
    if (!localtime_r(&when, &local)) return calendarOf(seconds);
    t.year = uint32_t(local.tm_year + 1900);
    t.month = uint32_t(local.tm_mon + 1);
    t.day = uint32_t(local.tm_mday);
    t.hour = uint32_t(local.tm_hour);
    t.minute = uint32_t(local.tm_min);
    t.second = uint32_t(local.tm_sec);
    return t;
  }
  const Rules& r = *rules_;
  const auto after = std::upper_bound(r.transitions.begin(), r.transitions.end(), seconds);
  const int32_t offset = after == r.transitions.begin() ? r.initialOffset : r.offsets[size_t(after - r.transitions.begin() - 1)];
  return calendarOf(seconds + offset);
}

}  // namespace tavrin
