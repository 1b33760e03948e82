// Whole silent gathers from two Samba computers over SMB into SQLite, as
// `CORVID_NETWORK=smb: corvid -S list.imp` runs them: every record that
// eventlogadm wrote is stored once, with its description and category
// rendered from the message file on the computer's C$ share, found through
// its registry; a computer that is down and a wrong password are run-log
// lines with their codes while the other computer is gathered in full. The
// windowed program does the same through Go, with the computers' types
// asked of their server services.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QWidget>

#include <filesystem>
#include <fstream>

#include "config/settings_store.h"
#include "gather/gather_run.h"
#include "resources/dialogs.h"
#include "resources/strings.h"
#include "common/computer_list.h"
#include "common/start_state.h"
#include "shell/main_window.h"
#include "support/odbc_sandbox.h"
#include "support/qt_dialogs.h"
#include "support/samba_server.h"
#include "support/sample_gather.h"
#include "support/temp_machine.h"

namespace {

using testing_support::Peer;
using testing_support::Rows;
using testing_support::SambaComputer;
using testing_support::SambaRecord;
using testing_support::ScopedEnv;

// The one text a query gives.
class Reader : public Peer {
 public:
  using Peer::Peer;
  bool Scalar(const std::string& sql, std::string& value) {
    std::optional<std::string> text;
    if (!Execute(sql) || odbc::SQLFetch(statement_) != SQL_SUCCESS || !ReadLong(1, SQL_C_CHAR, text)) return false;
    value = text.value_or("null");
    return Check(odbc::SQLCloseCursor(statement_));
  }
};

class LiveGather : public ::testing::Test {
 protected:
  void SetUp() override {
    for (SambaComputer* server : {&pdc, &ws}) {
      if (!server->ok()) SAMBA_UNAVAILABLE(*server);
    }
#ifndef CORVID_MESSAGE_DLLS
    GTEST_SKIP() << "no resource tools to build the message file";
#else
    const std::string dll = std::string(CORVID_MESSAGE_DLLS) + "/corvid_live64.dll";
#endif
    if (testing_support::SqliteOdbcDriver().empty()) GTEST_SKIP() << "no SQLite3 ODBC driver";
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

    dsn = testing_support::OdbcSandbox::UniqueName("Live");
    std::string why;
    ASSERT_FALSE(sandbox.AddSqliteEventsDataSource(dsn, &why).empty()) << why;
    corvid::Instance = resources::ProgramInstance();
    corvid::Settings = corvid::AppSettings{};
    corvid::Settings.DataSource.DSN = dsn;
    corvid::RunLogSettings = corvid::RunLogOptions{(machine.root() / "run.log").string(), 0, 1};
    corvid::ComputerList.Clear();
    for (const char* name : {"LIVEPDC", "LIVEWS", "LIVEOFF"}) {
      corvid::ComputerList.Append(corvid::MakeComputerEntry(name));
    }
  }
  void TearDown() override { corvid::ComputerList.Clear(); }

  // `count` records of the test's source, written a minute ago onwards.
  static std::vector<SambaRecord> Records(const char* computer, uint32_t first, uint32_t count) {
    std::vector<SambaRecord> records;
    const auto now = static_cast<uint32_t>(::time(nullptr));
    for (uint32_t i = first; i < first + count; ++i) {
      SambaRecord r;
      r.written = now - 3600 + i;
      r.eventId = 7036;
      r.category = static_cast<uint16_t>(1 + i % 2);
      r.source = "CorvidLive";
      r.computer = computer;
      r.strings = {"Spooler" + std::to_string(i), i % 2 == 0 ? "running" : "stopped"};
      records.push_back(r);
    }
    return records;
  }

  // The rows a gather must store for these records.
  static Rows Expected(const std::vector<SambaRecord>& records) {
    Rows rows;
    for (const SambaRecord& r : records) {
      const time_t when = r.written;
      tm utc{};
      ::gmtime_r(&when, &utc);
      SQL_TIMESTAMP_STRUCT date{};
      date.year = static_cast<SQLSMALLINT>(utc.tm_year + 1900);
      date.month = static_cast<SQLUSMALLINT>(utc.tm_mon + 1);
      date.day = static_cast<SQLUSMALLINT>(utc.tm_mday);
      date.hour = static_cast<SQLUSMALLINT>(utc.tm_hour);
      date.minute = static_cast<SQLUSMALLINT>(utc.tm_min);
      date.second = static_cast<SQLUSMALLINT>(utc.tm_sec);
      rows.insert(testing_support::Key(r.source, r.eventId, date,
                                       "The " + r.strings[0] + " service is now " + r.strings[1] + ".\r\n",
                                       std::nullopt));
    }
    return rows;
  }

