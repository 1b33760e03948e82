// Reading event logs over SMB from a loopback Samba against the folder
// network, for the same records.
//
// Starts Samba's smbd on 127.0.0.6 (as root, as the tests do, in a network
// of its own), gives its logs room for 256 MB, writes the records with
// eventlogadm into its Application log (count/10) and System log (count),
// and the same records into .evt files of a folder network;
// then reads each log through OpenEventLogA/ReadEventLogA with the
// reader's 10000-byte buffers and prints records per second for both
// networks, the bytes received and the round trips per ReadEventLogA over
// SMB, and the peak resident memory of each read (reset before each, so the
// small and the large log side by side show whether memory grows with the
// log). Usage: smb_read_bench [records], 1500 by default
#include <stdlib.h>

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
#include "platform/eventlog/live_eventlog.h"
#include "support/samba_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::evt::EventRecordData;

constexpr const char* kComputer = "BENCHPDC";

EventRecordData Sample(uint32_t i, uint32_t now) {
  EventRecordData r;
  r.timeGenerated = now - 86400 + i / 4;
  r.timeWritten = r.timeGenerated;
  r.eventId = 7036;
  r.eventType = EVENTLOG_INFORMATION_TYPE;
  r.eventCategory = static_cast<uint16_t>(i % 7);
  r.source = "Service Control Manager";
  r.computer = kComputer;
  r.strings = {"Computer Browser", "The service terminated with service-specific error " + std::to_string(i)};
  return r;
}

struct Reading : bench::LogReading {
  long peakKib = 0;
};

Reading Read(const char* log) {
  bench::ResetPeak();
  Reading result;
  static_cast<bench::LogReading&>(result) = bench::ReadWholeLog(kComputer, log);
  result.peakKib = bench::StatusKib("VmHWM");
  return result;
}

void Report(const char* network, const char* log, const Reading& r, uint32_t expected) {
  std::printf("%-7s %-12s %7llu records  %6.3f s  %9.0f records/s  peak RSS %6ld kB%s\n", network, log,
              static_cast<unsigned long long>(r.records), r.seconds, r.records / r.seconds, r.peakKib,
              r.records == expected ? "" : "  (COUNT WRONG)");
}

}  // namespace

int main(int argc, char** argv) {
  // eventlogadm writes some 100 records a second: 30 000 take five minutes.
  const uint32_t count = argc > 1 ? static_cast<uint32_t>(std::atol(argv[1])) : 1500;
  const auto now = static_cast<uint32_t>(::time(nullptr));
  testing_support::SambaComputer server(kComputer, "127.0.0.6");
  if (!server.ok()) {
    std::fprintf(stderr, "no Samba server: %s\n", server.why().c_str());
    return 1;
  }
  std::string folder = (std::filesystem::temp_directory_path() / "corvid-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return 1;
  ::setenv("CORVID_HOME", folder.c_str(), 1);

  // The folder network: the computer's registry and its two logs.
  const std::string network = folder + "/network";
  const std::string config = network + "/" + kComputer + "/C$/WINNT/system32/config";
  std::filesystem::create_directories(config);
  std::ofstream(network + "/" + kComputer + "/registry.reg")
      << bench::kTwoLogRegistry;

  const struct {
    const char* log;
    const char* file;
    uint32_t records;
  } kLogs[] = {{"Application", "/AppEvent.Evt", count / 10}, {"System", "/SysEvent.Evt", count}};
  for (const auto& l : kLogs) {
    if (!server.SetLogSize(l.log, 0x10000000)) {
      std::fprintf(stderr, "cannot make room in the %s log\n", l.log);
      return 1;
    }
    std::vector<EventRecordData> records;
    for (uint32_t i = 0; i < l.records; ++i) records.push_back(Sample(i, now));
    if (platform::evt::CreateLog(config + l.file, 0x7FFF0000u) != 0 ||
        platform::evt::AppendRecords(config + l.file, records) != 0 || !server.Write(l.log, records)) {
      std::fprintf(stderr, "cannot write the %s logs\n", l.log);
      return 1;
    }
  }
  std::printf("%u and %u records, as the server counts them: %ld and %ld\n", count / 10, count,
              server.RecordCount("Application"), server.RecordCount("System"));

  ::setenv("CORVID_NETWORK", network.c_str(), 1);
  for (const auto& l : kLogs) Report("folder", l.log, Read(l.log), l.records);

  ::setenv("CORVID_NETWORK", "smb:", 1);
  ::setenv("CORVID_SMB_AUTH", server.authFile().c_str(), 1);
  std::ofstream(folder + "/lmhosts") << server.address() << " " << kComputer << "\n";
  for (const auto& l : kLogs) {
    const platform::LiveTraffic before = platform::LiveEventLogTraffic();
    const Reading r = Read(l.log);
    const platform::LiveTraffic after = platform::LiveEventLogTraffic();
    Report("smb", l.log, r, l.records);
    std::printf("        per ReadEventLogA: %.0f bytes received, %.3f round trips (%llu calls, %.1f MB, for %.1f MB "
                "of records)\n",
                static_cast<double>(after.bytes - before.bytes) / r.reads,
                static_cast<double>(after.calls - before.calls) / r.reads,
                static_cast<unsigned long long>(after.calls - before.calls), (after.bytes - before.bytes) / 1e6,
                r.bytes / 1e6);
  }
  std::filesystem::remove_all(folder);
  return 0;
}
