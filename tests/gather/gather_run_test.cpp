// Whole gathers of the sample domain through the real ODBC drivers, into
// SQLite and into a throwaway PostgreSQL server, with faults injected at the
// ODBC seam: no record may be lost and none stored twice. "Exactly" is
// checked against the records of the logs themselves, not against counts
// alone, and the stored rows are read back through ODBC on a connection of
// the test's own, the same way for both databases.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "config/settings_store.h"
#include "gather/gather_run.h"
#include "gather/row_builder.h"
#include "platform/eventlog/evt_file.h"
#include "platform/odbc/odbc.h"
#include "resources/strings.h"
#include "shell/base/computer_list.h"
#include "shell/base/start_state.h"
#include "support/fake_odbc.h"
#include "support/odbc_connection.h"
#include "support/odbc_sandbox.h"
#include "support/postgres_server.h"
#include "support/sample_gather.h"
#include "support/sample_network.h"

namespace {

using testing_support::Rows;
using GatherTest = testing_support::SampleGatherTest;
using testing_support::BackendName;
using testing_support::Backend;
using testing_support::ReadFile;
using testing_support::Peer;
using testing_support::TempMachine;

INSTANTIATE_TEST_SUITE_P(Databases, GatherTest, ::testing::Values(Backend::kSqlite, Backend::kPostgres),
                         BackendName);

TEST_P(GatherTest, TwiceStoresNothingNewAndAReportedEventIsOneRow) {
  ASSERT_TRUE(corvid::RunSilentGather());
  for (const char* computer : testing_support::kSampleComputers) {
    for (size_t log = 0; log < 3; ++log) EXPECT_EQ(Status(computer, log), corvid::kStatusCompleted) << computer;
  }
  EXPECT_EQ(Status("OFF05", 0), corvid::kStatusUnableToOpen);
  ExpectEverythingStoredOnce();
  const size_t system = Count("System");

  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Count("System"), system) << "a second gather stores nothing";

  const std::string command = "'" CORVID_BIN_DIR "/ntsim' --network '" + (machine.root() / "network").string() +
                              "' report WS04 System --source EventLog --id 6005";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Count("System"), system + 1);
  ExpectEverythingStoredOnce();
}

TEST_P(GatherTest, ADatabaseThatStopsMidLogLosesNothingCommitted) {
  testing_support::FailingOdbc odbc;
  odbc.Fail({.call = "SQLExecute", .occurrence = 150, .onward = true, .sqlState = "08S01"});
  {
    platform::Override<platform::OdbcService> use(odbc);
    ASSERT_TRUE(corvid::RunSilentGather());
  }
  EXPECT_EQ(Status("PDC01", 0), corvid::kStatusUnableToWrite);
  EXPECT_EQ(corvid::ComputerList.At(0).LogResults[0].ErrorText, "08S01");
  EXPECT_EQ(Status("PDC01", 1), corvid::kStatusCancelled) << "the run stops at a database failure";
  EXPECT_EQ(Status("WS04", 2), corvid::kStatusCancelled);
  EXPECT_EQ(Stored("System", "PDC01").size(), 101u) << "the first transaction of 101 rows stays";

  ASSERT_TRUE(corvid::RunSilentGather());
  ExpectEverythingStoredOnce();
}

// Asks for a cancel at the Nth insert, as the Cancel button would.
class CancelAt : public platform::OdbcWrapper {
 public:
  explicit CancelAt(int when) : OdbcWrapper(platform::OdbcService::Default()), when_(when) {}
  SQLRETURN SQLExecute(SQLHSTMT statement) override {
    if (++executes_ == when_) corvid::cancelRequested = 1;
    return OdbcWrapper::SQLExecute(statement);
  }

 private:
  int when_;
  int executes_ = 0;
};

