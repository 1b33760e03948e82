#include <gtest/gtest.h>

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
