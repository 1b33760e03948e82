// Gathers over SMB into SQLite from LIVEPDC and LIVEWS, two Samba computers
// whose source CorvidLive has its message file on their C$ share, and from
// LIVEOFF, where nothing listens; one account for both; the program's
// settings on a data source of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "support/samba_server.h"
#include "support/sample_gather.h"

namespace testing_support {

class LiveGather : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pdc.ok()) SAMBA_UNAVAILABLE(pdc);
    if (!ws.ok()) SAMBA_UNAVAILABLE(ws);
#ifndef CORVID_MESSAGE_DLLS
    GTEST_SKIP() << "no resource tools to build the message file";
#else
    const std::string dll = std::string(CORVID_MESSAGE_DLLS) + "/corvid_live64.dll";
#endif
    if (SqliteOdbcDriver().empty()) GTEST_SKIP() << "no SQLite3 ODBC driver";
    for (SambaComputer* server : {&pdc, &ws}) {
      std::filesystem::copy_file(dll, server->share() / "Windows/system32/corvlive.dll");
      for (const char* log : {"System", "Application"}) {
        ASSERT_TRUE(server->AddSource(log, "CorvidLive", "%SystemRoot%\\system32\\corvlive.dll", 2));
      }
    }
    machine.Write("lmhosts", pdc.address() + " LIVEPDC\n" + ws.address() + " LIVEWS\n127.0.0.9 LIVEOFF\n");
    // One account for both computers, with no domain: each takes it as its own.
    machine.Write("auth", "username = " + pdc.user() + "\npassword = " + SambaComputer::kPassword + "\n");
    ::chmod((machine.root() / "auth").c_str(), 0600);
    std::string why;
    ASSERT_FALSE(sandbox.AddSqliteEventsDataSource(dsn, &why).empty()) << why;
    corvid::Instance = resources::ProgramInstance();
    corvid::Settings = corvid::AppSettings{};
    corvid::Settings.DataSource.DSN = dsn;
    corvid::RunLogSettings = corvid::RunLogOptions{(machine.root() / "run.log").string(), 0, 1};
    corvid::ComputerList.Clear();
    for (const char* name : {"LIVEPDC", "LIVEWS", "LIVEOFF"})
      corvid::ComputerList.Append(corvid::MakeComputerEntry(name));
  }
  void TearDown() override { corvid::ComputerList.Clear(); }

  // `count` records of the test's source, written an hour ago onwards.
  static std::vector<EventRecordData> Records(const char* computer, uint32_t first, uint32_t count) {
    std::vector<EventRecordData> records;
    for (uint32_t i = first, t = static_cast<uint32_t>(::time(nullptr)) - 3600 + i; i < first + count; ++i, ++t) {
      records.push_back({0, t, t, 7036, EVENTLOG_INFORMATION_TYPE, static_cast<uint16_t>(1 + i % 2), "CorvidLive",
                         computer, {"Spooler" + std::to_string(i), i % 2 == 0 ? "running" : "stopped"}, {}, {}});
    }
    return records;
  }

  // The rows a gather must store for these records.
  static Rows Expected(const std::vector<EventRecordData>& records) {
    Rows rows;
    const auto u = [](int value) { return static_cast<SQLUSMALLINT>(value); };
    for (const auto& r : records) {
      const time_t when = r.timeWritten;
      const tm t = *std::gmtime(&when);
      rows.insert(Key(r.source, r.eventId,
                      {static_cast<SQLSMALLINT>(t.tm_year + 1900), u(t.tm_mon + 1), u(t.tm_mday), u(t.tm_hour),
                       u(t.tm_min), u(t.tm_sec), 0},
                      "The " + r.strings[0] + " service is now " + r.strings[1] + ".\r\n", std::nullopt));
    }
    return rows;
  }

  Rows Stored(const char* table, const char* computer) const {
    Rows rows;
    Peer peer(dsn);
    EXPECT_TRUE(peer.connected() && peer.ReadRows(table, computer, rows)) << peer.error();
    return rows;
  }

  static const corvid::LogResult& Result(const char* computer, size_t log) {
    for (const auto& entry : corvid::ComputerList) if (entry.Name == computer) return entry.LogResults[log];
    static const corvid::LogResult none;
    return none;
  }

  // LIVEPDC is the master browser; LIVEWS announces itself to it.
  SambaComputer pdc{"LIVEPDC", "10.99.0.2", SambaComputer::Browsing::kMaster};
  SambaComputer ws{"LIVEWS", "10.99.0.3", SambaComputer::Browsing::kMember};
  TempMachine machine;
  ScopedEnv network{"CORVID_NETWORK", std::string("smb:")};
  ScopedEnv auth{"CORVID_SMB_AUTH", (machine.root() / "auth").string()};
  ScopedEnv zone{"TZ", std::string("UTC")};
  OdbcSandbox sandbox;
  std::string dsn = OdbcSandbox::UniqueName("Live");
};

}  // namespace testing_support
