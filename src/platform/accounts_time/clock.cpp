#include "platform/accounts_time/clock.h"

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

std::tm LocalTime(std::time_t t) {
  std::tm result{};
  tzset();  // localtime_r need not notice a changed TZ by itself
  localtime_r(&t, &result);
  return result;
}

}  // namespace platform
