#include "platform/accounts_time/time_conversion.h"

#include <cstdint>
#include <ctime>

#include "platform/accounts_time/clock.h"
#include "platform/base/last_error.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerMillisecond = 10000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600;

// Days from 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's
// well-known civil-date arithmetic).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

int64_t Ticks(const FILETIME& t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

FILETIME FromTicks(int64_t ticks) {
  const auto u = static_cast<uint64_t>(ticks);
  return FILETIME{static_cast<DWORD>(u & 0xFFFFFFFF), static_cast<DWORD>(u >> 32)};
}

// Seconds since 1970 as a UTC calendar time, milliseconds kept.
SYSTEMTIME FromUnix(int64_t seconds, WORD milliseconds) {
  int64_t days = seconds / 86400;
  int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Record after record falls on the same day as the one before: its date
  // is worked out once.
  thread_local int64_t lastDays = INT64_MIN;
  thread_local SYSTEMTIME date{};
  if (days != lastDays) {
    int64_t y;
    unsigned m;
    unsigned d;
    CivilFromDays(days, y, m, d);
    date.wYear = static_cast<WORD>(y);
    date.wMonth = static_cast<WORD>(m);
    date.wDay = static_cast<WORD>(d);
    date.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    lastDays = days;
  }
  SYSTEMTIME st = date;
  st.wHour = static_cast<WORD>(rest / 3600);
  st.wMinute = static_cast<WORD>(rest / 60 % 60);
  st.wSecond = static_cast<WORD>(rest % 60);
  st.wMilliseconds = milliseconds;
  return st;
}

}  // namespace

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft) {
  if (st == nullptr || ft == nullptr || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 ||
      st->wMonth > 12 || st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) ||
      st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The count of days of the date before, kept as FromUnix keeps its date.
  thread_local WORD lastDate[3] = {};
  thread_local int64_t days = 0;
  if (st->wYear != lastDate[0] || st->wMonth != lastDate[1] || st->wDay != lastDate[2]) {
    days = DaysFromCivil(st->wYear, st->wMonth, st->wDay);
    lastDate[0] = st->wYear;
    lastDate[1] = st->wMonth;
    lastDate[2] = st->wDay;
  }
  const int64_t seconds = days * 86400 + st->wHour * 3600 + st->wMinute * 60 + st->wSecond;
  *ft = FromTicks((seconds + kEpochDifference) * kTicksPerSecond +
                  st->wMilliseconds * kTicksPerMillisecond);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st) {
  if (ft == nullptr || st == nullptr || Ticks(*ft) < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const int64_t ticks = Ticks(*ft);
  *st = FromUnix(ticks / kTicksPerSecond - kEpochDifference,
                 static_cast<WORD>(ticks % kTicksPerSecond / kTicksPerMillisecond));
  return TRUE;
}

BOOL SystemTimeToTzSpecificLocalTime(const void* timeZone, const SYSTEMTIME* universal,
                                     SYSTEMTIME* local) {
  FILETIME ft;
  if (timeZone != nullptr || local == nullptr || !SystemTimeToFileTime(universal, &ft)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const int64_t seconds = Ticks(ft) / kTicksPerSecond - kEpochDifference;
  // The zone's rule for that very date: localtime's offset for the instant.
  *local = FromUnix(seconds + platform::LocalOffset(static_cast<std::time_t>(seconds)), universal->wMilliseconds);
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, FILETIME* fileTime) {
  if (localFileTime == nullptr || fileTime == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The offset in force now, as Windows applies it, not the date's own.
  const std::tm now = platform::LocalTime(platform::CurrentTime());
  *fileTime = FromTicks(Ticks(*localFileTime) - static_cast<int64_t>(now.tm_gmtoff) * kTicksPerSecond);
  return TRUE;
}
