// How fast records become rows: every record of the sample domain (built by
// ntsim into a throwaway machine folder) read through the event log service
// and made into its row, description, category and account included, with
// the message module cache on and then off. Prints rows per second.
//
// Usage: row_build_bench [rounds]   (each round builds every row once)
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "describe/event_sources.h"
#include "gather/row_builder.h"
#include "platform/base/last_error.h"
#include "platform/eventlog/eventlog.h"
#include "platform/modules/modules.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kComputers[] = {"PDC01", "BDC02", "SRV03", "WS04"};
const char* const kLogs[] = {"System", "Security", "Application"};

struct Log {
  std::string computer;
  std::string name;
  std::vector<std::vector<uint8_t>> records;
};

bool ReadLog(Log& log) {
  HANDLE handle = OpenEventLogA(log.computer.c_str(), log.name.c_str());
  if (handle == nullptr) return false;
  std::vector<uint8_t> buffer(10000);
  for (;;) {
    DWORD read = 0;
    DWORD needed = 0;
    if (!ReadEventLogA(handle, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &read, &needed)) {
      if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(needed);
        continue;
      }
      break;
    }
    for (DWORD offset = 0; offset < read;) {
      const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + offset);
      log.records.emplace_back(buffer.data() + offset, buffer.data() + offset + record->Length);
      offset += record->Length;
    }
  }
  CloseEventLog(handle);
  return true;
}

double Rate(std::vector<Log>& logs, int rounds) {
  size_t rows = 0;
  const auto start = Clock::now();
  for (int round = 0; round < rounds; ++round) {
    for (Log& log : logs) {
      corvid::EventSourceTable table;
      corvid::BuildEventSourceTable(log.computer.c_str(), log.name.c_str(), table);
      for (const auto& bytes : log.records) {
        const auto& record = *reinterpret_cast<const EVENTLOGRECORD*>(bytes.data());
        corvid::EventRow row = corvid::BuildEventRow(log.computer.c_str(), table, record, bytes.size());
        ++rows;
        (void)row;
      }
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return static_cast<double>(rows) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  char pattern[] = "/tmp/corvid-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string home = pattern;
  setenv("CORVID_HOME", home.c_str(), 1);
  setenv("TZ", "UTC", 1);
  const std::string network = home + "/network";
  const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
  const std::string command = "CORVID_SAMPLE='" CORVID_SAMPLE_DIR "' CORVID_SAMPLE_DLLS='" CORVID_SAMPLE_DLLS
                              "' '" + bin + "/ntsim' --network '" + network + "' run '" CORVID_SAMPLE_DIR
                              "/network.ntsim' && CORVID_SAMPLE_DLLS='" CORVID_SAMPLE_DLLS "' '" + bin +
                              "/ntsim' --network '" + network + "' run '" CORVID_SAMPLE_DIR "/messages.ntsim'";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "row_build_bench: could not build the sample domain\n");
    return 1;
  }
  std::vector<Log> logs;
  size_t records = 0;
  for (const char* computer : kComputers) {
    for (const char* name : kLogs) {
      logs.push_back(Log{computer, name, {}});
      if (!ReadLog(logs.back())) return 1;
      records += logs.back().records.size();
    }
  }
  std::printf("sample domain: %zu records in %zu logs, %d rounds each\n", records, logs.size(), rounds);
  platform::SetModuleCacheEnabled(true);
  Rate(logs, 1);  // warm the page cache and the module cache
  std::printf("module cache on : %10.0f rows/s\n", Rate(logs, rounds));
  platform::SetModuleCacheEnabled(false);
  std::printf("module cache off: %10.0f rows/s\n", Rate(logs, rounds));
  std::filesystem::remove_all(home);
  return 0;
}
