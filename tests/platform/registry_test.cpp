// The registry service over registry files, call by call, with the codes the
// Win32 calls give.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry.h"
#include "support/hives.h"
#include "support/temp_machine.h"

namespace {

using testing_support::TempMachine;

const char kHive[] =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion]\n"
    "\"InstallPath\"=\"C:\\\\Corvid\"\n"
    "\"TimeOut\"=dword:0000003c\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System]\n"
    "\"File\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,\\\n"
    "  25,00,00,00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\Zeta]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\alpha]\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Other]\n"
    "\"Kept\"=\"yes\"\n"
    "\n";

constexpr const char kSettings[] = "SOFTWARE\\Qentro\\Corvid\\CurrentVersion\\";
constexpr const char kSystemLog[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { machine.Write("registry.reg", kHive); }

  HKEY Open(const char* path, REGSAM access = KEY_READ | KEY_SET_VALUE) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key), ERROR_SUCCESS) << path;
    return key;
  }

  TempMachine machine;
};

TEST_F(RegistryTest, QueryFollowsTheBufferRules) {
  HKEY key = Open(kSettings);  // the trailing backslash is accepted
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "InstallPath", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 10u);  // "C:\Corvid" and its terminator

  char buffer[32];
  size = 5;
  EXPECT_EQ(RegQueryValueExA(key, "InstallPath", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                             &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 10u);
  size = sizeof buffer;
  ASSERT_EQ(RegQueryValueExA(key, "installpath", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                             &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "C:\\Corvid");

  DWORD number = 0;
  size = sizeof number;
  ASSERT_EQ(RegQueryValueExA(key, "TimeOut", nullptr, &type, reinterpret_cast<BYTE*>(&number),
                             &size),
            ERROR_SUCCESS);
  EXPECT_EQ(number, 60u);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  HKEY none = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nobody", 0, KEY_READ, &none),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ExpandStringsArriveAsSingleByteText) {
  HKEY key = Open(kSystemLog);
  char buffer[64];
  DWORD size = sizeof buffer;
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "File", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(size, 13u);
  EXPECT_STREQ(buffer, "%SystemRoot%");
  RegCloseKey(key);
}

TEST_F(RegistryTest, EnumeratesSubkeysInFileOrder) {
  HKEY key = Open(kSystemLog);
  char name[16];
  DWORD size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Zeta");
  EXPECT_EQ(size, 4u);
  size = 5;  // exactly "alpha" without room for its terminator
  EXPECT_EQ(RegEnumKeyExA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "alpha");
  size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 2, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, AccessIsCheckedAsOpened) {
  HKEY key = Open(kSettings, KEY_QUERY_VALUE);
  const DWORD value = 1;
  EXPECT_EQ(RegSetValueExA(key, "EraseLogs", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                           sizeof value),
            ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  key = Open(kSettings, KEY_SET_VALUE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "TimeOut", nullptr, nullptr, nullptr, &size),
            ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);  // closed twice
}

TEST_F(RegistryTest, WritesReplaceTheFileAndKeepEverythingElse) {
  struct stat before;
  ASSERT_EQ(::stat(machine.registry().c_str(), &before), 0);
  HKEY key = Open(kSettings, KEY_SET_VALUE);
  const DWORD value = 7;
  ASSERT_EQ(RegSetValueExA(key, "TimeOut", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                           sizeof value),
            ERROR_SUCCESS);
  struct stat after;
  ASSERT_EQ(::stat(machine.registry().c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino) << "replaced by rename, not rewritten in place";
  EXPECT_EQ(after.st_mode & 0777, 0600u) << "the settings may hold a password";
  ASSERT_EQ(RegSetValueExA(key, "DSN", 0, REG_SZ, reinterpret_cast<const BYTE*>("Ravelin"), 8),
            ERROR_SUCCESS);
  RegCloseKey(key);
  const std::string text = machine.Read("registry.reg");
  EXPECT_NE(text.find("\"TimeOut\"=dword:00000007"), std::string::npos) << text;
  EXPECT_NE(text.find("\"DSN\"=\"Ravelin\""), std::string::npos);
  EXPECT_NE(text.find("\"InstallPath\"=\"C:\\\\Corvid\""), std::string::npos);
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Other]\n\"Kept\"=\"yes\""), std::string::npos);
  EXPECT_NE(text.find("\\Zeta]"), std::string::npos);
  for (const auto& entry : std::filesystem::directory_iterator(machine.root())) {
    EXPECT_EQ(entry.path().filename(), "registry.reg") << "no temp file left behind";
  }
}

