// The real program started as a user or a scheduler starts it. A list file that is a FIFO
// holds a silent run at its list load: how far it got, and the single-instance marker held.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/threads/threads.h"
#include "support/subprocess.h"
#include "support/temp_machine.h"

namespace {

using namespace std::chrono_literals;
using namespace testing_support;

class EntryPointTest : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove_all(output); }
  void Install() { machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n"); }
  std::string Fifo(const std::string& relative) {
    const auto path = machine.root() / relative;
    std::filesystem::create_directories(path.parent_path());
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return path.string();
  }
  Child Run(const std::vector<std::string>& arguments, const std::vector<std::string>& env = {}) {
    return Start(std::string(CORVID_BIN_DIR) + "/corvid", arguments, output.string(), env);
  }
  // What a run that ended with 0 wrote, or its status.
  std::string Ended(const Child& child) {
    const int status = WaitFor(child, 10s);
    std::ifstream err(child.err), out(child.out);
    const std::string said = std::string(std::istreambuf_iterator<char>(err), {}) + std::string(std::istreambuf_iterator<char>(out), {});
    return status == 0 ? said : "(status " + std::to_string(status) + ")";
  }
  // Waits up to ten seconds for the single-instance marker to be held or not.
  static bool MarkerBecomes(bool held) {
    for (int i = 0; i < 2000; ++i, std::this_thread::sleep_for(5ms)) {
      HANDLE marker = OpenSemaphoreA(SYNCHRONIZE, FALSE, "Corvid");
      if (marker != nullptr) CloseHandle(marker);
      if ((marker != nullptr) == held) return true;
    }
    return false;
  }
  TempMachine machine;
  std::filesystem::path output = MakeTempFolder();
};

TEST_F(EntryPointTest, OnlyAnInstalledSilentRunWithAListGoesOn) {
  EXPECT_EQ(Ended(Run({"-S", "list.imp"})), "");
  EXPECT_TRUE(std::filesystem::is_empty(machine.root())) << "no file may be created";
  Install();
  EXPECT_EQ(Ended(Run({"/S"})), "");
  // A lower-case switch is a file name: the interactive road, which without a display says so.
  const std::string list = Fifo("list.imp");
  const std::string said = Ended(Run({"-s", list}, {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}));
  EXPECT_NE(said.find("no display"), std::string::npos) << said;
  EXPECT_FALSE(HasReader(list, 0ms));
}

TEST_F(EntryPointTest, OneInstanceAtATimeUntilTheHolderDies) {
  Install();
  const std::string firstList = Fifo("first.imp"), secondList = Fifo("My Lists/all computers.imp");
  const Child first = Run({"-S", firstList});
  ASSERT_TRUE(MarkerBecomes(true));
  // Interactive or silent, a second start ends at once and touches nothing.
  EXPECT_EQ(Ended(Run({"-S", secondList})), "");
  EXPECT_EQ(Ended(Run({})), "");
  EXPECT_FALSE(HasReader(secondList, 0ms));
  EXPECT_EQ(WaitFor(first, 0ms), -1) << "the first instance still runs";
  // A crash leaves nothing that blocks the next start; a list path with blanks may come before the switch.
  Kill(first);
  ASSERT_TRUE(MarkerBecomes(false));
  const Child third = Run({secondList, "/S"});
  EXPECT_TRUE(HasReader(secondList, 10s));
  EXPECT_EQ(WaitFor(third, 10s), 0);
}

}  // namespace
