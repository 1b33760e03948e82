// Time conversions in a zone with daylight saving, and account lookups on
// computers of the network root.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/accounts_time/accounts.h"
#include "platform/accounts_time/clock.h"
#include "platform/accounts_time/time_conversion.h"
#include "platform/base/last_error.h"
#include "support/temp_machine.h"

namespace {

using testing_support::ScopedEnv;
using testing_support::TempMachine;

SYSTEMTIME Date(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
  SYSTEMTIME st{};
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  st.wMilliseconds = ms;
  return st;
}

uint64_t Ticks(const FILETIME& ft) { return (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime; }

TEST(TimeConversion, FileTimesCountFrom1601) {
  FILETIME ft;
  SYSTEMTIME epoch = Date(1970, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
  EXPECT_EQ(Ticks(ft), 116444736000000000ull);
  SYSTEMTIME leap = Date(2024, 2, 29, 23, 59, 59, 999);
  ASSERT_TRUE(SystemTimeToFileTime(&leap, &ft));
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(back.wYear, 2024);
  EXPECT_EQ(back.wDay, 29);
  EXPECT_EQ(back.wMilliseconds, 999);
  EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday

  for (SYSTEMTIME bad : {Date(2023, 2, 29), Date(1600, 12, 31), Date(2024, 13, 1), Date(2024, 1, 1, 24)}) {
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST(TimeConversion, TheDatesOwnOffsetInAndTheOffsetOfNowBack) {
  ScopedEnv zone("TZ", std::string("Europe/Berlin"));
  SYSTEMTIME summer = Date(2024, 7, 1, 12, 0, 0);
  SYSTEMTIME local;
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &summer, &local));
  EXPECT_EQ(local.wHour, 14);  // two hours east in summer
  SYSTEMTIME winter = Date(2024, 1, 15, 12, 0, 0);
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &winter, &local));
  EXPECT_EQ(local.wHour, 13);

  // Read back in January, 14:00 local becomes 13:00 UTC, not 12:00.
  platform::FixedClock january(1705320000);  // 2024-01-15 12:00 UTC
  platform::Override<platform::ClockService> now(january);
  FILETIME localTime;
  SYSTEMTIME fourteen = Date(2024, 7, 1, 14, 0, 0);
  ASSERT_TRUE(SystemTimeToFileTime(&fourteen, &localTime));
  FILETIME utc;
  ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));
  SYSTEMTIME result;
  FileTimeToSystemTime(&utc, &result);
  EXPECT_EQ(result.wHour, 13);
}

std::vector<uint8_t> Sid(std::initializer_list<uint32_t> parts, uint8_t authority = 5) {
  std::vector<uint8_t> sid = {1, static_cast<uint8_t>(parts.size()), 0, 0, 0, 0, 0, authority};
  for (uint32_t part : parts) {
    for (int i = 0; i < 4; ++i) sid.push_back(static_cast<uint8_t>(part >> (8 * i)));
  }
  return sid;
}

struct Lookup {
  bool ok;
  std::string name;
  std::string domain;
  DWORD error;
};

Lookup Ask(const char* computer, const std::vector<uint8_t>& sid) {
  char name[255];
  char domain[255];
  DWORD nameSize = sizeof name;
  DWORD domainSize = sizeof domain;
  SID_NAME_USE use;
  const BOOL ok = LookupAccountSidA(computer, sid.data(), name, &nameSize, domain, &domainSize, &use);
  return ok ? Lookup{true, name, domain, 0} : Lookup{false, "", "", GetLastError()};
}

