// The registry service over registry files, with the codes the Win32 calls
// give. (Expand strings, subkey order and unknown computers: describe's
// EventSourceTable tests; copied hives: gather's InstallationTest.)
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/registry/registry.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing_support::TempMachine;

const char kHive[] =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion]\n"
    "\"InstallPath\"=\"C:\\\\Corvid\"\n\"TimeOut\"=dword:0000003c\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion\\alpha]\n\n"
    "[HKEY_CURRENT_USER\\Software\\Other]\n\"Kept\"=\"yes\"\n\n";
constexpr const char kSettings[] = "SOFTWARE\\Qentro\\Corvid\\CurrentVersion\\";  // a trailing backslash is fine

HKEY Open(HKEY root, const char* path, REGSAM access, LONG expected = ERROR_SUCCESS) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(root, path, 0, access, &key), expected) << path;
  return key;
}
LONG Query(HKEY key, const char* name, DWORD& size, void* data = nullptr) {
  return RegQueryValueExA(key, name, nullptr, nullptr, static_cast<BYTE*>(data), &size);
}
LONG SetDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

TEST(Registry, QueriesFollowTheBufferRulesAndTheAccessAsOpened) {
  TempMachine machine;
  machine.Write("registry.reg", kHive);
  HKEY key = Open(HKEY_LOCAL_MACHINE, kSettings, KEY_READ);
  char buffer[32];
  DWORD size = 0;
  ASSERT_EQ(Query(key, "InstallPath", size), ERROR_SUCCESS);
  EXPECT_EQ(size, 10u);  // "C:\Corvid" and its terminator
  size = 5;
  EXPECT_EQ(Query(key, "InstallPath", size, buffer), ERROR_MORE_DATA);
  EXPECT_EQ(size, 10u);
  size = sizeof buffer;
  ASSERT_EQ(Query(key, "installpath", size, buffer), ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "C:\\Corvid");
  EXPECT_EQ(Query(key, "TimeOut", size = 4, buffer), ERROR_SUCCESS);
  EXPECT_EQ(*reinterpret_cast<DWORD*>(buffer), 60u);
  size = 5;  // exactly "alpha" without room for its terminator
  EXPECT_EQ(RegEnumKeyExA(key, 0, buffer, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(SetDword(key, "EraseLogs", 1), ERROR_ACCESS_DENIED);
  // Another program's change is seen through the open handle.
  EXPECT_EQ(Query(key, "DSN", size), ERROR_FILE_NOT_FOUND);
  std::string changed = kHive;
  machine.Write("registry.reg", changed.insert(changed.find("\"TimeOut\""), "\"DSN\"=\"Other\"\n"));
  EXPECT_EQ(Query(key, "DSN", size), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Query(Open(HKEY_LOCAL_MACHINE, kSettings, KEY_SET_VALUE), "TimeOut", size), ERROR_ACCESS_DENIED);
}

TEST(Registry, WritesReplaceTheFileKeepingEverythingElseAndNeverAMalformedOne) {
  TempMachine machine;
  machine.Write("registry.reg", kHive);
  struct stat before, after;
  ASSERT_EQ(::stat(machine.registry().c_str(), &before), 0);
  HKEY key = Open(HKEY_LOCAL_MACHINE, kSettings, KEY_SET_VALUE);
  ASSERT_EQ(SetDword(key, "TimeOut", 7), ERROR_SUCCESS);
  ASSERT_EQ(::stat(machine.registry().c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino) << "replaced by rename, not rewritten in place";
  EXPECT_EQ(after.st_mode & 0777, 0600u) << "the settings may hold a password";
  ASSERT_EQ(RegSetValueExA(key, "DSN", 0, REG_SZ, reinterpret_cast<const BYTE*>("Ravelin"), 8), ERROR_SUCCESS);
  RegCloseKey(key);
  std::string expected = kHive;
  expected.replace(expected.find("\"TimeOut\"=dword:0000003c"), 24,
                   "\"TimeOut\"=dword:00000007\n\"DSN\"=\"Ravelin\"");
  EXPECT_EQ(machine.Read("registry.reg"), expected);
  EXPECT_EQ(std::distance(fs::directory_iterator(machine.root()), {}), 1) << "no temp file left behind";

  const std::string broken = std::string(kHive) + "this is not a registry line\n";
  machine.Write("registry.reg", broken);
  Open(HKEY_LOCAL_MACHINE, kSettings, KEY_READ, ERROR_BADDB);
  EXPECT_NE(platform::LastRegistryFileError().find("line 12"), std::string::npos);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_BADDB);
  EXPECT_EQ(machine.Read("registry.reg"), broken);
}

TEST(Registry, WithoutAFileReadsCreateNothingAndAWriteMakesEveryKeyOfThePath) {
  TempMachine machine;
  HKEY key = nullptr;
  ASSERT_EQ(RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, &key), ERROR_SUCCESS) << "no name: this computer";
  Open(key, kSettings, KEY_READ, ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_TRUE(fs::is_empty(machine.root()));
  EXPECT_EQ(RegConnectRegistryA("..", HKEY_LOCAL_MACHINE, &key), ERROR_BAD_NETPATH);
  // Another computer's registry is read-only.
  machine.Write("network/BDC02/registry.reg", kHive);
  ASSERT_EQ(RegConnectRegistryA("\\\\bdc02", HKEY_LOCAL_MACHINE, &key), ERROR_SUCCESS);
  Open(key, kSettings, KEY_SET_VALUE, ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
  RegCloseKey(key);
  EXPECT_EQ(fs::status(machine.registry()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(machine.Read("registry.reg"),
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion]\n\n");
}

}  // namespace