TEST_P(GatherTest, ACancelMidLogRollsBackAndTheNextGatherCompletes) {
  corvid::Settings.TransactionPeriod = 9;
  {
    CancelAt cancel(25);
    platform::Override<platform::OdbcService> use(cancel);
    ASSERT_TRUE(corvid::RunSilentGather());
  }
  EXPECT_EQ(Status("PDC01", 0), corvid::kStatusCancelled);
  EXPECT_EQ(Stored("System", "PDC01").size(), 20u) << "two transactions of ten; the rest rolled back";
  ASSERT_TRUE(corvid::RunSilentGather());
  ExpectEverythingStoredOnce();
}

// Writes a new event into a log at the Nth insert, or at the first rollback
// of a session end: while the log is still read, or after its last read.
class ReportDuringGather : public platform::OdbcWrapper {
 public:
  ReportDuringGather(std::string log, int atInsert)
      : OdbcWrapper(platform::OdbcService::Default()), log_(std::move(log)), atInsert_(atInsert) {}
  SQLRETURN SQLExecute(SQLHSTMT statement) override {
    if (++executes_ == atInsert_) Report();
    return OdbcWrapper::SQLExecute(statement);
  }
  SQLRETURN SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) override {
    if (atInsert_ == 0 && ++ends_ == 1) Report();
    return OdbcWrapper::SQLEndTran(type, handle, completion);
  }

 private:
  void Report() {
    platform::evt::EventRecordData record;
    record.source = "EventLog";
    record.computer = "PDC01";
    record.eventId = 6006;
    record.eventType = 4;
    record.timeGenerated = record.timeWritten = 1800000000;
    EXPECT_EQ(platform::evt::AppendRecord(log_, record), 0u);
  }
  std::string log_;
  int atInsert_;
  int executes_ = 0;
  int ends_ = 0;
};

class EraseTest : public GatherTest {
 protected:
  void SetUp() override {
    GatherTest::SetUp();
    if (IsSkipped()) return;
    corvid::Settings.EraseLogs = 1;
    pdcSystem = (machine.root() / "network/PDC01/C$/WINNT/system32/config/SysEvent.Evt").string();
  }
  size_t LeftIn(const char* computer) const {
    std::vector<std::vector<uint8_t>> left;
    EXPECT_TRUE(testing_support::ReadWholeLog(computer, "System", left));
    return left.size();
  }
  std::string pdcSystem;
};

INSTANTIATE_TEST_SUITE_P(Databases, EraseTest, ::testing::Values(Backend::kSqlite, Backend::kPostgres),
                         BackendName);

TEST_P(EraseTest, AnEventWrittenWhileTheLogIsReadIsStoredBeforeTheClear) {
  const size_t before = Expected("PDC01", "System").size();
  {
    ReportDuringGather report(pdcSystem, 200);
    platform::Override<platform::OdbcService> use(report);
    ASSERT_TRUE(corvid::RunSilentGather());
  }
  EXPECT_EQ(Status("PDC01", 0), corvid::kStatusCompleted);
  EXPECT_EQ(Stored("System", "PDC01").size(), before + 1);
  EXPECT_EQ(LeftIn("PDC01"), 0u);
  EXPECT_EQ(LeftIn("BDC02"), 0u);
}

TEST_P(EraseTest, AnEventWrittenAfterTheLastReadKeepsTheLogUncleared) {
  const Rows before = Expected("PDC01", "System");
  {
    ReportDuringGather report(pdcSystem, 0);
    platform::Override<platform::OdbcService> use(report);
    ASSERT_TRUE(corvid::RunSilentGather());
  }
  EXPECT_EQ(Status("PDC01", 0), corvid::kStatusUnableToClear);
  EXPECT_EQ(corvid::ComputerList.At(0).LogResults[0].ErrorCode, 1503);
  EXPECT_EQ(Status("PDC01", 1), corvid::kStatusCompleted) << "a failed clear ends one log only";
  EXPECT_TRUE(Stored("System", "PDC01") == before);
  EXPECT_EQ(LeftIn("PDC01"), before.size() + 1) << "nothing lost: the log keeps everything";

  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Status("PDC01", 0), corvid::kStatusCompleted);
  EXPECT_EQ(Stored("System", "PDC01").size(), before.size() + 1);
  EXPECT_EQ(LeftIn("PDC01"), 0u);
}

