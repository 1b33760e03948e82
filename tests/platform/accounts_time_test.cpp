// Account lookups on computers of the network root. (Times: gather's
// EventRowTest.)
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/accounts_time/accounts.h"
#include "platform/base/last_error.h"
#include "support/temp_machine.h"

namespace {

std::vector<uint8_t> Sid(std::initializer_list<uint32_t> parts, uint8_t authority = 5) {
  std::vector<uint8_t> sid = {1, static_cast<uint8_t>(parts.size()), 0, 0, 0, 0, 0, authority};
  for (uint32_t part : parts)
    for (int i = 0; i < 4; ++i) sid.push_back(static_cast<uint8_t>(part >> (8 * i)));
  return sid;
}

// "name|domain", or the error.
std::string Ask(const char* computer, const std::vector<uint8_t>& sid) {
  char name[255], domain[255];
  DWORD nameSize = sizeof name, domainSize = sizeof domain;
  SID_NAME_USE use;
  if (!LookupAccountSidA(computer, sid.data(), name, &nameSize, domain, &domainSize, &use)) return std::to_string(GetLastError());
  return std::string(name) + "|" + domain;
}

TEST(Accounts, WellKnownAndTheComputersOwn) {
  testing_support::TempMachine machine;
  // A SAM laid out as Windows keeps it: the machine identifier at the end of
  // Domains\Account "V", and the relative identifier as a value's type.
  machine.Write("network/PDC01/registry.reg",
                "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\\Account]\n"
                "\"V\"=hex:00,00,00,00,11,11,11,11,22,22,22,22,33,33,33,33\n\n"
                "[HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\\Account\\Users\\Names\\Administrator]\n@=hex(1f4):\n\n"
                "[HKEY_LOCAL_MACHINE\\SAM\\SAM\\Domains\\Account\\Users\\Names\\jdoe]\n@=hex(3e8):\n\n"
                "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\n"
                "\"ComputerName\"=\"PDC01\"\n\n");
  const uint32_t m1 = 0x11111111, m2 = 0x22222222, m3 = 0x33333333;
  const std::tuple<const char*, std::vector<uint8_t>, const char*> cases[] = {
      {"\\\\PDC01", Sid({19}), "LOCAL SERVICE|NT AUTHORITY"}, {"PDC01", Sid({0}, 1), "Everyone|"},
      {"PDC01", Sid({32, 544}), "Administrators|BUILTIN"}, {"PDC01", Sid({21, m1, m2, m3, 1000}), "jdoe|PDC01"},
      {"PDC01", Sid({21, m1, m2, m3, 500}), "Administrator|PDC01"}, {"PDC01", Sid({21, m1, m2, m3, 1001}), "1332"},
      {"PDC01", Sid({21, 9, 9, 9, 1000}), "1332"},  // another domain
      {"OFF05", Sid({18}), "1722"},                 // switched off
      {nullptr, Sid({18}), "SYSTEM|NT AUTHORITY"},  // this computer
  };
  for (const auto& [computer, sid, expected] : cases) EXPECT_EQ(Ask(computer, sid), expected) << platform::SidText(sid.data());

  const auto sid = Sid({21, 1, 2, 3, 1000});
  EXPECT_EQ(platform::SidLength(sid.data(), sid.size()), 28u);
  EXPECT_EQ(platform::SidLength(sid.data(), 27), 0u);
}

// A copied Windows disk answers from its SAM hive, whose "V" keeps the
// machine identifier inside a table of its own.
TEST(Accounts, FromTheSamHiveOfACopiedDisk) {
  const std::filesystem::path sam = std::string(CORVID_REAL_DATA) + "/SAM";
  if (!std::filesystem::exists(sam)) GTEST_SKIP() << "no " << sam;
  testing_support::TempMachine machine;
  const auto config = machine.root() / "network/XP02/C$/WINDOWS/system32/config";
  std::filesystem::create_directories(config);
  std::filesystem::create_symlink(sam, config / "SAM");
  const uint32_t m1 = 1760460187, m2 = 1592185332, m3 = 161725925;
  const std::pair<std::vector<uint8_t>, const char*> cases[] = {
      {Sid({21, m1, m2, m3, 500}), "Administrator|XP02"}, {Sid({21, m1, m2, m3, 501}), "Guest|XP02"},
      {Sid({21, m1, m2, m3, 1000}), "Preston|XP02"}, {Sid({21, m1, m2, m3, 1001}), "1332"},
      {Sid({21, m1, m2, m3 + 1, 500}), "1332"}};
  for (const auto& [sid, expected] : cases) EXPECT_EQ(Ask("XP02", sid), expected) << platform::SidText(sid.data());
}

}  // namespace
