// How fast records become rows: every record of the sample domain (built by
// ntsim into a throwaway machine folder) read through the event log service
// and made into its row, description, category and account included, with
// the message module cache on and then off. Prints rows per second.
//
// Usage: row_build_bench [rounds]   (each round builds every row once)
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "describe/event_sources.h"
#include "gather/row_builder.h"
#include "platform/base/last_error.h"
#include "platform/eventlog/eventlog.h"
#include "platform/modules/modules.h"
#include "support/sample_network.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Log {
  std::string computer;
  std::string name;
  std::vector<std::vector<uint8_t>> records;
};

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
  testing_support::TempMachine machine;
  setenv("TZ", "UTC", 1);
  if (!testing_support::BuildSampleNetwork(machine)) {
    std::fprintf(stderr, "row_build_bench: could not build the sample domain\n");
    return 1;
  }
  std::vector<Log> logs;
  size_t records = 0;
  for (const char* computer : testing_support::kSampleComputers) {
    for (const char* name : testing_support::kSampleLogs) {
      logs.push_back(Log{computer, name, {}});
      if (!testing_support::ReadWholeLog(computer, name, logs.back().records)) return 1;
      records += logs.back().records.size();
    }
  }
  std::printf("sample domain: %zu records in %zu logs, %d rounds each\n", records, logs.size(), rounds);
  platform::SetModuleCacheEnabled(true);
  Rate(logs, 1);  // warm the page cache and the module cache
  std::printf("module cache on : %10.0f rows/s\n", Rate(logs, rounds));
  platform::SetModuleCacheEnabled(false);
  std::printf("module cache off: %10.0f rows/s\n", Rate(logs, rounds));
  return 0;
}