TEST(Accounts, WellKnownAndTheComputersOwn) {
  TempMachine machine;
  // A SAM laid out as Windows keeps it: the machine identifier at the end of
  // Domains\Account "V", and the relative identifier as a value's type.
  machine.Write("network/PDC01/registry.reg",
                "Windows Registry Editor Version 5.00\n\n"
                "[HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\\Account]\n"
                "\"V\"=hex:00,00,00,00,11,11,11,11,22,22,22,22,33,33,33,33\n\n"
                "[HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\\Account\\Users\\Names\\Administrator]\n"
                "@=hex(1f4):\n\n"
                "[HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\\Account\\Users\\Names\\jdoe]\n"
                "@=hex(3e8):\n\n"
                "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\n"
                "\"ComputerName\"=\"PDC01\"\n\n");
  struct Case {
    const char* computer;
    std::vector<uint8_t> sid;
    Lookup expected;
  };
  const Case cases[] = {
      {"PDC01", Sid({18}), {true, "SYSTEM", "NT AUTHORITY", 0}},
      {"\\\\PDC01", Sid({19}), {true, "LOCAL SERVICE", "NT AUTHORITY", 0}},
      {"PDC01", Sid({0}, 1), {true, "Everyone", "", 0}},
      {"PDC01", Sid({32, 544}), {true, "Administrators", "BUILTIN", 0}},
      {"PDC01", Sid({21, 0x11111111, 0x22222222, 0x33333333, 1000}), {true, "jdoe", "PDC01", 0}},
      {"PDC01", Sid({21, 0x11111111, 0x22222222, 0x33333333, 500}), {true, "Administrator", "PDC01", 0}},
      {"PDC01", Sid({21, 0x11111111, 0x22222222, 0x33333333, 1001}), {false, "", "", 1332}},
      {"PDC01", Sid({21, 9, 9, 9, 1000}), {false, "", "", 1332}},  // another domain
      {"OFF05", Sid({18}), {false, "", "", 1722}},                    // switched off
      {nullptr, Sid({18}), {true, "SYSTEM", "NT AUTHORITY", 0}},       // this computer
  };
  for (const Case& c : cases) {
    const Lookup got = Ask(c.computer, c.sid);
    EXPECT_EQ(got.ok, c.expected.ok) << platform::SidText(c.sid.data());
    EXPECT_EQ(got.name, c.expected.name);
    EXPECT_EQ(got.domain, c.expected.domain);
    EXPECT_EQ(got.error, c.expected.error);
  }

  char name[4];
  char domain[255];
  DWORD nameSize = sizeof name;
  DWORD domainSize = sizeof domain;
  SID_NAME_USE use;
  const auto network = Sid({20});
  EXPECT_FALSE(LookupAccountSidA("PDC01", network.data(), name, &nameSize, domain, &domainSize, &use));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(nameSize, 16u);  // "NETWORK SERVICE" and its terminator
}

TEST(Accounts, SidLengthRefusesWhatIsNotAnIdentifier) {
  const auto sid = Sid({21, 1, 2, 3, 1000});
  EXPECT_EQ(platform::SidLength(sid.data(), sid.size()), 28u);
  EXPECT_EQ(platform::SidLength(sid.data(), 27), 0u);
  std::vector<uint8_t> bad = sid;
  bad[0] = 2;
  EXPECT_EQ(platform::SidLength(bad.data(), bad.size()), 0u);
  EXPECT_EQ(platform::SidText(sid.data()), "S-1-5-21-1-2-3-1000");
}

// A copied Windows disk answers for its accounts from its SAM hive, whose
// "V" keeps the machine identifier inside a table of its own.
TEST(Accounts, FromTheSamHiveOfACopiedDisk) {
  const std::filesystem::path sam = std::string(CORVID_REAL_DATA) + "/SAM";
  if (!std::filesystem::exists(sam)) GTEST_SKIP() << "no " << sam;
  TempMachine machine;
  const auto config = machine.root() / "network/XP02/C$/WINDOWS/system32/config";
  std::filesystem::create_directories(config);
  std::filesystem::create_symlink(sam, config / "SAM");
  const uint32_t m1 = 1760460187, m2 = 1592185332, m3 = 161725925;
  struct Case {
    std::vector<uint8_t> sid;
    Lookup expected;
  };
  const Case cases[] = {
      {Sid({21, m1, m2, m3, 500}), {true, "Administrator", "XP02", 0}},
      {Sid({21, m1, m2, m3, 501}), {true, "Guest", "XP02", 0}},
      {Sid({21, m1, m2, m3, 1000}), {true, "Preston", "XP02", 0}},
      {Sid({21, m1, m2, m3, 1001}), {false, "", "", 1332}},
      {Sid({21, m1, m2, m3 + 1, 500}), {false, "", "", 1332}},
  };
  for (const Case& c : cases) {
    const Lookup got = Ask("XP02", c.sid);
    EXPECT_EQ(got.ok, c.expected.ok) << platform::SidText(c.sid.data());
    EXPECT_EQ(got.name, c.expected.name);
    EXPECT_EQ(got.domain, c.expected.domain);
    EXPECT_EQ(got.error, c.expected.error);
  }
}

}  // namespace
