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

using testing_support::TempMachine;

TEST(NamedSemaphore, ExistsExactlyWhileAHandleIsOpen) {
  TempMachine machine;
  EXPECT_EQ(OpenSemaphoreA(SYNCHRONIZE, FALSE, "Corvid"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  HANDLE marker = CreateSemaphoreA(nullptr, 0, 1, "Corvid");
  ASSERT_NE(marker, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

  HANDLE seen = OpenSemaphoreA(SYNCHRONIZE, FALSE, "Corvid");
  ASSERT_NE(seen, nullptr);
  EXPECT_TRUE(CloseHandle(seen));

  HANDLE again = CreateSemaphoreA(nullptr, 0, 1, "Corvid");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(again);
  EXPECT_EQ(OpenSemaphoreA(SYNCHRONIZE, FALSE, "Other"), nullptr);

  EXPECT_TRUE(CloseHandle(marker));
  EXPECT_EQ(OpenSemaphoreA(SYNCHRONIZE, FALSE, "Corvid"), nullptr);
}

TEST(NamedSemaphore, EachMachineFolderIsItsOwnComputer) {
  HANDLE marker = nullptr;
  {
    TempMachine one;
    marker = CreateSemaphoreA(nullptr, 0, 1, "Corvid");
    ASSERT_NE(marker, nullptr);
  }
  TempMachine two;
  EXPECT_EQ(OpenSemaphoreA(SYNCHRONIZE, FALSE, "Corvid"), nullptr);
  CloseHandle(marker);
}

}  // namespace

namespace {

using namespace std::chrono_literals;

DWORD SleepThenReturn(void* parameter) {
  std::this_thread::sleep_for(std::chrono::milliseconds(*static_cast<int*>(parameter)));
  return 7;
}

DWORD ExitEarly(void*) {
  ExitThread(42);
}

TEST(Threads, RunInParallelAndSignalTheirHandles) {
  int delay = 200;
  std::vector<HANDLE> threads;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 8; ++i) {
    DWORD id = 0;
    threads.push_back(CreateThread(nullptr, 0, SleepThenReturn, &delay, 0, &id));
    ASSERT_NE(threads.back(), nullptr);
    EXPECT_NE(id, 0u);
  }
  EXPECT_EQ(WaitForSingleObject(threads[0], 0), static_cast<DWORD>(WAIT_TIMEOUT));
  for (HANDLE thread : threads) {
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(CloseHandle(thread));
  }
  // Eight threads of 200 ms each, side by side; far from 1600 ms in a row.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1200ms);
  EXPECT_EQ(WaitForSingleObject(threads[0], 0), static_cast<DWORD>(WAIT_FAILED));
  EXPECT_FALSE(CloseHandle(threads[0]));
}

TEST(Threads, ExitThreadEndsWithItsCode) {
  HANDLE thread = CreateThread(nullptr, 0, ExitEarly, nullptr, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 42u);
  CloseHandle(thread);
}

// A worker that keeps changing shared state, as a gather does.
struct Worker {
  std::atomic<int> changes{0};
  std::atomic<bool> refused{false};
  std::atomic<bool> stop{false};
};

DWORD ChangeForever(void* parameter) {
  auto* worker = static_cast<Worker*>(parameter);
  while (!worker->stop) {
    platform::SideEffectPermit permit;
    if (!permit) {
      worker->refused = true;
      return 0;
    }
    ++worker->changes;
    std::this_thread::sleep_for(1ms);
  }
  return 0;
}

TEST(Threads, ATerminatedThreadChangesNothingMore) {
  static Worker shared;  // the cut-off thread may outlive this test
  Worker* worker = &shared;
  HANDLE thread = CreateThread(nullptr, 0, ChangeForever, worker, 0, nullptr);
  while (worker->changes < 5) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(WaitForSingleObject(thread, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_TRUE(TerminateThread(thread, 0));
  const int atTermination = worker->changes;
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(worker->changes, atTermination);
  EXPECT_TRUE(worker->refused);
  DWORD code = 1;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(thread);
  platform::SideEffectPermit mainThread;
  EXPECT_TRUE(static_cast<bool>(mainThread)) << "threads we did not start are never refused";
}

}  // namespace

namespace {

// Programs of the machine folder, started as the companion tool would be.
class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Script("drives/c/App/Tool.exe", "#!/bin/sh\nexit 7\n");
    Script("drives/c/App/Sleeper.exe", "#!/bin/sh\nexec sleep 30\n");
    machine.Write("drives/c/App/NotAProgram.exe", "just text\n");
    ::chmod((machine.root() / "drives/c/App/NotAProgram.exe").c_str(), 0755);
    machine.Write("drives/c/App/Locked.exe", "#!/bin/sh\n");
  }
  void Script(const std::string& path, const std::string& text) {
    machine.Write(path, text);
    ::chmod((machine.root() / path).c_str(), 0755);
  }
  bool Start(const char* program, PROCESS_INFORMATION& info) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(program, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                          &startup, &info) != FALSE;
  }
  TempMachine machine;
};

TEST_F(ProcessTest, RunsToItsExitCode) {
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(Start("C:\\APP\\tool.exe", info));
  EXPECT_TRUE(CloseHandle(info.hThread));  // closed at once, as the launcher does
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(CloseHandle(info.hProcess));
}

TEST_F(ProcessTest, StillActiveUntilTerminated) {
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(Start("C:\\App\\Sleeper.exe", info));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_TRUE(TerminateProcess(info.hProcess, 3));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
  EXPECT_EQ(code, 3u);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

TEST_F(ProcessTest, FailuresCarryTheWindowsCode) {
  const std::pair<const char*, DWORD> cases[] = {{"C:\\App\\Dsnsmith.exe", ERROR_FILE_NOT_FOUND},
                                                 {"C:\\App\\NotAProgram.exe", ERROR_BAD_EXE_FORMAT},
                                                 {"C:\\App\\Locked.exe", ERROR_ACCESS_DENIED}};
  for (const auto& [program, error] : cases) {
    PROCESS_INFORMATION info{};
    EXPECT_FALSE(Start(program, info)) << program;
    EXPECT_EQ(GetLastError(), error) << program;
  }
}

}  // namespace
