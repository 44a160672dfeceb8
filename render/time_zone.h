#pragma once
// The time zone TIMESTAMP values are shown in. The server keeps them as
// seconds since 1970 UTC and shows them in its session's zone; the tool
// shows them in the zone it is given, by default the local one.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "render/temporal_text.h"

namespace tavrin {

class TimeZone {
 public:
  // The zone of this machine as the C library has it (TZ, else /etc/localtime).
  TimeZone() = default;
  static TimeZone local() { return TimeZone(); }
  static TimeZone utc();
  // "UTC", a fixed offset such as "+03:00" or "-05:30", or an IANA name such
  // as "Europe/Berlin" (read from the system's zone files).
  static Result<TimeZone> named(std::string_view name);

  // The calendar time of a moment, in this zone.
  CalendarTime fromUtc(int64_t seconds) const;
  const std::string& name() const { return name_; }
  // "+03:00" for UTC and fixed offsets; empty for other zones.
  std::string fixedOffsetText() const;

  // A zone's shifts from UTC: before the first transition `initialOffset`,
  // from each transition on its offset.
  struct Rules {
    int32_t initialOffset = 0;
    std::vector<int64_t> transitions;  // ascending
    std::vector<int32_t> offsets;      // seconds east of UTC, one per transition
  };

 private:
  enum class Kind { Local, Rules };
  Kind kind_ = Kind::Local;
  std::string name_ = "local";
  std::shared_ptr<const Rules> rules_;
};

// The rules of a zone file (TZif); fails with a reason on damage.
Result<TimeZone::Rules> parseZoneFile(ByteView file);

}  // namespace tavrin
