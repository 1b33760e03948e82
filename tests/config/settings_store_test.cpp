// The settings store against a real registry file, and against a registry
// that fails on cue.
#include <gtest/gtest.h>

#include "config/settings_store.h"
#include "platform/registry/registry.h"
#include "support/temp_machine.h"

namespace {

using corvid::LoadSettings;
using corvid::Settings;

const std::string kInstall = "\"InstallPath\"=\"C:\\\\Corvid\"\n";

// Records every write as "name|type|bytes" and fails from a given one on.
class SettingsTest : public ::testing::Test, public platform::RegistryWrapper {
 protected:
  SettingsTest() : RegistryWrapper(platform::RegistryService::Default()) {
    Settings = corvid::AppSettings{};
    corvid::RunLogSettings = corvid::RunLogOptions{};
  }
  LONG SetValueEx(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) override {
    written.push_back(std::string(name) + "|" + std::to_string(type) + "|" +
                      std::string(reinterpret_cast<const char*>(data), size));
    if (written.size() >= failAt) return ERROR_ACCESS_DENIED;
    return RegistryWrapper::SetValueEx(key, name, reserved, type, data, size);
  }
  std::string Registry() const { return machine.Read("registry.reg"); }

  testing_support::TempMachine machine;
  std::vector<std::string> written;
  size_t failAt = 1000;
};

// The other defaults show in what a save writes.
TEST_F(SettingsTest, OnlyTheInstallPathLoadsTheDefaultsWithoutWritingThem) {
  EXPECT_FALSE(LoadSettings());  // no registry at all
  machine.WriteSettings("");
  EXPECT_FALSE(LoadSettings());  // the key without "InstallPath"
  machine.WriteSettings(kInstall);
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(std::tuple(Settings.HelpFile, Settings.DataSource.dataSourceMissing, Settings.DataSource.Type,
                       Settings.TimeOut), std::tuple("C:\\Corvid\\Corvid.hlp", 1u, 1u, 180u));
  EXPECT_EQ(Registry(), testing_support::kSettingsKey + kInstall + "\n");
}

TEST_F(SettingsTest, StoredValuesAreTakenAsStored) {
  machine.WriteSettings(
      "\"InstallPath\"=\"C:\\\\Corvid\\\\\"\n\"LogFile\"=\"\"\n\"LogFullErrorNo\"=dword:00000001\n"
      "\"LogAppendOverwrite\"=dword:00000002\n\"DSN\"=\"Ravelin\"\n\"Type\"=dword:00000003\n\"User\"=\"admin\"\n"
      "\"TimeOut\"=hex:0a,00,00,00\n"          // any type whose data fits is accepted
      "\"TransactionPeriod\"=\"12345\"\n");  // six bytes do not fit a number
  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(Settings.HelpFile, "C:\\Corvid\\\\Corvid.hlp");  // used as stored, doubled backslash
  const auto& [log, d] = std::tie(corvid::RunLogSettings, Settings.DataSource);
  // An empty value stays empty.
  EXPECT_EQ(log.path + "|" + std::to_string(log.detailLevel) + "|" + std::to_string(log.appendChoice), "|1|2");
  EXPECT_EQ(d.DSN.str() + "|" + std::to_string(d.dataSourceMissing) + "|" + std::to_string(d.Type) + "|" + d.User.str(),
            "Ravelin|0|3|admin");
  EXPECT_EQ(std::pair(Settings.TimeOut, Settings.TransactionPeriod), std::pair(10u, 100u));
  // A name of 33 characters is unreadable, but not missing.
  for (const size_t length : {32, 33}) {
    machine.WriteSettings(kInstall + "\"DSN\"=\"" + std::string(length, 'x') + "\"\n");
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(Settings.DataSource.DSN, length == 32 ? std::string(32, 'x') : "");
    EXPECT_EQ(Settings.DataSource.dataSourceMissing, 0u);
  }
}

// Every value but the install path, in order, texts with their terminator;
// an empty name leaves name, type and description alone. A failed write
// ends the save.
TEST_F(SettingsTest, SaveWritesEveryValueButTheInstallPathAndStopsAtAFailure) {
  machine.WriteSettings(kInstall + "\"DSN\"=\"Old\"\n\"Type\"=dword:00000009\n");
  ASSERT_TRUE(LoadSettings());
  Settings.DataSource.DSN = "";
  Settings.TimeOut = 5;
  ASSERT_TRUE(corvid::SaveSettings());
  EXPECT_EQ(Registry(), testing_support::kSettingsKey + kInstall +
                            "\"DSN\"=\"Old\"\n\"Type\"=dword:00000009\n\"LogFile\"=\"C:\\\\Corvid\\\\Corvid.log\"\n"
                            "\"LogFullErrorNo\"=dword:00000000\n\"LogAppendOverwrite\"=dword:00000001\n"
                            "\"User\"=\"\"\n\"Password\"=\"\"\n\"RegAccess\"=dword:00000000\n"
                            "\"TimeOut\"=dword:00000005\n\"EraseLogs\"=dword:00000000\n"
                            "\"TransactionPeriod\"=dword:00000064\n\"LoadDescriptions\"=dword:00000001\n\n");
  Settings.DataSource.DSN = "Ravelin";
  platform::Override<platform::RegistryService> use(*this);
  ASSERT_TRUE(corvid::SaveSettings());
  ASSERT_EQ(written.size(), 13u);
  EXPECT_EQ(written[3], std::string("DSN|1|Ravelin\0", 14));
  EXPECT_EQ(written[4], std::string("Type|4|\x09\0\0\0", 11));
  EXPECT_EQ(written[6], std::string("User|1|\0", 8)) << "an empty text is one byte";
  written.clear();
  failAt = 5;
  EXPECT_FALSE(corvid::SaveSettings());
  EXPECT_EQ(written.size(), 5u);
}

}  // namespace