TEST_F(RegistryTest, SeesChangesThatAnotherProgramWrote) {
  HKEY key = Open(kSettings, KEY_QUERY_VALUE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "DSN", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  std::string changed = kHive;
  changed.insert(changed.find("\"TimeOut\""), "\"DSN\"=\"Other\"\n");
  machine.Write("registry.reg", changed);
  EXPECT_EQ(RegQueryValueExA(key, "DSN", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  RegCloseKey(key);
}

TEST_F(RegistryTest, AMalformedFileIsAnErrorAndIsNeverOverwritten) {
  const std::string broken = std::string(kHive) + "this is not a registry line\n";
  machine.Write("registry.reg", broken);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_READ, &key), ERROR_BADDB);
  EXPECT_NE(platform::LastRegistryFileError().find("line 18"), std::string::npos)
      << platform::LastRegistryFileError();
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr),
            ERROR_BADDB);
  EXPECT_EQ(machine.Read("registry.reg"), broken);
}

TEST(RegistryWithoutFile, IsEmptyAndCreatesNothingOnReads) {
  TempMachine machine;
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(std::filesystem::is_empty(machine.root()));

  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(key);
  struct stat made;
  ASSERT_EQ(::stat(machine.registry().c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 0777, 0600u) << "readable by its owner only from the first write";
  // Every key of the path is written, as regedit exports them.
  EXPECT_EQ(machine.Read("registry.reg"),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion]\n\n");
}

TEST(RemoteRegistry, IsReadOnlyAndNeedsTheComputersFolder) {
  TempMachine machine;
  machine.Write("network/BDC02/registry.reg", kHive);
  machine.Write("network/DARK/C$/x", "");  // switched on, but no registry service
  HKEY remote = nullptr;
  EXPECT_EQ(RegConnectRegistryA("\\\\OFF01", HKEY_LOCAL_MACHINE, &remote), ERROR_BAD_NETPATH);
  EXPECT_EQ(RegConnectRegistryA("DARK", HKEY_LOCAL_MACHINE, &remote), ERROR_BAD_NETPATH);
  EXPECT_EQ(RegConnectRegistryA("..", HKEY_LOCAL_MACHINE, &remote), ERROR_BAD_NETPATH);
  ASSERT_EQ(RegConnectRegistryA("\\\\bdc02", HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);

  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(remote, kSettings, 0, KEY_SET_VALUE, &key), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegOpenKeyExA(remote, kSettings, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "InstallPath", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(remote);

  // No name is this computer, whose registry file may not exist yet.
  ASSERT_EQ(RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(remote, kSettings, 0, KEY_QUERY_VALUE, &key), ERROR_FILE_NOT_FOUND);
  RegCloseKey(remote);
}

TEST(RegistryConcurrency, WritersFromManyThreadsLoseNothing) {
  TempMachine machine;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < 10; ++i) {
        HKEY k = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_SET_VALUE, &k), ERROR_SUCCESS);
        const std::string name = "v" + std::to_string(t) + "_" + std::to_string(i);
        const DWORD value = static_cast<DWORD>(t * 100 + i);
        EXPECT_EQ(RegSetValueExA(k, name.c_str(), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value), sizeof value),
                  ERROR_SUCCESS);
        RegCloseKey(k);
      }
    });
  }
  for (auto& writer : writers) writer.join();
  const std::string text = machine.Read("registry.reg");
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 10; ++i) {
      EXPECT_NE(text.find("\"v" + std::to_string(t) + "_" + std::to_string(i) + "\"="),
                std::string::npos);
    }
  }
}

// A computer folder that is a copy of a Windows disk: no registry.reg, the
// hives where Windows keeps them, as a copied system has them (no
// CurrentControlSet, no SystemRoot in a setup-time SOFTWARE).
class HiveComputer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing_support::HaveHivexregedit()) GTEST_SKIP() << "no hivexregedit (libwin-hivex-perl)";
    ASSERT_TRUE(testing_support::MakeHive(Config() / "SYSTEM",
        "[\\Select]\n\"Current\"=dword:00000002\n\n"
        "[\\ControlSet001\\Services\\Eventlog\\System\\Stale]\n\n"
        "[\\ControlSet002\\Services\\Eventlog\\System]\n"
        "\"File\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,00,00\n\n"
        "[\\ControlSet002\\Services\\Eventlog\\System\\Zeta]\n"
        "\"Name\"=hex(1):63,00,61,00,66,00,e9,00,00,00\n\n"
        "[\\ControlSet002\\Services\\Eventlog\\System\\alpha]\n"));
    ASSERT_TRUE(testing_support::MakeHive(Config() / "SOFTWARE",
        "[\\Microsoft\\Windows NT\\CurrentVersion]\n\"CurrentVersion\"=\"5.1\"\n"));
  }
  std::filesystem::path Config() const { return machine.root() / "network/XP01/C$/Windows/System32/config"; }

  TempMachine machine;
};

struct Answer {
  LONG status;
  DWORD type = 0;
  std::string data = {};
};

Answer Query(const char* computer, const char* path, const char* value) {
  HKEY root = nullptr;
  if (const LONG status = RegConnectRegistryA(computer, HKEY_LOCAL_MACHINE, &root); status != ERROR_SUCCESS) {
    return {status, 0, {}};
  }
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(root, path, 0, KEY_READ, &key);
  Answer answer{status, 0, {}};
  if (status == ERROR_SUCCESS && value != nullptr) {
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    answer.status = RegQueryValueExA(key, value, nullptr, &answer.type, reinterpret_cast<BYTE*>(buffer), &size);
    if (answer.status == ERROR_SUCCESS) answer.data.assign(buffer, size);
  }
  if (key != nullptr) RegCloseKey(key);
  RegCloseKey(root);
  return answer;
}

