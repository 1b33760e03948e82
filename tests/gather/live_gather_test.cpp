// Whole silent gathers from two Samba computers, as `corvid -S list.imp`
// runs them: every record that eventlogadm wrote is stored once, described
// from the message file on the computer's C$ share; a computer that is down,
// a wrong password and a connection lost mid-log are failures with their
// codes while the other computer is gathered in full. A domain controller is
// gathered with a Kerberos ticket alone.
#include "platform/smb/smb_network.h"
#include "support/live_gather.h"

using testing_support::LiveGather;
using testing_support::SambaComputer;

TEST_F(LiveGather, StoresEveryRecordOnceWithItsDescriptionAndTellsEachFailure) {
  auto pdcSystem = Records("LIVEPDC", 0, 250), wsSystem = Records("LIVEWS", 0, 40);
  auto wsApplication = Records("LIVEWS", 100, 7);
  ASSERT_TRUE(pdc.Write("System", pdcSystem));
  ASSERT_TRUE(ws.Write("System", wsSystem));
  ASSERT_TRUE(ws.Write("Application", wsApplication));
  const auto runLog = [&] { return testing_support::ReadFile((machine.root() / "run.log").string()); };

  corvid::Settings.EraseLogs = 1;
  platform::smb::CloseSessions();
  const uint64_t sessions = platform::smb::SessionsStarted();
  ASSERT_TRUE(corvid::RunSilentGather());
  // One logon a computer for its type query, three logs, registry, accounts
  // and message files; the one that does not answer costs one attempt.
  EXPECT_EQ(platform::smb::SessionsStarted() - sessions, 3u);
  for (const char* computer : {"LIVEPDC", "LIVEWS"}) {
    for (size_t log : {0, 1, 2}) EXPECT_EQ(Result(computer, log).Status, corvid::kStatusCompleted) << computer << log;
  }
  EXPECT_NE(runLog().find("Error\tLIVEOFF\tSystem     \tUNABLE TO OPEN LOG\t53"), std::string::npos) << runLog();
  EXPECT_TRUE(Stored("System", "LIVEPDC") == Expected(pdcSystem));
  EXPECT_TRUE(Stored("System", "LIVEWS") == Expected(wsSystem));
  EXPECT_TRUE(Stored("Application", "LIVEWS") == Expected(wsApplication));
  EXPECT_TRUE(Stored("Application", "LIVEPDC").empty());
  EXPECT_EQ(ws.RecordCount("System"), 0) << "cleared once every record was stored";
  EXPECT_EQ(pdc.RecordCount("System"), 0);

  // A wrong password is one computer's failure, told with its code.
  ASSERT_TRUE(pdc.Write("System", Records("LIVEPDC", 300, 20)));
  ASSERT_TRUE(ws.Write("System", Records("LIVEWS", 300, 20)));
  ASSERT_TRUE(ws.SetPassword("Another-pass-2"));
  platform::smb::CloseSessions();  // as the next run's new process would start
  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Result("LIVEPDC", 0).Status, corvid::kStatusCompleted);
  EXPECT_EQ(Stored("System", "LIVEPDC").size(), 270u) << "each record stored once";
  EXPECT_EQ(ws.RecordCount("System"), 20) << "a log not gathered is not cleared";
  EXPECT_NE(runLog().find("Error\tLIVEWS\tSystem     \tUNABLE TO OPEN LOG\t1326"), std::string::npos) << runLog();
}

// Drops the server's connections before the `when`th read of one log.
struct DropBeforeRead : platform::EventLogWrapper {
  DropBeforeRead(const SambaComputer& target, int at)
      : EventLogWrapper(platform::EventLogService::Default()), server(target), when(at) {}
  BOOL ReadEventLog(HANDLE log, DWORD flags, DWORD offset, void* buffer, DWORD size, DWORD* read,
                    DWORD* needed) override {
    if (++reads == when) server.DropConnections();
    return EventLogWrapper::ReadEventLog(log, flags, offset, buffer, size, read, needed);
  }
  const SambaComputer& server;
  int when;
  int reads = 0;
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

// Without an authentication file, the ticket kinit got from the domain's KDC
// logs on to DC1, a name only lmhosts knows; before kinit, the logon fails.
TEST_F(LiveGather, LogsOnWithAKerberosTicket) {
  SambaComputer dc{"DC1", "10.99.0.5", SambaComputer::Browsing::kNone, "CORVID.TEST"};
  if (!dc.ok()) SAMBA_UNAVAILABLE(dc);
  const char* dll = "Windows/system32/corvlive.dll";
  std::filesystem::copy_file(pdc.share() / dll, dc.share() / dll);
  ASSERT_TRUE(dc.AddSource("System", "CorvidLive", "%SystemRoot%\\system32\\corvlive.dll", 2));
  const auto records = Records("DC1", 0, 30);
  ASSERT_TRUE(dc.Write("System", records));
  machine.Write("lmhosts", dc.address() + " DC1\n");
  corvid::ComputerList.Clear();
  corvid::ComputerList.Append(corvid::MakeComputerEntry("DC1"));
  const std::string tickets = (machine.root() / "tickets").string();
  testing_support::ScopedEnv noFile{"CORVID_SMB_AUTH", std::nullopt}, kdc{"KRB5_CONFIG", dc.krb5Config()},
      cache{"KRB5CCNAME", "FILE:" + tickets};

  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Result("DC1", 0).ErrorCode, 1326) << "no ticket yet";
  ASSERT_TRUE(dc.Kinit());
  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Result("DC1", 0).Status, corvid::kStatusCompleted);
  EXPECT_TRUE(Stored("System", "DC1") == Expected(records));
  const std::string klist = tickets + ".klist";
  testing_support::Run({"/usr/bin/klist"}, "/dev/null", klist);
  EXPECT_NE(testing_support::ReadFile(klist).find("cifs/DC1@CORVID.TEST"), std::string::npos) << "asked for by name";
}
