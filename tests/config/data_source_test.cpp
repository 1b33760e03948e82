// The default data source: made through the real ODBC installer and our
// setup library in an ODBC configuration of the test's own, on a machine
// folder of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "config/data_source.h"
#include "config/settings_store.h"
#include "platform/odbc/odbc.h"
#include "platform/threads/threads.h"
#include "platform/windows/windows.h"
#include "resources/strings.h"
#include "common/start_state.h"
#include "support/fake_odbc.h"
#include "support/odbc_sandbox.h"
#include "support/temp_machine.h"

namespace {

using corvid::CreateDefaultDataSource;
using corvid::Settings;
using testing_support::FailingOdbc;
using testing_support::IniHasSection;
using testing_support::IniValue;
using testing_support::OdbcSandbox;
using testing_support::TempMachine;

// What happened, in order, across the notice, the waits and the installer.
std::vector<std::string> events;

class RecordingOdbc : public platform::OdbcWrapper {
 public:
  RecordingOdbc() : OdbcWrapper(platform::OdbcService::Default()) {}
  BOOL SQLConfigDataSource(HWND p, WORD r, LPCSTR d, LPCSTR a) override {
    events.push_back("SQLConfigDataSource");
    parent = p;
    request = r;
    driver = d;
    attributes.clear();
    for (const char* item = a; *item != '\0'; item += std::string(item).size() + 1) attributes.emplace_back(item);
    return target().SQLConfigDataSource(p, r, d, a);
  }
  HWND parent = reinterpret_cast<HWND>(1);
  WORD request = 0;
  std::string driver;
  std::vector<std::string> attributes;
};

// Records the pause instead of taking it.
class RecordingThreads : public platform::ThreadsWrapper {
 public:
  void Sleep(DWORD ms) override { events.push_back("Sleep " + std::to_string(ms)); }
};

class Notice : public corvid::PreparingNotice {
 public:
  void Show() override { events.push_back("Show"); }
  void Close() override { events.push_back("Close"); }
};

class DataSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    events.clear();
    Settings = corvid::AppSettings{};
    if (testing_support::SqliteOdbcDriver().empty()) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    ASSERT_FALSE(testing_support::CorvidSetupLibrary().empty()) << "libcorvidodbcsetup.so was not built";
  }
  // Installed as corvid-install leaves it: the key with InstallPath only,
  // and Corvid.db in the install folder.
  void Install(const std::string& installPath, const std::string& hostFolder) {
    std::string escaped;
    for (char c : installPath) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    machine.WriteSettings("\"InstallPath\"=\"" + escaped + "\"\n");
    machine.Write(hostFolder + "/Corvid.db", "");
    ASSERT_TRUE(corvid::LoadSettings());
  }
  std::string Registry() const { return machine.Read("registry.reg"); }

  TempMachine machine;
  OdbcSandbox odbc;
};

// A system source on the install folder's database, named in the settings
// and saved with every other setting.
TEST_F(DataSourceTest, CreationMakesTheSystemSourceOnTheInstallFoldersDatabase) {
  struct Case {
    std::string installPath;
    std::string hostFolder;  // relative to the machine folder
  };
  const std::vector<Case> cases = {
      {"C:\\Program Files\\Corvid", "drives/c/Program Files/Corvid"},
      {"c:\\APP", "drives/c/App"},  // matched to the folder as it exists
      {"D:\\Event Logs\\Corvid\\", "drives/d/Event Logs/Corvid"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.installPath);
    Settings = corvid::AppSettings{};
    Install(k.installPath, k.hostFolder);
    RecordingOdbc recording;
    platform::Override<platform::OdbcService> use(recording);
    ASSERT_TRUE(CreateDefaultDataSource());
    EXPECT_EQ(recording.parent, nullptr);
    EXPECT_EQ(recording.request, ODBC_ADD_SYS_DSN);
    const std::string database = (machine.root() / k.hostFolder / "Corvid.db").string();
    EXPECT_EQ(recording.attributes, (std::vector<std::string>{"DSN=Ravelin", "Database=" + database}));
    EXPECT_EQ(IniValue(odbc.Read("odbc.ini"), "Ravelin", "Driver"), "Corvid SQLite3");
    EXPECT_EQ(IniValue(odbc.Read("odbc.ini"), "Ravelin", "Database"), database);
    EXPECT_EQ(Settings.DataSource.Description, "Corvid SQLite3");
    for (const char* value : {"\"DSN\"=\"Ravelin\"", "\"Type\"=dword:00000001", "\"Description\"=\"Corvid SQLite3\"",
                              "\"TimeOut\"=dword:000000b4"}) {
      EXPECT_NE(Registry().find(value), std::string::npos) << value << " missing from\n" << Registry();
    }
  }
}