TEST_P(GatherTest, AMissingTableFailsTheFirstLogAndStopsTheRun) {
  {
    Peer peer(dsn);
    ASSERT_TRUE(peer.connected()) << peer.error();
    ASSERT_TRUE(peer.Execute("DROP TABLE System")) << peer.error();
  }
  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Status("PDC01", 0), corvid::kStatusUnableToWrite);
  EXPECT_STRNE(corvid::ComputerList.At(0).LogResults[0].ErrorText.c_str(), "");
  EXPECT_EQ(Status("PDC01", 1), corvid::kStatusCancelled);
}

}  // namespace

namespace {

// The real program, silent, as a scheduler starts it: this computer's
// registry names the data source, and the run log is the only report.
class SilentRunTest : public GatherTest {
 protected:
  void SetUp() override {
    GatherTest::SetUp();
    if (IsSkipped()) return;
    machine.Write("drives/c/Corvid/.keep", "");
    Install("");
  }
  void Install(const std::string& extra) {
    machine.Write("registry.reg",
                  "Windows Registry Editor Version 5.00\n\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion]\n"
                  "\"InstallPath\"=\"C:\\\\Corvid\"\n"
                  "\"DSN\"=\"" + dsn + "\"\n" + extra + "\n");
  }
  int RunProgram() {
    const std::string command = "'" CORVID_BIN_DIR "/corvid' -S '" CORVID_SAMPLE_DIR "/domain.imp' >/dev/null 2>&1";
    return std::system(command.c_str());
  }
  std::string RunLog() const { return machine.Read("drives/c/Corvid/Corvid.log"); }
};

INSTANTIATE_TEST_SUITE_P(Databases, SilentRunTest, ::testing::Values(Backend::kSqlite, Backend::kPostgres),
                         BackendName);

// The second line holds the date and time of the run.
std::string WithoutDateLine(const std::string& log) {
  const size_t first = log.find('\n');
  const size_t second = log.find('\n', first + 1);
  return log.substr(0, first + 1) + "<date> Gathering completed\n" + log.substr(second + 1);
}

TEST_P(SilentRunTest, TheRunLogTellsEveryLogToTheByte) {
  ASSERT_EQ(RunProgram(), 0);
  std::string expected =
      "===============================\n<date> Gathering completed\n"
      "Descr\tComputerName\t TableName\tOperation\tErrorCode\n===============================\n";
  for (const char* computer : testing_support::kSampleComputers) {
    for (const char* log : {"System     ", "Security   ", "Application"}) {
      expected += std::string("Success\t") + computer + "\t" + log + "\tOPERATION COMPLETED\t0\n";
    }
  }
  for (const char* log : {"System     ", "Security   ", "Application"}) {
    expected += std::string("Error\tOFF05\t") + log + "\tUNABLE TO OPEN LOG\t53\n";
  }
  expected += "\n===============================\nProcessed\t15\nErrors\t3\n\n";
  EXPECT_EQ(WithoutDateLine(RunLog()), expected);
  ExpectEverythingStoredOnce();
}

TEST_P(SilentRunTest, ARunCutOffByItsTimeOutLeavesOnlyWholeCommitsAndTheNextRunCompletes) {
  Install("\"TimeOut\"=dword:00000000\n\"TransactionPeriod\"=dword:00000004\n");
  ASSERT_EQ(RunProgram(), 0);
  const std::string cut = RunLog();
  EXPECT_NE(cut.find("OPERATION CANCELLED"), std::string::npos) << cut;
  // Whatever landed came in whole transactions of five rows, or a whole log.
  for (const char* computer : testing_support::kSampleComputers) {
    const size_t stored = Stored("System", computer).size();
    EXPECT_TRUE(stored % 5 == 0 || stored == Expected(computer, "System").size()) << computer << " " << stored;
  }
  Install("");
  ASSERT_EQ(RunProgram(), 0);
  EXPECT_EQ(RunLog().find("OPERATION CANCELLED"), std::string::npos) << RunLog();
  ExpectEverythingStoredOnce();
}

}  // namespace
