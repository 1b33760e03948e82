// Reading speed and memory of the event log service over a generated log.
//
// Writes a 100,000-record System log (and a 10,000-record Application log
// for comparison) into a throwaway machine folder, then reads each through
// OpenEventLogA/ReadEventLogA as the gatherer does, 10000-byte buffers, and
// prints records per second and the peak resident memory of each read. The
// peak is reset before each read, so the two peaks side by side show that
// memory does not grow with the log. Usage: evt_read_bench [records]
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_memory.h"
#include "log_reading.h"
#include "platform/base/last_error.h"
#include "platform/eventlog/eventlog.h"
#include "platform/eventlog/evt_file.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::evt::EventRecordData;

EventRecordData Sample(uint32_t i) {
  EventRecordData r;
  r.timeGenerated = 1300000000 + i;
  r.timeWritten = r.timeGenerated;
  r.eventId = 0xC0000000u | (i % 5000);
  r.eventType = EVENTLOG_ERROR_TYPE;
  r.eventCategory = static_cast<uint16_t>(i % 7);
  r.source = "Service Control Manager";
  r.computer = "PDC01";
  r.strings = {"Computer Browser",
               "The service terminated with service-specific error " + std::to_string(i)};
  if (i % 3 == 0) r.sid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  if (i % 4 == 0) r.data.assign(24, static_cast<uint8_t>(i));
  return r;
}

double Generate(const std::string& path, uint32_t count) {
  const auto start = Clock::now();
  if (platform::evt::CreateLog(path, 0x7FFF0000u) != 0) std::exit(1);
  std::vector<EventRecordData> batch;
  for (uint32_t i = 1; i <= count;) {
    batch.clear();
    for (uint32_t j = 0; j < 1000 && i <= count; ++j, ++i) batch.push_back(Sample(i));
    if (platform::evt::AppendRecords(path, batch) != 0) std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Read(const char* log, uint32_t expected) {
  bench::ResetPeak();
  const long before = bench::StatusKib("VmRSS");
  const bench::LogReading reading = bench::ReadWholeLog(nullptr, log);
  const uint64_t records = reading.records;
  const uint64_t bytes = reading.bytes;
  const double seconds = reading.seconds;
  std::printf(
      "%-12s %8llu records  %6.3f s  %10.0f records/s  %6.1f MB/s  "
      "RSS before %ld kB, peak while reading %ld kB%s\n",
      log, static_cast<unsigned long long>(records), seconds, records / seconds,
      bytes / seconds / 1e6, before, bench::StatusKib("VmHWM"),
      records == expected ? "" : "  (COUNT WRONG)");
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t count = argc > 1 ? static_cast<uint32_t>(std::atol(argv[1])) : 100000;
  std::string folder = (std::filesystem::temp_directory_path() / "corvid-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return 1;
  ::setenv("CORVID_HOME", folder.c_str(), 1);
  ::unsetenv("CORVID_NETWORK");
  const std::string config = folder + "/drives/c/WINNT/system32/config";
  std::filesystem::create_directories(config);
  std::ofstream(folder + "/registry.reg")
      << bench::kTwoLogRegistry;

  const double small = Generate(config + "/AppEvent.Evt", count / 10);
  const double large = Generate(config + "/SysEvent.Evt", count);
  std::printf("written: %u records in %.3f s (%.0f records/s), %u in %.3f s; log of %.1f MB\n",
              count, large, count / large, count / 10, small,
              std::filesystem::file_size(config + "/SysEvent.Evt") / 1e6);
  Read("Application", count / 10);
  Read("System", count);
  std::filesystem::remove_all(folder);
  return 0;
}