std::vector<std::string> Subkeys(const char* computer, const char* path) {
  HKEY root = nullptr;
  HKEY key = nullptr;
  std::vector<std::string> names;
  if (RegConnectRegistryA(computer, HKEY_LOCAL_MACHINE, &root) != ERROR_SUCCESS) return names;
  if (RegOpenKeyExA(root, path, 0, KEY_ENUMERATE_SUB_KEYS, &key) == ERROR_SUCCESS) {
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof name) {
      names.emplace_back(name, size);
    }
    RegCloseKey(key);
  }
  RegCloseKey(root);
  return names;
}

TEST_F(HiveComputer, AnswersAsItsRegistryWouldAtBoot) {
  using namespace std::string_literals;
  struct Case {
    const char* path;
    const char* value;
    Answer expected;
  };
  const Case cases[] = {
      // The control set that Select names, the log key whatever its case.
      {"SYSTEM\\CurrentControlSet\\Services\\EventLog\\System", "File", {0, REG_EXPAND_SZ, "%SystemRoot%\0"s}},
      {"SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\Stale", nullptr, {ERROR_FILE_NOT_FOUND}},
      {"system\\currentcontrolset\\services\\eventlog\\system\\ZETA", "name", {0, REG_SZ, "caf\xc3\xa9\0"s}},
      // The folder the hives are in, where the hive has no SystemRoot.
      {"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", {0, REG_SZ, "C:\\Windows\0"s}},
      {"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", {0, REG_SZ, "5.1\0"s}},
      {"SOFTWARE\\Microsoft", "SystemRoot", {ERROR_FILE_NOT_FOUND}},
      {"SAM\\SAM", nullptr, {ERROR_FILE_NOT_FOUND}},  // no SAM hive
      {"SECURITY", nullptr, {ERROR_FILE_NOT_FOUND}},
  };
  for (const Case& c : cases) {
    const Answer got = Query("XP01", c.path, c.value);
    EXPECT_EQ(got.status, c.expected.status) << c.path;
    EXPECT_EQ(got.type, c.expected.type) << c.path;
    EXPECT_EQ(got.data, c.expected.data) << c.path;
  }
  EXPECT_EQ(Subkeys("XP01", "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System"),
            (std::vector<std::string>{"alpha", "Zeta"}));
  EXPECT_EQ(Subkeys("XP01", ""), (std::vector<std::string>{"SOFTWARE", "SYSTEM"}));
  EXPECT_EQ(Subkeys("XP01", "SYSTEM"),
            (std::vector<std::string>{"ControlSet001", "ControlSet002", "Select", "CurrentControlSet"}));

  HKEY root = nullptr;
  HKEY key = nullptr;
  ASSERT_EQ(RegConnectRegistryA("XP01", HKEY_LOCAL_MACHINE, &root), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(root, "SOFTWARE", 0, KEY_SET_VALUE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(root, "SOFTWARE\\New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  RegCloseKey(root);
}

TEST_F(HiveComputer, HivesThatAreNoHivesAreErrorsAndARegistryFileWins) {
  const std::string software = (Config() / "SOFTWARE").string();
  const std::string whole = machine.Read("network/XP01/C$/Windows/System32/config/SOFTWARE");
  const char* const kVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  struct Case {
    const char* what;
    std::string bytes;
    LONG expected;
  };
  const Case cases[] = {
      {"truncated", whole.substr(0, 6000), ERROR_BADDB},
      {"a .reg file", kHive, ERROR_BADDB},
      {"empty", "", ERROR_BADDB},
      {"whole again", whole, ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(software);
    machine.Write("network/XP01/C$/Windows/System32/config/SOFTWARE", c.bytes);
    EXPECT_EQ(Query("XP01", kVersion, "CurrentVersion").status, c.expected) << c.what;
    // The other hives are not affected.
    EXPECT_EQ(Query("XP01", "SYSTEM\\Select", "Current").status, ERROR_SUCCESS) << c.what;
  }

  machine.Write("network/XP01/registry.reg", kHive);
  EXPECT_EQ(Query("XP01", kVersion, "CurrentVersion").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Query("XP01", kSettings, "TimeOut").status, ERROR_SUCCESS);
  std::filesystem::remove(machine.root() / "network/XP01/registry.reg");
  // Without the installation it is a computer without a registry service.
  std::filesystem::rename(machine.root() / "network/XP01/C$/Windows", machine.root() / "network/XP01/C$/Other");
  std::filesystem::remove_all(Config().parent_path().parent_path().parent_path() / "Other/System32/config");
  EXPECT_EQ(Query("XP01", "SYSTEM", nullptr).status, ERROR_BAD_NETPATH);
}

}  // namespace
