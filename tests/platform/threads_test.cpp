#include <gtest/gtest.h>

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
