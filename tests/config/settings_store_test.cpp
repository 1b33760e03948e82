// The settings store against a real registry file, and against a registry
// that fails on cue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings_store.h"
#include "platform/registry/registry.h"
#include "support/temp_machine.h"

namespace {

using corvid::LoadSettings;
using corvid::ReloadDataSourceSettings;
using corvid::RunLogSettings;
using corvid::SaveSettings;
using corvid::Settings;
using testing_support::TempMachine;

const std::string& kHeader = testing_support::kSettingsKey;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings = corvid::AppSettings{};
    RunLogSettings = corvid::RunLogOptions{};
  }
  void Install(const std::string& values) { machine.WriteSettings(values); }
  std::string Registry() const { return machine.Read("registry.reg"); }

  TempMachine machine;
};

// The other defaults show in what a save writes.
TEST_F(SettingsTest, OnlyTheInstallPathLoadsTheDefaultsWithoutWritingThem) {
  EXPECT_FALSE(LoadSettings());  // no registry at all
  Install("");
  EXPECT_FALSE(LoadSettings());  // the key without "InstallPath"
  Install("\"InstallPath\"=\"C:\\\\Corvid\"\n");
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(Settings.HelpFile, "C:\\Corvid\\Corvid.hlp");
  EXPECT_EQ(Settings.DataSource.dataSourceMissing, 1u);
  EXPECT_EQ(Settings.DataSource.Type, 1u);
  EXPECT_EQ(Settings.TimeOut, 180u);
  EXPECT_EQ(Registry(), kHeader + "\"InstallPath\"=\"C:\\\\Corvid\"\n\n");
}

TEST_F(SettingsTest, StoredValuesAreTakenAsStored) {
  Install(
      "\"InstallPath\"=\"C:\\\\Corvid\\\\\"\n"
      "\"LogFile\"=\"\"\n"
      "\"LogFullErrorNo\"=dword:00000001\n"
      "\"LogAppendOverwrite\"=dword:00000002\n"
      "\"DSN\"=\"Ravelin\"\n"
      "\"Type\"=dword:00000003\n"
      "\"User\"=\"admin\"\n"
      "\"TimeOut\"=hex:0a,00,00,00\n"          // any type whose data fits is accepted
      "\"TransactionPeriod\"=\"12345\"\n");    // six bytes do not fit a number
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(Settings.HelpFile, "C:\\Corvid\\\\Corvid.hlp");  // used as stored, doubled backslash
  EXPECT_EQ(RunLogSettings.path, "");                       // an empty value stays empty
  EXPECT_EQ(RunLogSettings.detailLevel, 1u);
  EXPECT_EQ(RunLogSettings.appendChoice, 2u);
  EXPECT_EQ(Settings.DataSource.DSN, "Ravelin");
  EXPECT_EQ(Settings.DataSource.dataSourceMissing, 0u);
  EXPECT_EQ(Settings.DataSource.Type, 3u);
  EXPECT_EQ(Settings.DataSource.User, "admin");
  EXPECT_EQ(Settings.TimeOut, 10u);
  EXPECT_EQ(Settings.TransactionPeriod, 100u);
}

TEST_F(SettingsTest, ADataSourceNameTooLongIsUnreadableButNotMissing) {
  Install("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"" + std::string(32, 'x') + "\"\n");
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(Settings.DataSource.DSN.size(), 32u);
  Install("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"" + std::string(33, 'x') + "\"\n");
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(Settings.DataSource.DSN, "");
  EXPECT_EQ(Settings.DataSource.dataSourceMissing, 0u);
}

TEST_F(SettingsTest, SaveWritesEveryValueButTheInstallPath) {
  Install("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"Old\"\n\"Type\"=dword:00000009\n");
  ASSERT_TRUE(LoadSettings());
  Settings.DataSource.DSN = "";  // an empty name leaves name, type and description alone
  Settings.DataSource.User = "";
  Settings.TimeOut = 5;
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ(Registry(),
            kHeader +
                "\"InstallPath\"=\"C:\\\\Corvid\"\n"
                "\"DSN\"=\"Old\"\n"
                "\"Type\"=dword:00000009\n"
                "\"LogFile\"=\"C:\\\\Corvid\\\\Corvid.log\"\n"
                "\"LogFullErrorNo\"=dword:00000000\n"
                "\"LogAppendOverwrite\"=dword:00000001\n"
                "\"User\"=\"\"\n"
                "\"Password\"=\"\"\n"
                "\"RegAccess\"=dword:00000000\n"
                "\"TimeOut\"=dword:00000005\n"
                "\"EraseLogs\"=dword:00000000\n"
                "\"TransactionPeriod\"=dword:00000064\n"
                "\"LoadDescriptions\"=dword:00000001\n\n");
}

