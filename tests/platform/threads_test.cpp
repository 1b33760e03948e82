// The programs of the machine folder. (Named semaphores: the entry point's
// one-instance test; threads cut off when a wait times out: gather's silent
// run cut off by its time-out.)
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "platform/base/last_error.h"
#include "platform/threads/threads.h"
#include "support/temp_machine.h"

namespace {

using testing_support::TempMachine;

TEST(Processes, RunToTheirExitCodeOrAreTerminatedOrFailWithTheWindowsCode) {
  TempMachine machine;
  for (const auto& [name, text, mode] : {std::tuple{"Tool.exe", "#!/bin/sh\nexit 7\n", 0755}, {"Locked.exe", "#!/bin/sh\n", 0644},
                                         {"Sleeper.exe", "#!/bin/sh\nexec sleep 30\n", 0755}, {"NotAProgram.exe", "just text\n", 0755}}) {
    machine.Write(std::string("drives/c/App/") + name, text);
    ::chmod((machine.root() / "drives/c/App" / name).c_str(), static_cast<mode_t>(mode));
  }
  const auto start = [](const char* program, PROCESS_INFORMATION& info) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(program, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info) != FALSE;
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
