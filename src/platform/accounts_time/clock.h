// Accounts and time. For now: the calendar clock, injectable so that a test
// can fix "now"; conversions to local time follow the host's time zone
// database, with TZ honoured.
#pragma once

#include <ctime>

#include "platform/base/service.h"

namespace platform {

class ClockService {
 public:
  virtual ~ClockService() = default;
  // Seconds since 1970-01-01 UTC.
  virtual std::time_t Now() = 0;
  static ClockService& Default();
};

// A clock that stands still, for tests and reproducible output.
class FixedClock final : public ClockService {
 public:
  explicit FixedClock(std::time_t now) : now_(now) {}
  std::time_t Now() override { return now_; }

 private:
  std::time_t now_;
};

std::time_t CurrentTime();
// The local broken-down time of `t` in the host's zone (TZ honoured).
std::tm LocalTime(std::time_t t);
// Seconds east of UTC in force at `t`: LocalTime(t).tm_gmtoff, remembered
// for the quarter hour around `t` when the offset is the same at both of
// its ends (zones change offset on whole quarter hours, and never twice in
// one).
long LocalOffset(std::time_t t);

}  // namespace platform
