// The start of the real program, run as a child process the way a user or
// a scheduler starts it. A list file that is a FIFO makes a silent run wait
// at its list load, which shows how far it got and keeps it holding the
// single-instance marker for as long as a test needs.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "platform/threads/threads.h"
#include "support/subprocess.h"
#include "support/temp_machine.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Child;
using testing_support::HasReader;
using testing_support::Start;
using testing_support::TempMachine;
using testing_support::WaitFor;

const std::string kProgram = std::string(CORVID_BIN_DIR) + "/corvid";

class EntryPointTest : public ::testing::Test {
 protected:
  void SetUp() override { output = testing_support::MakeTempFolder(); }
  void TearDown() override { std::filesystem::remove_all(output); }

  void Install() { machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n"); }
  std::string Fifo(const std::string& relative) {
    const auto path = machine.root() / relative;
    std::filesystem::create_directories(path.parent_path());
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return path.string();
  }
  Child Run(const std::vector<std::string>& arguments) {
    return Start(kProgram, arguments, output.string());
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static bool MarkerHeld() {
    HANDLE marker = OpenSemaphoreA(SYNCHRONIZE, FALSE, "Corvid");
    if (marker != nullptr) CloseHandle(marker);
    return marker != nullptr;
  }
  static bool WaitUntil(bool wanted, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (MarkerHeld() != wanted) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  TempMachine machine;
  std::filesystem::path output;
};

TEST_F(EntryPointTest, NotInstalledSilentRunDoesNothing) {
  const Child child = Run({"-S", "list.imp"});
  EXPECT_EQ(WaitFor(child, 10s), 0);
  EXPECT_EQ(Read(child.out), "");
  EXPECT_EQ(Read(child.err), "");
  EXPECT_TRUE(std::filesystem::is_empty(machine.root())) << "no file may be created";
}

TEST_F(EntryPointTest, SwitchWithoutListEndsAtOnce) {
  Install();
  const Child child = Run({"/S"});
  EXPECT_EQ(WaitFor(child, 10s), 0);
  EXPECT_EQ(Read(child.err), "");
}

TEST_F(EntryPointTest, QuotedListPathWorksBeforeAndAfterTheSwitch) {
  Install();
  const std::string list = Fifo("My Lists/all computers.imp");
  for (const auto& arguments : {std::vector<std::string>{"-S", list},
                                std::vector<std::string>{list, "/S"},
                                std::vector<std::string>{"other.imp", "-S", list}}) {
    const Child child = Run(arguments);
    EXPECT_TRUE(HasReader(list, 10s)) << "the silent run reached " << list;
    EXPECT_EQ(WaitFor(child, 10s), 0);
  }
}

TEST_F(EntryPointTest, LowerCaseSwitchIsAFileNameAndTheInteractiveRoadIsTaken) {
  Install();
  const std::string list = Fifo("list.imp");
  // No display: the interactive road says so and ends with 0.
  const Child child =
      Start(kProgram, {"-s", list}, output.string(), {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
  EXPECT_EQ(WaitFor(child, 10s), 0);
  EXPECT_NE(Read(child.err).find("no display"), std::string::npos);
  EXPECT_FALSE(HasReader(list, 0ms));
}

TEST_F(EntryPointTest, OneInstanceAtATimeUntilTheHolderDies) {
  Install();
  const std::string firstList = Fifo("first.imp");
  const std::string secondList = Fifo("second.imp");
  const Child first = Run({"-S", firstList});
  ASSERT_TRUE(WaitUntil(true, 10s));

  // Interactive or silent, a second start ends at once and touches nothing.
  for (const auto& arguments :
       {std::vector<std::string>{"-S", secondList}, std::vector<std::string>{}}) {
    const Child second = Run(arguments);
    EXPECT_EQ(WaitFor(second, 10s), 0);
    EXPECT_EQ(Read(second.err), "");
  }
  EXPECT_FALSE(HasReader(secondList, 0ms));
  EXPECT_EQ(WaitFor(first, 0ms), -1) << "the first instance still runs";

  // A crash leaves nothing that blocks the next start.
  testing_support::Kill(first);
  ASSERT_TRUE(WaitUntil(false, 10s));
  const Child third = Run({"-S", secondList});
  EXPECT_TRUE(HasReader(secondList, 10s));
  EXPECT_EQ(WaitFor(third, 10s), 0);
}

}  // namespace
