// corvid-install run as a program, into a machine folder and an ODBC
// configuration of the test's own: the files, the embedded database, the
// driver entry, the settings and the default data source.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "config/settings_store.h"
#include "support/odbc_sandbox.h"
#include "support/subprocess.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using corvid::Settings;
using testing_support::IniHasSection;
using testing_support::IniValue;
using testing_support::OdbcSandbox;
using testing_support::TempMachine;

const std::string kInstaller = std::string(CORVID_BIN_DIR) + "/corvid-install";

// Rows of a query, each row's columns joined by "|".
std::vector<std::string> Query(const fs::path& database, const std::string& sql) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << database;
    sqlite3_close(db);
    return rows;
  }
  char* error = nullptr;
  auto collect = [](void* out, int n, char** values, char**) {
    std::string row;
    for (int i = 0; i < n; ++i) row += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
    static_cast<std::vector<std::string>*>(out)->push_back(row);
    return 0;
  };
  if (sqlite3_exec(db, sql.c_str(), collect, &rows, &error) != SQLITE_OK) ADD_FAILURE() << sql << ": " << error;
  sqlite3_free(error);
  sqlite3_close(db);
  return rows;
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings = corvid::AppSettings{};
    if (testing_support::SqliteOdbcDriver().empty()) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    odbc.WriteFile("odbcinst.ini", "");  // registering the driver is the installer's job
  }

  struct Outcome {
    int status = -1;
    std::string err;
  };
  Outcome Install(std::vector<std::string> extra = {"--with-data-source"}) {
    std::vector<std::string> arguments = {"--install-path", "C:\\App"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const auto child = testing_support::Start(kInstaller, arguments, machine.root().string());
    Outcome outcome;
    outcome.status = testing_support::WaitFor(child, std::chrono::seconds(60));
    outcome.err = machine.Read(fs::path(child.err).filename());
    return outcome;
  }
  fs::path Folder() const { return machine.root() / "drives/c/App"; }
  fs::path Database() const { return Folder() / "Corvid.db"; }

  TempMachine machine;
  OdbcSandbox odbc;
};

TEST_F(InstallTest, InstallsEverythingASilentRunNeeds) {
  fs::remove(odbc.iniFolder() / "odbc.ini");  // a fresh ODBC folder has none yet
  const Outcome outcome = Install();
  ASSERT_EQ(outcome.status, 0) << outcome.err;

  for (const char* file : {"corvid", "libcorvidodbcsetup.so", "sql/sqlite.sql", "sql/postgresql.sql", "Corvid.db"}) {
    EXPECT_TRUE(fs::is_regular_file(Folder() / file)) << file;
  }

  EXPECT_EQ(Query(Database(), "PRAGMA journal_mode"), std::vector<std::string>{"wal"});
  EXPECT_EQ(Query(Database(), "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"),
            (std::vector<std::string>{"Application", "CorvidClears", "Security", "System"}));
  for (const char* table : {"Application", "Security", "System"}) {
    SCOPED_TRACE(table);
    const auto indexes =
        Query(Database(), std::string("SELECT name FROM sqlite_master WHERE type='index' AND tbl_name='") + table + "'");
    ASSERT_EQ(indexes.size(), 1u);
    EXPECT_EQ(Query(Database(), "SELECT name FROM pragma_index_info('" + indexes[0] + "') ORDER BY seqno"),
              (std::vector<std::string>{"Computer", "RecordDate"}));
    EXPECT_EQ(Query(Database(), std::string("SELECT count(*) FROM pragma_table_info('") + table + "')"),
              std::vector<std::string>{"11"});
  }

  const std::string drivers = odbc.Read("odbcinst.ini");
  EXPECT_EQ(IniValue(drivers, "Corvid SQLite3", "Driver"), testing_support::SqliteOdbcDriver());
  EXPECT_EQ(IniValue(drivers, "Corvid SQLite3", "Setup"), (Folder() / "libcorvidodbcsetup.so").string());
  const std::string sources = odbc.Read("odbc.ini");
  EXPECT_EQ(IniValue(sources, "Ravelin", "Driver"), "Corvid SQLite3");
  EXPECT_EQ(IniValue(sources, "Ravelin", "Database"), Database().string());

  ASSERT_TRUE(corvid::LoadSettings());
  EXPECT_EQ(Settings.InstallPath, "C:\\App");
  EXPECT_EQ(Settings.DataSource.DSN, "Ravelin");
  EXPECT_EQ(Settings.DataSource.Description, "Corvid SQLite3");
  EXPECT_EQ(Settings.DataSource.Type, 1u);
  EXPECT_EQ(Settings.DataSource.dataSourceMissing, 0u);
}

TEST_F(InstallTest, WithoutTheSwitchNoDataSourceIsMade) {
  const Outcome outcome = Install({});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(fs::is_regular_file(Database()));
  EXPECT_TRUE(IniHasSection(odbc.Read("odbcinst.ini"), "Corvid SQLite3"));
  EXPECT_FALSE(IniHasSection(odbc.Read("odbc.ini"), "Ravelin"));
  ASSERT_TRUE(corvid::LoadSettings());
  EXPECT_EQ(Settings.DataSource.dataSourceMissing, 1u) << "left for the program's first start";
}

TEST_F(InstallTest, InstallingAgainKeepsRowsAndTheChosenDataSource) {
  ASSERT_EQ(Install().status, 0);
  Query(Database(), "INSERT INTO System (Computer, RecordDate) VALUES ('ALPHA', '2004-02-29 10:00:00.000')");
  Query(Database(), "DROP INDEX System_Computer_RecordDate");
  // The user has since chosen another data source.
  ASSERT_TRUE(corvid::LoadSettings());
  Settings.DataSource.DSN = "Warehouse";
  ASSERT_TRUE(corvid::SaveSettings());

  const Outcome again = Install();
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(Query(Database(), "SELECT Computer, RecordDate FROM System"),
            std::vector<std::string>{"ALPHA|2004-02-29 10:00:00.000"});
  EXPECT_EQ(Query(Database(), "SELECT count(*) FROM sqlite_master WHERE type='index' AND tbl_name='System'"),
            std::vector<std::string>{"1"})
      << "what is missing is added";
  ASSERT_TRUE(corvid::LoadSettings());
  EXPECT_EQ(Settings.DataSource.DSN, "Warehouse");
}

TEST_F(InstallTest, UnwritableOdbcConfigurationInstallsTheProgramButNoDataSource) {
  fs::remove(odbc.driverIni());
  fs::create_directory(odbc.driverIni());  // cannot be written, even by root

  const Outcome plain = Install({});
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.err.find("warning"), std::string::npos) << plain.err;
  EXPECT_TRUE(fs::is_regular_file(Folder() / "corvid"));

  const Outcome asked = Install();
  EXPECT_NE(asked.status, 0) << "a data source was asked for and not made";
  ASSERT_TRUE(corvid::LoadSettings());
  EXPECT_EQ(Settings.DataSource.dataSourceMissing, 1u);
}

}  // namespace
