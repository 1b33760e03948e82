// The default data source: made through the real ODBC installer and our
// setup library in an ODBC configuration of the test's own, on a machine
// folder of its own.
#include <gtest/gtest.h>

#include "config/data_source.h"
#include "config/settings_store.h"
#include "platform/threads/threads.h"
#include "common/start_state.h"
#include "support/fake_odbc.h"
#include "support/odbc_sandbox.h"

namespace {

using corvid::Settings;
using testing_support::IniValue;

// The pause and the notice recorded instead of taken and shown, each with
// whether the data source was there yet.
class DataSourceTest : public ::testing::Test, public platform::ThreadsWrapper, public corvid::PreparingNotice {
 protected:
  void SetUp() override {
    if (testing_support::SqliteOdbcDriver().empty()) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    ASSERT_FALSE(testing_support::CorvidSetupLibrary().empty()) << "libcorvidodbcsetup.so was not built";
  }
  // Installed as corvid-install leaves it: the key with InstallPath only,
  // and Corvid.db in the install folder.
  void Install(const std::string& installPath, const std::string& hostFolder) {
    Settings = corvid::AppSettings{};
    events.clear();
    std::string escaped;
    for (char c : installPath) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    machine.WriteSettings("\"InstallPath\"=\"" + escaped + "\"\n");
    machine.Write(hostFolder + "/Corvid.db", "");
    ASSERT_TRUE(corvid::LoadSettings());
  }
  void Record(const std::string& event) {
    events.push_back(event + (testing_support::IniHasSection(odbc.Read("odbc.ini"), "Ravelin") ? " made" : ""));
  }
  void Sleep(DWORD ms) override { Record("Sleep " + std::to_string(ms)); }
  void Show() override { Record("Show"); }
  void Close() override { Record("Close"); }

  testing_support::TempMachine machine;
  testing_support::OdbcSandbox odbc;
  std::vector<std::string> events;
  platform::Override<platform::ThreadsService> useThreads{*this};
};

// A system source on the install folder's database, named in the settings
// and saved with every other setting; with a notice, shown for a second
// before the request and closed after it.
TEST_F(DataSourceTest, CreationMakesTheSystemSourceOnTheInstallFoldersDatabase) {
  // The install path, its folder relative to the machine folder, whether there is a notice.
  const std::tuple<std::string, std::string, bool> cases[] = {
      {"C:\\Program Files\\Corvid", "drives/c/Program Files/Corvid", false},
      {"c:\\APP", "drives/c/App", true},  // matched to the folder as it exists
      {"D:\\Event Logs\\Corvid\\", "drives/d/Event Logs/Corvid", false},
  };
  for (const auto& [installPath, hostFolder, notice] : cases) {
    SCOPED_TRACE(installPath);
    Install(installPath, hostFolder);
    ASSERT_TRUE(corvid::CreateDefaultDataSource(notice ? this : nullptr));
    EXPECT_EQ(IniValue(odbc.Read("odbc.ini"), "Ravelin", "Driver"), "Corvid SQLite3");
    EXPECT_EQ(IniValue(odbc.Read("odbc.ini"), "Ravelin", "Database"),
              (machine.root() / hostFolder / "Corvid.db").string());
    EXPECT_EQ(IniValue(odbc.Read("user.odbc.ini"), "Ravelin", "Driver"), "");
    EXPECT_EQ(Settings.DataSource.Description, "Corvid SQLite3");
    for (const char* value : {"\"DSN\"=\"Ravelin\"", "\"Type\"=dword:00000001", "\"Description\"=\"Corvid SQLite3\"",
                              "\"TimeOut\"=dword:000000b4"})
      EXPECT_NE(machine.Read("registry.reg").find(value), std::string::npos) << value;
    EXPECT_EQ(events, (notice ? std::vector<std::string>{"Show", "Sleep 1000", "Close made"} : std::vector<std::string>{}));
    odbc.WriteFile("odbc.ini", "");
  }
}

TEST_F(DataSourceTest, FailureChangesNothingAndClosesTheNotice) {
  // The installer answers FALSE; Corvid.db, the driver entry exist.
  const std::tuple<const char*, bool, bool, bool> cases[] = {
      {"installer refuses", true, true, true},
      {"database missing", false, false, true},
      {"driver entry missing", false, true, false},
  };
  for (const auto& [name, injected, databaseThere, driverThere] : cases) {
    SCOPED_TRACE(name);
    Install("C:\\App", "drives/c/App");
    if (!databaseThere) std::filesystem::remove(machine.root() / "drives/c/App/Corvid.db");
    const std::string drivers = odbc.Read("odbcinst.ini");
    if (!driverThere) odbc.WriteFile("odbcinst.ini", "");
    const std::string before = machine.Read("registry.reg");
    testing_support::FailingOdbc failing;
    if (injected) failing.Fail({.call = "SQLConfigDataSource"});
    platform::Override<platform::OdbcService> use(failing);
    EXPECT_FALSE(corvid::CreateDefaultDataSource(this));
    EXPECT_EQ(events, (std::vector<std::string>{"Show", "Sleep 1000", "Close"}));
    const auto& d = Settings.DataSource;
    EXPECT_EQ(d.DSN.str() + "|" + d.Description.str() + "|" + std::to_string(d.dataSourceMissing), "||1");
    EXPECT_EQ(machine.Read("registry.reg"), before);
    odbc.WriteFile("odbcinst.ini", drivers);
  }
}

}  // namespace