  Rows Stored(const char* table, const char* computer) const {
    Rows rows;
    Peer peer(dsn);
    EXPECT_TRUE(peer.connected() && peer.ReadRows(table, computer, rows)) << peer.error();
    return rows;
  }

  const corvid::LogResult& Result(const char* computer, size_t log) const {
    for (const auto& entry : corvid::ComputerList) {
      if (entry.Name == computer) return entry.LogResults[log];
    }
    static const corvid::LogResult none;
    return none;
  }

  SambaComputer pdc{"LIVEPDC", "127.0.0.2"};
  SambaComputer ws{"LIVEWS", "127.0.0.3"};
  testing_support::TempMachine machine;
  ScopedEnv network{"CORVID_NETWORK", std::string("smb:")};
  ScopedEnv auth{"CORVID_SMB_AUTH", (machine.root() / "auth").string()};
  ScopedEnv zone{"TZ", std::string("UTC")};
  testing_support::OdbcSandbox sandbox;
  std::string dsn;
};

TEST_F(LiveGather, StoresEveryRecordOnceWithItsDescriptionAndTellsEachFailure) {
  auto pdcSystem = Records("LIVEPDC", 0, 250);
  auto wsSystem = Records("LIVEWS", 0, 40);
  auto wsApplication = Records("LIVEWS", 100, 7);
  ASSERT_TRUE(pdc.Write("System", pdcSystem));
  ASSERT_TRUE(ws.Write("System", wsSystem));
  ASSERT_TRUE(ws.Write("Application", wsApplication));

  ASSERT_TRUE(corvid::RunSilentGather());
  for (const char* computer : {"LIVEPDC", "LIVEWS"}) {
    for (size_t log = 0; log < 3; ++log) {
      EXPECT_EQ(Result(computer, log).Status, corvid::kStatusCompleted)
          << computer << " " << log << " error " << Result(computer, log).ErrorCode;
    }
  }
  EXPECT_EQ(Result("LIVEOFF", 0).Status, corvid::kStatusUnableToOpen);
  EXPECT_EQ(Result("LIVEOFF", 0).ErrorCode, ERROR_BAD_NETPATH);
  EXPECT_TRUE(Stored("System", "LIVEPDC") == Expected(pdcSystem));
  EXPECT_TRUE(Stored("System", "LIVEWS") == Expected(wsSystem));
  EXPECT_TRUE(Stored("Application", "LIVEWS") == Expected(wsApplication));
  EXPECT_TRUE(Stored("Application", "LIVEPDC").empty());
  Reader peer(dsn);
  std::string category;
  ASSERT_TRUE(peer.Scalar("SELECT Category FROM System WHERE Workstation = 'LIVEWS' AND Description LIKE "
                          "'The Spooler1 service%'",
                          category))
      << peer.error();
  EXPECT_EQ(category, "Disks");
  std::string runLog = testing_support::ReadFile((machine.root() / "run.log").string());
  EXPECT_NE(runLog.find("Error\tLIVEOFF\tSystem     \tUNABLE TO OPEN LOG\t53"), std::string::npos) << runLog;

  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Stored("System", "LIVEPDC").size(), 250u) << "a second run stores nothing";

  auto more = Records("LIVEWS", 40, 5);
  ASSERT_TRUE(ws.Write("System", more));
  corvid::Settings.EraseLogs = 1;
  ASSERT_TRUE(corvid::RunSilentGather());
  wsSystem.insert(wsSystem.end(), more.begin(), more.end());
  EXPECT_TRUE(Stored("System", "LIVEWS") == Expected(wsSystem)) << "what arrived between runs is added";
  EXPECT_EQ(Result("LIVEWS", 0).Status, corvid::kStatusCompleted);
  EXPECT_EQ(ws.RecordCount("System"), 0) << "cleared once every record was stored";
  EXPECT_EQ(pdc.RecordCount("System"), 0);

  // A wrong password is one computer's failure, told with its code.
  ASSERT_TRUE(pdc.Write("System", Records("LIVEPDC", 300, 20)));
  ASSERT_TRUE(ws.Write("System", Records("LIVEWS", 300, 20)));
  ASSERT_TRUE(ws.SetPassword("Another-pass-2"));
  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Result("LIVEPDC", 0).Status, corvid::kStatusCompleted);
  EXPECT_EQ(Stored("System", "LIVEPDC").size(), 270u);
  EXPECT_EQ(Result("LIVEWS", 0).Status, corvid::kStatusUnableToOpen);
  EXPECT_EQ(Result("LIVEWS", 0).ErrorCode, 1326);
  EXPECT_EQ(ws.RecordCount("System"), 20) << "a log not gathered is not cleared";
  runLog = testing_support::ReadFile((machine.root() / "run.log").string());
  EXPECT_NE(runLog.find("Error\tLIVEWS\tSystem     \tUNABLE TO OPEN LOG\t1326"), std::string::npos) << runLog;
}



