// One log read to its end through ReadEventLogA in 10000-byte bufferfuls,
// growing the buffer for a record that does not fit, as the gather reads it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/eventlog/eventlog.h"

namespace bench {

struct LogReading {
  uint64_t records = 0;
  uint64_t bytes = 0;
  uint64_t reads = 0;
  double seconds = 0;
};

// A computer's registry naming its System and Application logs under
// C:\WINNT\system32\config, as the reading benchmarks set it up.
inline constexpr const char* kTwoLogRegistry =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
    "\"SystemRoot\"=\"C:\\\\WINNT\"\n\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System]\n"
    "\"File\"=\"%SystemRoot%\\\\system32\\\\config\\\\SysEvent.Evt\"\n\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application]\n"
    "\"File\"=\"%SystemRoot%\\\\system32\\\\config\\\\AppEvent.Evt\"\n\n";

// Ends the process with 2 when the log cannot be opened. `each`, when
// given, sees every record read.
inline LogReading ReadWholeLog(const char* computer, const char* log,
                               const std::function<void(const EVENTLOGRECORD&)>& each = {}) {
  LogReading result;
  const auto start = std::chrono::steady_clock::now();
  HANDLE handle = OpenEventLogA(computer, log);
  if (handle == nullptr) std::exit(2);
  std::vector<uint8_t> buffer(10000);
  while (true) {
    DWORD read = 0, needed = 0;
    ++result.reads;
    if (!ReadEventLogA(handle, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &read, &needed)) {
      if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(needed);
        continue;
      }
      break;
    }
    for (DWORD at = 0; at < read;) {
      DWORD length;
      std::memcpy(&length, &buffer[at], 4);
      if (each) each(*reinterpret_cast<const EVENTLOGRECORD*>(&buffer[at]));
      at += length;
      ++result.records;
    }
    result.bytes += read;
  }
  CloseEventLog(handle);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

}  // namespace bench
