// How fast a computer given as a copy of its Windows disk (hive files) is
// gathered, against the same computer described by a registry.reg export.
// Prints figures; never run by CTest.
//
// Both computers hold the real XP System log and SYSTEM hive of the real
// data; the export is that hive as hivexregedit writes it, its control set
// renamed to CurrentControlSet and SystemRoot added by hand. A round is what
// a gather does for the log without the database: the event source table
// from the registry, every record read and built into a row (sources,
// categories, descriptions, accounts). The first round of each includes
// opening the registry (parsing registry.reg, or opening the hives); the
// rest show the steady rate. Then the first registry call on the real
// Windows 10 SYSTEM hive (11 MB), which a gather pays once per computer.
//
// Usage: hive_gather_bench [rounds]   (default 5)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "describe/event_sources.h"
#include "gather/row_builder.h"
#include "platform/eventlog/eventlog.h"
#include "platform/registry/registry.h"
#include "support/hives.h"
#include "support/sample_network.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path Real(const char* name) { return fs::path(CORVID_REAL_DATA) / name; }

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

bool Run(const char* command) { return std::system(command) == 0; }

// One gather of the System log without the database; the records built.
size_t Round(const char* computer) {
  corvid::EventSourceTable table;
  if (!corvid::BuildEventSourceTable(computer, "System", table)) return 0;
  std::vector<std::vector<uint8_t>> records;
  if (!testing_support::ReadWholeLog(computer, "System", records)) return 0;
  for (const auto& bytes : records) {
    const auto& record = *reinterpret_cast<const EVENTLOGRECORD*>(bytes.data());
    corvid::EventRow row = corvid::BuildEventRow(computer, table, record, bytes.size());
    (void)row;
  }
  return records.size();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  if (!fs::exists(Real("SYSTEM")) || !fs::exists(Real("SysEvent.Evt")) || !testing_support::HaveHivexregedit()) {
    std::fprintf(stderr, "needs the real data at %s and hivexregedit\n", CORVID_REAL_DATA);
    return 1;
  }
  testing_support::TempMachine machine;
  const fs::path network = machine.root() / "network";
  for (const char* computer : {"XPDISK", "XPREG"}) {
    const fs::path config = network / computer / "C$/WINDOWS/system32/config";
    fs::create_directories(config);
    fs::create_symlink(Real("SysEvent.Evt"), config / "SysEvent.Evt");
  }
  const fs::path hives = network / "XPDISK/C$/WINDOWS/system32/config";
  fs::create_symlink(Real("SYSTEM"), hives / "SYSTEM");
  if (!testing_support::MakeHive(hives / "SOFTWARE", "[\\Microsoft\\Windows NT\\CurrentVersion]\n")) return 1;
  const std::string exported = (machine.root() / "system.reg").string();
  const std::string command = "hivexregedit --export --prefix 'HKEY_LOCAL_MACHINE\\SYSTEM' '" +
                              Real("SYSTEM").string() + "' '\\' > '" + exported + "'";
  if (!Run(command.c_str())) return 1;
  std::stringstream text;
  text << std::ifstream(exported, std::ios::binary).rdbuf();
  std::ofstream(network / "XPREG/registry.reg", std::ios::binary)
      << std::regex_replace(text.str(), std::regex(R"(\\SYSTEM\\ControlSet001)"), "\\SYSTEM\\CurrentControlSet")
      << "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n\"SystemRoot\"=\"C:\\\\WINDOWS\"\n";

  std::printf("System log of %s, %d rounds each\n", Real("SysEvent.Evt").c_str(), rounds);
  std::printf("%-22s %12s %16s %16s\n", "registry", "records", "first (rec/s)", "steady (rec/s)");
  for (const auto& [computer, label] : {std::pair{"XPREG", "registry.reg (3.6 MB)"}, std::pair{"XPDISK", "hives"}}) {
    auto start = Clock::now();
    const size_t records = Round(computer);
    const double first = Seconds(start);
    start = Clock::now();
    for (int i = 1; i < rounds; ++i) Round(computer);
    const double steady = rounds > 1 ? Seconds(start) / (rounds - 1) : first;
    std::printf("%-22s %12zu %16.0f %16.0f\n", label, records, records / first, records / steady);
  }

  if (fs::exists(Real("SYSTEM-win10.gz"))) {
    const fs::path config = network / "W10/C$/Windows/System32/config";
    fs::create_directories(config);
    const std::string unpack = "gzip -dc '" + Real("SYSTEM-win10.gz").string() + "' > '" + (config / "SYSTEM").string() + "'";
    if (!Run(unpack.c_str())) return 1;
    for (int pass = 0; pass < 2; ++pass) {
      const auto start = Clock::now();
      HKEY root = nullptr;
      HKEY key = nullptr;
      LONG status = RegConnectRegistryA("W10", HKEY_LOCAL_MACHINE, &root);
      if (status == ERROR_SUCCESS) {
        status = RegOpenKeyExA(root, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System", 0, KEY_READ, &key);
        if (key != nullptr) RegCloseKey(key);
        RegCloseKey(root);
      }
      std::printf("Windows 10 SYSTEM hive (%.1f MB), %s registry call: %.2f ms (status %ld)\n",
                  static_cast<double>(fs::file_size(config / "SYSTEM")) / 1e6, pass == 0 ? "first" : "next",
                  Seconds(start) * 1e3, static_cast<long>(status));
    }
  }
  return 0;
}
