// Threads cut off change nothing more, and the programs of the machine
// folder. (Named semaphores: the entry point's one-instance test; waits
// that time out: the silent run cut off by its time-out.)
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/threads/threads.h"
#include "support/temp_machine.h"

namespace {

using namespace std::chrono_literals;
using testing_support::TempMachine;

// A worker that keeps changing shared state, as a gather does.
struct Worker {
  std::atomic<int> changes{0};
  std::atomic<bool> refused{false};
};

TEST(Threads, ATerminatedThreadChangesNothingMore) {
  static Worker worker;  // the cut-off thread may outlive this test
  HANDLE thread = CreateThread(nullptr, 0, [](void*) -> DWORD {
    for (;;) {
      platform::SideEffectPermit permit;
      if (!permit) {
        worker.refused = true;
        return 0;
      }
      ++worker.changes;
      std::this_thread::sleep_for(1ms);
    }
  }, nullptr, 0, nullptr);
  while (worker.changes < 5) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(TerminateThread(thread, 0));
  const int atTermination = worker.changes;
  EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD{WAIT_OBJECT_0});
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(worker.changes, atTermination);
  EXPECT_TRUE(worker.refused);
  CloseHandle(thread);
  EXPECT_TRUE(static_cast<bool>(platform::SideEffectPermit())) << "threads we did not start are never refused";
}

TEST(Processes, RunToTheirExitCodeOrAreTerminatedOrFailWithTheWindowsCode) {
  TempMachine machine;
  const auto write = [&](const char* name, const char* text, mode_t mode) {
    machine.Write(std::string("drives/c/App/") + name, text);
    ::chmod((machine.root() / "drives/c/App" / name).c_str(), mode);
  };
  write("Tool.exe", "#!/bin/sh\nexit 7\n", 0755);
  write("Sleeper.exe", "#!/bin/sh\nexec sleep 30\n", 0755);
  write("NotAProgram.exe", "just text\n", 0755);
  write("Locked.exe", "#!/bin/sh\n", 0644);
  const auto start = [](const char* program, PROCESS_INFORMATION& info) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(program, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                          &startup, &info) != FALSE;
  };
  PROCESS_INFORMATION tool{}, sleeper{};
  ASSERT_TRUE(start("C:\\APP\\tool.exe", tool));
  ASSERT_TRUE(start("C:\\App\\Sleeper.exe", sleeper));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(sleeper.hProcess, &code));
  EXPECT_EQ(code, DWORD{STILL_ACTIVE});
  ASSERT_TRUE(TerminateProcess(sleeper.hProcess, 3));
  for (const auto& [info, expected] : {std::pair{tool, 7u}, {sleeper, 3u}}) {
    EXPECT_TRUE(CloseHandle(info.hThread));  // closed before the wait, as the launcher does
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), DWORD{WAIT_OBJECT_0});
    ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, expected);
    EXPECT_TRUE(CloseHandle(info.hProcess));
  }
  const std::pair<const char*, DWORD> failures[] = {{"C:\\App\\Dsnsmith.exe", ERROR_FILE_NOT_FOUND},
                                                    {"C:\\App\\NotAProgram.exe", ERROR_BAD_EXE_FORMAT},
                                                    {"C:\\App\\Locked.exe", ERROR_ACCESS_DENIED}};
  for (const auto& [program, error] : failures) {
    PROCESS_INFORMATION info{};
    EXPECT_FALSE(start(program, info)) << program;
    EXPECT_EQ(GetLastError(), error) << program;
  }
}

}  // namespace