// Drops the server's connections before the `when`th read of one log.
class DropBeforeRead : public platform::EventLogWrapper {
 public:
  DropBeforeRead(const SambaComputer& server, int when)
      : EventLogWrapper(platform::EventLogService::Default()), server_(server), when_(when) {}
  BOOL ReadEventLog(HANDLE log, DWORD flags, DWORD offset, void* buffer, DWORD size, DWORD* read,
                    DWORD* needed) override {
    if (++reads_ == when_) server_.DropConnections();
    return EventLogWrapper::ReadEventLog(log, flags, offset, buffer, size, read, needed);
  }

 private:
  const SambaComputer& server_;
  int when_;
  int reads_ = 0;
};

TEST_F(LiveGather, AConnectionLostMidLogKeepsWhatWasCommittedAndTheNextRunResumes) {
  auto records = Records("LIVEPDC", 0, 600);
  ASSERT_TRUE(pdc.Write("System", records));
  corvid::ComputerList.Clear();
  corvid::ComputerList.Append(corvid::MakeComputerEntry("LIVEPDC"));
  {
    // Each server read fills several of the reader's buffers: the fourth
    // read is well past the first commits and needs the server again soon.
    DropBeforeRead drop(pdc, 4);
    platform::Override<platform::EventLogService> use(drop);
    ASSERT_TRUE(corvid::RunSilentGather());
  }
  EXPECT_EQ(Result("LIVEPDC", 0).Status, corvid::kStatusUnableToRead);
  EXPECT_EQ(Result("LIVEPDC", 0).ErrorCode, 1726);
  const size_t kept = Stored("System", "LIVEPDC").size();
  EXPECT_GT(kept, 0u);
  EXPECT_EQ(kept % 101, 0u) << "whole transactions only";
  EXPECT_LT(kept, records.size()) << kept;

  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Result("LIVEPDC", 0).Status, corvid::kStatusCompleted);
  EXPECT_TRUE(Stored("System", "LIVEPDC") == Expected(records));
}

TEST_F(LiveGather, TheWindowedProgramGathersThroughGo) {
  testing_support::EnsureQtWindows();
  ASSERT_TRUE(pdc.Write("System", Records("LIVEPDC", 0, 30)));
  ASSERT_TRUE(ws.Write("Application", Records("LIVEWS", 0, 10)));
  machine.Write("registry.reg",
                "Windows Registry Editor Version 5.00\n\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion]\n"
                "\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"" + dsn +
                    "\"\n\"Type\"=dword:00000001\n\"Description\"=\"Corvid SQLite3\"\n\"User\"=\"\"\n"
                    "\"Password\"=\"\"\n\"RegAccess\"=dword:00000000\n\n");
  machine.Write("drives/c/Corvid/Corvid.hlp", "@1001 Main\n");
  machine.Write("live.imp", "LIVEPDC\nLIVEWS\nLIVEOFF\n");
  corvid::ComputerList.Clear();
  corvid::ListFilePath = (machine.root() / "live.imp").string();
  testing_support::DialogScript script;
  HWND main = corvid::CreateMainWindow();
  ASSERT_NE(main, nullptr);
  platform::qt::WidgetOf(main)->show();
  constexpr int kComputerView = 1002;
  constexpr int kGo = 1003;
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(SendDlgItemMessageA(main, kComputerView, LVM_GETITEMSTATE, row, LVIS_SELECTED) != 0, row < 2)
        << "the computers that answered their type query are selected, LIVEOFF is not: row " << row;
  }
  script.When(resources::IDD_GATHER_SELECTION, [](HWND dialog) { testing_support::Click(dialog, IDOK); });
  testing_support::Click(main, kGo);
  EXPECT_EQ(Result("LIVEPDC", 0).Status, corvid::kStatusCompleted);
  EXPECT_EQ(Result("LIVEWS", 2).Status, corvid::kStatusCompleted);
  EXPECT_EQ(Stored("System", "LIVEPDC").size(), 30u);
  EXPECT_EQ(Stored("Application", "LIVEWS").size(), 10u);
  DestroyWindow(main);
  corvid::ListFilePath.clear();
}

}  // namespace
