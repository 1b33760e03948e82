#include "platform/accounts_time/clock.h"

#include <cstdlib>
#include <string>

#include "platform/base/environment.h"

namespace platform {
namespace {

class SystemClock final : public ClockService {
 public:
  std::time_t Now() override { return std::time(nullptr); }
};

}  // namespace

ClockService& ClockService::Default() {
  static SystemClock* clock = new SystemClock();
  return *clock;
}

std::time_t CurrentTime() { return Slot<ClockService>::Current().Now(); }

namespace {

// The zone's rules are read again (tzset) only when TZ is not what this
// thread saw last: tzset reads /etc/localtime at every call, a stat for
// every record of a gather, and localtime_r need not notice a changed TZ by
// itself. A change of /etc/localtime itself is seen by the next process, as
// a running Windows program keeps its zone until it is told. True when the
// zone changed.
bool FollowZone() {
  thread_local bool known = false;
  thread_local std::string seen;
  thread_local uint64_t stamp = 0;
  const uint64_t now = EnvironmentStamp();
  if (known && now == stamp) return false;
  stamp = now;
  const char* tz = std::getenv("TZ");
  if (known && (tz == nullptr ? seen.empty() : (!seen.empty() && seen.compare(1, std::string::npos, tz) == 0))) {
    return false;
  }
  tzset();
  seen = tz != nullptr ? std::string(1, '=') + tz : std::string();
  known = true;
  return true;
}

}  // namespace

std::tm LocalTime(std::time_t t) {
  FollowZone();
  std::tm result{};
  localtime_r(&t, &result);
  return result;
}

long LocalOffset(std::time_t t) {
  constexpr std::time_t kQuarter = 900;
  thread_local std::time_t bucket = -1;
  thread_local long offset = 0;
  const bool changed = FollowZone();
  const std::time_t here = t - ((t % kQuarter) + kQuarter) % kQuarter;
  if (!changed && here == bucket) return offset;
  std::tm first{};
  std::tm last{};
  localtime_r(&here, &first);
  const std::time_t end = here + kQuarter - 1;
  localtime_r(&end, &last);
  if (first.tm_gmtoff != last.tm_gmtoff) {
    bucket = -1;
    std::tm exact{};
    localtime_r(&t, &exact);
    return exact.tm_gmtoff;
  }
  bucket = here;
  offset = first.tm_gmtoff;
  return offset;
}

}  // namespace platform
