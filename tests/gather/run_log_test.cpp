// The run log, byte for byte, with the clock fixed.
#include <gtest/gtest.h>

#include "config/settings_store.h"
#include "gather/run_log.h"
#include "platform/accounts_time/clock.h"
#include "resources/strings.h"
#include "common/computer_list.h"
#include "common/start_state.h"
#include "support/temp_machine.h"

namespace {

using corvid::ComputerList;
using corvid::RunLogSettings;

const std::string kHead =
    "===============================\n"
    "12/04/2026 10:19:15 Gathering completed\n"
    "Descr\tComputerName\t TableName\tOperation\tErrorCode\n"
    "===============================\n";
const std::string kPdcCompleted =
    "Success\tPDC01\tSystem     \tOPERATION COMPLETED\t0\n"
    "Success\tPDC01\tSecurity   \tOPERATION COMPLETED\t0\n"
    "Success\tPDC01\tApplication\tOPERATION COMPLETED\t0\n";

std::string Tail(int processed, int errors) {
  return "\n===============================\nProcessed\t" + std::to_string(processed) + "\nErrors\t" + std::to_string(errors) + "\n\n";
}

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corvid::Instance = resources::ProgramInstance();
    RunLogSettings = corvid::RunLogOptions{"C:\\Corvid\\Corvid.log", 0, 1};
    machine.Write("drives/c/Corvid/.keep", "");
    ComputerList.Clear();
  }
  void TearDown() override { ComputerList.Clear(); }

  void Add(const char* name, bool selected, std::array<int32_t, 3> statuses, std::array<int32_t, 3> codes = {},
           const char* errorText = "") {
    corvid::ComputerEntry entry = corvid::MakeComputerEntry(name);
    entry.Selected = selected ? 1 : 0;
    for (size_t i = 0; i < 3; ++i) {
      entry.LogResults[i].LogName = corvid::kPaddedLogNames[i];
      entry.LogResults[i].Status = statuses[i];
      entry.LogResults[i].ErrorCode = codes[i];
      entry.LogResults[i].ErrorText = errorText;
    }
    ComputerList.Append(entry);
  }
  std::string Log() const { return machine.Read("drives/c/Corvid/Corvid.log"); }

  testing_support::TempMachine machine;
  testing_support::ScopedEnv zone{"TZ", std::string("UTC")};
  platform::FixedClock clock{1796379555};  // 2026-12-04 10:19:15 UTC
  platform::Override<platform::ClockService> useClock{clock};
};

TEST_F(RunLogTest, FullLevelWritesEveryOutcomeOfTheSelectedComputers) {
  Add("PDC01", true, {11, 11, 11});
  Add("SKIPPED", false, {15, 15, 15});
  Add("OFF01", true, {15, 5, 5}, {53, 0, 0});
  Add("WS07", true, {11, 17, 5}, {0, 0, 0}, "08S01");
  Add("SRV03", true, {21, 16, 24}, {1722, 1117, 5});
  Add("", true, {99, -3, 11}, {-5, 7, 0});
  corvid::WriteRunReport();
  EXPECT_EQ(Log(), kHead + kPdcCompleted +
                       "Error\tOFF01\tSystem     \tUNABLE TO OPEN LOG\t53\n"
                       "Error\tOFF01\tSecurity   \tOPERATION CANCELLED\t0\n"
                       "Error\tOFF01\tApplication\tOPERATION CANCELLED\t0\n"
                       "Success\tWS07\tSystem     \tOPERATION COMPLETED\t0\n"
                       "Error\tWS07\tSecurity   \tUNABLE TO WRITE LOG\t08S01\n"
                       "Error\tWS07\tApplication\tOPERATION CANCELLED\t0\n"
                       "Error\tSRV03\tSystem     \tREGISTRY UNAVAILABLE\t1722\n"
                       "Error\tSRV03\tSecurity   \tUNABLE TO READ LOG\t1117\n"
                       "Error\tSRV03\tApplication\tUNABLE TO CLEAR LOG\t5\n"
                       "Error\t\tSystem     \tUnknown\t-5\n"
                       "Error\t\tSecurity   \tUnknown\t7\n"
                       "Success\t\tApplication\tOPERATION COMPLETED\t0\n" +
                       Tail(15, 10));
}

// Level 2 writes no log; an unopenable file loses the report silently.
TEST_F(RunLogTest, ErrorsOnlyCountsTheSuccessLinesItDropsAndNoLogOpensNothing) {
  RunLogSettings.detailLevel = 1;
  Add("PDC01", true, {11, 11, 15}, {0, 0, 2});
  corvid::WriteRunReport();
  EXPECT_EQ(Log(), kHead + "Error\tPDC01\tApplication\tUNABLE TO OPEN LOG\t2\n" + Tail(3, 1));
  for (const char* path : {"C:\\Corvid\\Other.log", "C:\\No\\Such\\Folder\\Corvid.log", ""}) {
    RunLogSettings.detailLevel = std::string_view(path).ends_with("Other.log") ? 2 : 0;
    RunLogSettings.path = path;
    corvid::WriteRunReport();
  }
  EXPECT_FALSE(std::filesystem::exists(machine.root() / "drives/c/Corvid/Other.log"));
  EXPECT_FALSE(std::filesystem::exists(machine.root() / "drives/c/No"));
}

TEST_F(RunLogTest, OnlyExactlyOneOverwritesAndAnEmptyListStillReports) {
  Add("PDC01", true, {11, 11, 11});
  corvid::WriteRunReport();
  corvid::WriteRunReport();
  EXPECT_EQ(Log(), kHead + kPdcCompleted + Tail(3, 0));
  RunLogSettings.appendChoice = 2;  // never written by the dialog, still append
  ComputerList.Clear();
  corvid::WriteRunReport();
  EXPECT_EQ(Log(), kHead + kPdcCompleted + Tail(3, 0) + kHead + Tail(0, 0));
}

}  // namespace
