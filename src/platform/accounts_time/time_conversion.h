// The four time conversions of Win32, on the host's time zone database (TZ
// honoured). "Now", for the offset in force now, comes from the clock
// service, so a test can place itself in winter or summer.
#pragma once

#include "platform/base/win32.h"

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

// FALSE with ERROR_INVALID_PARAMETER for a date outside 1601..30827 or
// fields out of range.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
// Only the machine's own zone (a null zone) is supported: the offset is the
// one the zone's rules give for that date.
BOOL SystemTimeToTzSpecificLocalTime(const void* timeZone, const SYSTEMTIME* universalTime,
                                     SYSTEMTIME* localTime);
// The offset in force now, whatever the date of `localFileTime`.
BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, FILETIME* fileTime);