// Records every write and fails from a given one on.
class FailingWrites : public platform::RegistryWrapper {
 public:
  explicit FailingWrites(size_t failAt)
      : RegistryWrapper(platform::RegistryService::Default()), failAt_(failAt) {}
  LONG SetValueEx(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                  DWORD size) override {
    written.push_back({name, type, std::string(reinterpret_cast<const char*>(data), size)});
    if (written.size() >= failAt_) return ERROR_ACCESS_DENIED;
    return RegistryWrapper::SetValueEx(key, name, reserved, type, data, size);
  }
  struct Write {
    std::string name;
    DWORD type;
    std::string bytes;
  };
  std::vector<Write> written;

 private:
  size_t failAt_;
};

TEST_F(SettingsTest, SaveWritesInOrderWithTerminatorsAndStopsAtTheFirstFailure) {
  Install("\"InstallPath\"=\"C:\\\\Corvid\"\n");
  ASSERT_TRUE(LoadSettings());
  Settings.DataSource.DSN = "Ravelin";
  Settings.DataSource.Description = "SQLite3";
  {
    FailingWrites registry(1000);
    platform::Override<platform::RegistryService> use(registry);
    ASSERT_TRUE(SaveSettings());
    std::vector<std::string> names;
    for (const auto& w : registry.written) names.push_back(w.name);
    EXPECT_EQ(names, (std::vector<std::string>{"LogFile", "LogFullErrorNo", "LogAppendOverwrite",
                                               "DSN", "Type", "Description", "User", "Password",
                                               "RegAccess", "TimeOut", "EraseLogs",
                                               "TransactionPeriod", "LoadDescriptions"}));
    EXPECT_EQ(registry.written[3].bytes, std::string("Ravelin\0", 8));
    EXPECT_EQ(registry.written[6].bytes, std::string("\0", 1));  // empty user: one byte
    EXPECT_EQ(registry.written[4].type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(registry.written[4].bytes.size(), 4u);
  }
  {
    FailingWrites registry(5);
    platform::Override<platform::RegistryService> use(registry);
    EXPECT_FALSE(SaveSettings());
    EXPECT_EQ(registry.written.size(), 5u);
  }
}

TEST_F(SettingsTest, ReloadTakesOverWhatTheCompanionWrote) {
  Install(
      "\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"Old\"\n\"Description\"=\"d\"\n"
      "\"User\"=\"u\"\n\"Password\"=\"p\"\n");
  ASSERT_TRUE(LoadSettings());
  Settings.DataSource.Type = 7;
  // "RegAccess" missing: everything read, and still a refusal.
  Install(
      "\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"New\"\n\"Description\"=\"d2\"\n"
      "\"User\"=\"u2\"\n\"Password\"=\"p2\"\n");
  EXPECT_FALSE(ReloadDataSourceSettings());
  EXPECT_EQ(Settings.DataSource.DSN, "New");
  EXPECT_EQ(Settings.DataSource.Type, 1u);
  EXPECT_EQ(Settings.DataSource.Password, "p2");

  // A failed read keeps that field and all later ones as they were.
  Install("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"Third\"\n\"Password\"=\"p3\"\n"
          "\"RegAccess\"=dword:00000001\n");
  EXPECT_FALSE(ReloadDataSourceSettings());
  EXPECT_EQ(Settings.DataSource.DSN, "Third");
  EXPECT_EQ(Settings.DataSource.Description, "d2");
  EXPECT_EQ(Settings.DataSource.Password, "p2");

  Install("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"Fourth\"\n\"Description\"=\"\"\n"
          "\"User\"=\"\"\n\"Password\"=\"\"\n\"RegAccess\"=dword:00000002\n");
  EXPECT_TRUE(ReloadDataSourceSettings());
  EXPECT_EQ(Settings.DataSource.RegAccess, 2u);
}

}  // namespace
