// Whole gathers of the sample domain into SQLite and a throwaway PostgreSQL
// server, with faults injected at the ODBC seam: no record may be lost and
// none stored twice, checked against the records of the logs themselves.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "gather/log_reader.h"
#include "platform/eventlog/evt_file.h"
#include "support/fake_odbc.h"
#include "support/sample_gather.h"

namespace {

using testing_support::Backend;
using testing_support::Peer;
using GatherTest = testing_support::SampleGatherTest;
const auto kBoth = ::testing::Values(Backend::kSqlite, Backend::kPostgres);
INSTANTIATE_TEST_SUITE_P(Databases, GatherTest, kBoth, testing_support::BackendName);

// The final check reads the logs as they are then: the second gather
// stored nothing twice, the third exactly the new event.
TEST_P(GatherTest, TwiceStoresNothingNewWhateverTheLettersAndAReportedEventIsOneRow) {
  ASSERT_TRUE(corvid::RunSilentGather());
  for (const char* computer : testing_support::kSampleComputers)
    for (size_t log = 0; log < 3; ++log) EXPECT_EQ(Status(computer, log), corvid::kStatusCompleted) << computer;
  EXPECT_EQ(Status("OFF05", 0), corvid::kStatusUnableToOpen);
  ExpectEverythingStoredOnce();
  // Names compare without regard to case, as on Windows: a list in other
  // letters still finds the horizons.
  corvid::ComputerList.Clear();
  for (const char* name : {"pdc01", "Bdc02", "srv03", "wS04"}) corvid::ComputerList.Append(corvid::MakeComputerEntry(name));
  ASSERT_TRUE(corvid::RunSilentGather());
  const std::string command = "'" CORVID_BIN_DIR "/ntsim' --network '" + (machine.root() / "network").string() +
                              "' report WS04 System --source EventLog --id 6005";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(corvid::RunSilentGather());
  ExpectEverythingStoredOnce();
}

// A statement that fails, a commit that fails (a full disk), a missing
// table, no ODBC at all: each is told with its own SQLSTATE, read from the
// handle that failed, and stops the run; the next run completes.
TEST_P(GatherTest, ADatabaseThatFailsStopsTheRunAndLosesNothingCommitted) {
  // The call, its failing occurrence (commit 1 ends the horizon's reads, 2 is the first of 101 rows),
  // the state told, the rows kept; no call: the System table dropped.
  const std::tuple<const char*, int, const char*, size_t> kCases[] = {
      {"SQLExecute", 150, "08S01", 101}, {"SQLTransact", 3, "53100", 101}, {"SQLAllocEnv", 1, "HY000", 0},
      {"", 0, "", 0}};
  for (const auto& [call, occurrence, state, kept] : kCases) {
    SCOPED_TRACE(call);
    testing_support::FailingOdbc odbc;
    odbc.Fail({.call = call, .occurrence = occurrence, .onward = true, .sqlState = state});
    ASSERT_TRUE(*call != '\0' || Peer(dsn).Execute("DROP TABLE System"));
    GatherThrough(odbc);
    EXPECT_EQ(Status("PDC01", 0), corvid::kStatusUnableToWrite);
    const std::string error(corvid::ComputerList.At(0).LogResults[0].ErrorText.c_str());
    EXPECT_TRUE(error == state || (*state == '\0' && !error.empty())) << error;
    EXPECT_EQ(Status("PDC01", 1), corvid::kStatusCancelled) << "the run stops at a database failure";
    EXPECT_EQ(Status("WS04", 2), corvid::kStatusCancelled);
    if (*call == '\0') break;
    EXPECT_EQ(Stored("System", "PDC01").size(), kept) << "the first transaction of 101 rows stays";
    ASSERT_TRUE(corvid::RunSilentGather());
    ExpectEverythingStoredOnce();
    Peer peer(dsn);
    ASSERT_TRUE(peer.Execute("DELETE FROM System")) << peer.error();
  }
}

// Another client that commits while a gather is between its horizon and
// its first insert: SQLite must not leave the gather on a stale snapshot
// that can never write.
TEST_P(GatherTest, ACommitByAnotherClientDoesNotStallTheGather) {
  if (GetParam() == Backend::kSqlite) {  // the driver's busy time-out short, so that a stall fails fast
    dsn += "Busy";
    sandbox.AddDataSource(dsn, testing_support::kSqliteDriverEntry,
                          {{"Database", (sandbox.root() / "Corvid.db").string()}, {"Timeout", "3000"}});
    corvid::Settings.DataSource.DSN = dsn;
  }
  testing_support::HookedOdbc other;
  bool done = false;
  other.beforePrepare = [&](std::string_view sql) {
    if (!sql.starts_with("INSERT INTO System") || std::exchange(done, true)) return;
    Peer peer(dsn);
    EXPECT_TRUE(peer.Execute("INSERT INTO Application (Workstation, Computer) VALUES ('OTHER', 'OTHER')"))
        << peer.error();
  };
  GatherThrough(other);
  EXPECT_EQ(Status("PDC01", 0), corvid::kStatusCompleted);
  ExpectEverythingStoredOnce();
}

// Two gathers of one computer at once, in other letters: the second waits
// for the first. Each thread's first insert waits (a second at most) for the
// other's, so two gathers that could overlap, do.
TEST_P(GatherTest, TwoGathersOfOneComputerAtOnceStoreEachRecordOnce) {
  std::mutex mutex;
  std::condition_variable met;
  int arrived = 0;
  testing_support::HookedOdbc meet;
  meet.beforePrepare = [&](std::string_view sql) {
    if (!sql.starts_with("INSERT INTO")) return;
    std::unique_lock lock(mutex);
    ++arrived;
    met.notify_all();
    met.wait_for(lock, std::chrono::seconds(1), [&] { return arrived >= 2; });
  };
  platform::Override<platform::OdbcService> use(meet);
  bool ok[2] = {};
  auto gather = [&](int i, const char* name) {
    corvid::LogReader reader("System", nullptr);
    ok[i] = corvid::GatherLog(reader, name);
  };
  { std::jthread first(gather, 0, "PDC01"), second(gather, 1, "pdc01"); }
  EXPECT_TRUE(ok[0] && ok[1]);
  EXPECT_TRUE(Stored("System", "PDC01") == Expected("PDC01", "System"));
}

TEST_P(GatherTest, ACancelMidLogRollsBackAndTheNextGatherCompletes) {
  corvid::Settings.TransactionPeriod = 9;
  testing_support::HookedOdbc cancel;  // as the Cancel button would, at the 25th insert
  cancel.beforeExecute = [](int n) { if (n == 25) corvid::cancelRequested = 1; };
  GatherThrough(cancel);
  EXPECT_EQ(Status("PDC01", 0), corvid::kStatusCancelled);
  EXPECT_EQ(Stored("System", "PDC01").size(), 20u) << "two transactions of ten; the rest rolled back";
  ASSERT_TRUE(corvid::RunSilentGather());
  ExpectEverythingStoredOnce();
}

// A new System event of PDC01, written at `when`.
void Report(const std::string& log, uint32_t when, uint32_t eventId = 6006) {
  platform::evt::EventRecordData record{.timeGenerated = when, .timeWritten = when, .eventId = eventId,
                                        .eventType = 4, .source = "EventLog", .computer = "PDC01",
                                        .strings = {}, .sid = {}, .data = {}};
  EXPECT_EQ(platform::evt::AppendRecord(log, record), 0u);
}

constexpr uint32_t kLate = 1900000000;  // after every record of the sample

// At the first clear of a run (PDC01's System log comes first), writes
// `before` events into the log right before it (after the last read) and
// `after` right after it, in the second kLate; `armed` again for the next run.
struct ReportAroundClear : platform::EventLogWrapper {
  ReportAroundClear(std::string file, int first, int then)
      : EventLogWrapper(platform::EventLogService::Default()), log(std::move(file)), before(first), after(then) {}
  BOOL ClearEventLog(HANDLE handle, const char* backup) override {
    const bool act = std::exchange(armed, false);
    for (int i = 0; act && i < before; ++i) Report(log, kLate, 7000 + written++);
    const BOOL cleared = EventLogWrapper::ClearEventLog(handle, backup);
    for (int i = 0; act && cleared && i < after; ++i) Report(log, kLate, 7000 + written++);
    return cleared;
  }
  std::string log;
  int before, after, written = 0;
  bool armed = true;
};

class EraseTest : public GatherTest {
 protected:
  void SetUp() override { GatherTest::SetUp(), corvid::Settings.EraseLogs = 1; }
  size_t LeftIn(const char* computer) const {
    std::vector<std::vector<uint8_t>> left;
    EXPECT_TRUE(testing_support::ReadWholeLog(computer, "System", left));
    return left.size();
  }
  const std::string pdcSystem = (machine.root() / "network/PDC01/C$/WINNT/system32/config/SysEvent.Evt").string();
};
INSTANTIATE_TEST_SUITE_P(Databases, EraseTest, kBoth, testing_support::BackendName);

TEST_P(EraseTest, AnEventWrittenAfterTheLastReadKeepsTheLogUncleared) {
  const testing_support::Rows before = Expected("PDC01", "System");
  {
    ReportAroundClear report(pdcSystem, 1, 0);
    platform::Override<platform::EventLogService> use(report);
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

// The skip rule takes the first records of the newest stored second for
// rows already stored; after a clear, such records are new. Each round
// writes records in the second of the clear right after it, and the next
// round must store them, once, and clear them only then. The first round
// also gets an event written while the log is read, stored before the clear.
TEST_P(EraseTest, RecordsWrittenInTheSecondOfAClearAreStoredOnceAndNeverLost) {
  Report(pdcSystem, kLate, 6999);
  const size_t sample = Expected("PDC01", "System").size() + 1;
  ReportAroundClear report(pdcSystem, 0, 2);
  platform::Override<platform::EventLogService> use(report);
  testing_support::HookedOdbc duringRead;
  duringRead.beforeExecute = [&](int n) { if (n == 200) Report(pdcSystem, 1800000000); };
  platform::Override<platform::OdbcService> useOdbc(duringRead);
  for (int round = 0; round < 12; ++round) {
    report.armed = round < 11;
    ASSERT_TRUE(corvid::RunSilentGather());
    ASSERT_EQ(Status("PDC01", 0), corvid::kStatusCompleted) << round;
    ASSERT_EQ(Stored("System", "PDC01").size(), sample + 2 * round) << "round " << round;
  }
  EXPECT_EQ(report.written, 22);
  EXPECT_EQ(LeftIn("PDC01"), 0u);
  EXPECT_EQ(LeftIn("BDC02"), 0u);
}

// The real program, silent, as a scheduler starts it: this computer's
// registry names the data source, and the run log is the only report. A
// run cut off by its time-out leaves only whole commits; the next run
// completes and tells every log.
class SilentRunTest : public GatherTest {
 protected:
  std::string Run(const std::string& extra) {
    machine.Write("drives/c/Corvid/.keep", "");
    machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"" + dsn + "\"\n" + extra);
    const std::string command = "'" CORVID_BIN_DIR "/corvid' -S '" CORVID_SAMPLE_DIR "/domain.imp' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return machine.Read("drives/c/Corvid/Corvid.log");
  }
};
INSTANTIATE_TEST_SUITE_P(Databases, SilentRunTest, kBoth, testing_support::BackendName);

TEST_P(SilentRunTest, ARunCutOffByItsTimeOutLeavesWholeCommitsAndTheNextTellsEveryLog) {
  const std::string cut = Run("\"TimeOut\"=dword:00000000\n\"TransactionPeriod\"=dword:00000004\n");
  EXPECT_NE(cut.find("OPERATION CANCELLED"), std::string::npos) << cut;
  // Whatever landed came in whole transactions of five rows, or a whole log.
  for (const char* computer : testing_support::kSampleComputers) {
    const size_t stored = Stored("System", computer).size();
    EXPECT_TRUE(stored % 5 == 0 || stored == Expected(computer, "System").size()) << computer << " " << stored;
  }
  // The lines themselves are the run log's own tests'.
  const std::string log = Run("");
  EXPECT_NE(log.find("Error\tOFF05\tApplication\tUNABLE TO OPEN LOG\t53\n"), std::string::npos) << log;
  EXPECT_TRUE(log.ends_with("\nProcessed\t15\nErrors\t3\n\n")) << log;
  ExpectEverythingStoredOnce();
}

}  // namespace