TEST_F(DataSourceTest, FailureChangesNothing) {
  struct Case {
    const char* name;
    bool injected;       // the installer answers FALSE
    bool databaseThere;  // Corvid.db exists
    bool driverThere;    // the driver entry is registered
  };
  const std::vector<Case> cases = {
      {"installer refuses", true, true, true},
      {"database missing", false, false, true},
      {"driver entry missing", false, true, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Settings = corvid::AppSettings{};
    Install("C:\\App", "drives/c/App");
    if (!k.databaseThere) std::filesystem::remove(machine.root() / "drives/c/App/Corvid.db");
    const std::string drivers = odbc.Read("odbcinst.ini");
    if (!k.driverThere) odbc.WriteFile("odbcinst.ini", "");
    const std::string before = Registry();
    FailingOdbc failing;
    if (k.injected) failing.Fail({.call = "SQLConfigDataSource"});
    {
      platform::Override<platform::OdbcService> use(failing);
      EXPECT_FALSE(CreateDefaultDataSource());
    }
    EXPECT_EQ(Settings.DataSource.DSN, "");
    EXPECT_EQ(Settings.DataSource.Description, "");
    EXPECT_EQ(Settings.DataSource.dataSourceMissing, 1u);
    EXPECT_EQ(Registry(), before);
    EXPECT_FALSE(IniHasSection(odbc.Read("odbc.ini"), "Ravelin"));
    odbc.WriteFile("odbcinst.ini", drivers);
  }
}

TEST_F(DataSourceTest, NoticeIsShownForASecondAroundTheRequest) {
  Install("C:\\App", "drives/c/App");
  RecordingOdbc recording;
  RecordingThreads threads;
  platform::Override<platform::OdbcService> useOdbc(recording);
  platform::Override<platform::ThreadsService> useThreads(threads);

  EXPECT_TRUE(CreateDefaultDataSource());
  EXPECT_EQ(events, std::vector<std::string>{"SQLConfigDataSource"}) << "no notice: nothing shown, no wait";

  events.clear();
  Notice notice;
  Settings.DataSource = corvid::DataSourceInfo{};
  EXPECT_TRUE(CreateDefaultDataSource(&notice));
  EXPECT_EQ(events, (std::vector<std::string>{"Show", "Sleep 1000", "SQLConfigDataSource", "Close"}));

  events.clear();
  FailingOdbc failing;
  failing.Fail({.call = "SQLConfigDataSource"});
  platform::Override<platform::OdbcService> useFailing(failing);
  EXPECT_FALSE(CreateDefaultDataSource(&notice));
  EXPECT_EQ(events, (std::vector<std::string>{"Show", "Sleep 1000", "Close"})) << "closed on failure too";
}

}  // namespace

namespace {

// Boxes as they would have been shown.
class BoxRecorder : public platform::WindowsService {
 public:
  int MessageBox(HWND, const char* text, const char* caption, UINT type) override {
    boxes.push_back(std::string(caption != nullptr ? caption : "(default)") + "|" + text + "|" +
                    std::to_string(type));
    return IDOK;
  }
  HCURSOR LoadCursor(HINSTANCE, const char*) override { return nullptr; }
  HCURSOR SetCursor(HCURSOR) override { return nullptr; }
  std::vector<std::string> boxes;
};

class CompanionToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corvid::Instance = resources::ProgramInstance();
    corvid::Settings = corvid::AppSettings{};
    corvid::Settings.InstallPath = "C:\\App";
    corvid::CompanionProcess = nullptr;
  }
  void TearDown() override {
    if (corvid::CompanionProcess != nullptr) CloseHandle(corvid::CompanionProcess);
    corvid::CompanionProcess = nullptr;
  }
  testing_support::TempMachine machine;
  BoxRecorder windows;
  platform::Override<platform::WindowsService> use{windows};
};

TEST_F(CompanionToolTest, AMissingToolShowsTheSystemsTextThenItsOwn) {
  corvid::RequireDataSource(nullptr);
  EXPECT_EQ(windows.boxes,
            (std::vector<std::string>{"Warning|You need to specify Data Source.|48",
                                      "CreateProcess|No such file or directory\r\n|16",
                                      "(default)|Unable to load Dsnsmith|16"}));
  EXPECT_EQ(corvid::CompanionProcess, nullptr);
}

TEST_F(CompanionToolTest, TheToolOfTheInstallFolderIsStartedAndKept) {
  machine.Write("drives/c/App/Dsnsmith.exe", "#!/bin/sh\nexit 0\n");
  ::chmod((machine.root() / "drives/c/App/Dsnsmith.exe").c_str(), 0755);
  EXPECT_TRUE(corvid::LaunchDataSourceTool(nullptr));
  EXPECT_TRUE(windows.boxes.empty());
  ASSERT_NE(corvid::CompanionProcess, nullptr);
  EXPECT_EQ(WaitForSingleObject(corvid::CompanionProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace
