// corvid-install run as a program, into a machine folder and an ODBC
// configuration of the test's own: the files, the embedded database, the
// driver entry, the settings, the default data source, and the data-source
// tool as Corvid starts it.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "config/data_source.h"
#include "config/settings_store.h"
#include "common/start_state.h"
#include "support/odbc_sandbox.h"
#include "support/subprocess.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using corvid::Settings;
using testing_support::IniHasSection;
using testing_support::IniValue;
using Rows = std::vector<std::string>;

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings = corvid::AppSettings{};
    if (testing_support::SqliteOdbcDriver().empty()) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    odbc.WriteFile("odbcinst.ini", "");  // registering the driver is the installer's job
  }
  // The installer's exit status; its standard error in `err`.
  int Install(std::vector<std::string> extra = {"--with-data-source"}) {
    extra.insert(extra.begin(), {"--install-path", "C:\\App"});
    const auto child = testing_support::Start(std::string(CORVID_BIN_DIR) + "/corvid-install", extra, machine.root().string());
    const int status = testing_support::WaitFor(child, std::chrono::seconds(60));
    err = machine.Read(fs::path(child.err).filename());
    return status;
  }
  // Rows of a query on the installed database, each row's columns joined by "|".
  Rows Query(const std::string& sql) const {
    Rows rows;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(Folder("Corvid.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* error = nullptr;
    auto collect = [](void* out, int n, char** values, char**) {
      std::string row;
      for (int i = 0; i < n; ++i) row += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
      static_cast<Rows*>(out)->push_back(row);
      return 0;
    };
    if (sqlite3_exec(db, sql.c_str(), collect, &rows, &error) != SQLITE_OK) ADD_FAILURE() << sql << ": " << error;
    sqlite3_free(error);
    sqlite3_close(db);
    return rows;
  }
  fs::path Folder(const std::string& file = "") const { return machine.root() / "drives/c/App" / file; }
  testing_support::TempMachine machine;
  testing_support::OdbcSandbox odbc;
  std::string err;
};

TEST_F(InstallTest, InstallsEverythingASilentRunNeedsAndTheToolCorvidStarts) {
  fs::remove(odbc.iniFolder() / "odbc.ini");  // a fresh ODBC folder has none yet
  ASSERT_EQ(Install(), 0) << err;
  for (const char* file : {"corvid", "libcorvidodbcsetup.so", "sql/sqlite.sql", "sql/postgresql.sql", "Corvid.db"}) {
    EXPECT_TRUE(fs::is_regular_file(Folder(file))) << file;
  }
  EXPECT_EQ(Query("PRAGMA journal_mode"), Rows{"wal"});
  EXPECT_EQ(Query("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"),
            (Rows{"Application", "CorvidClears", "Security", "System"}));
  for (const std::string table : {"Application", "Security", "System"}) {
    const auto indexes = Query("SELECT name FROM sqlite_master WHERE type='index' AND tbl_name='" + table + "'");
    ASSERT_EQ(indexes.size(), 1u) << table;
    EXPECT_EQ(Query("SELECT name FROM pragma_index_info('" + indexes[0] + "') ORDER BY seqno"), (Rows{"Computer", "RecordDate"}));
    EXPECT_EQ(Query("SELECT count(*) FROM pragma_table_info('" + table + "')"), Rows{"11"}) << table;
  }
  const std::string drivers = odbc.Read("odbcinst.ini"), sources = odbc.Read("odbc.ini");
  EXPECT_EQ(IniValue(drivers, "Corvid SQLite3", "Driver"), testing_support::SqliteOdbcDriver());
  EXPECT_EQ(IniValue(drivers, "Corvid SQLite3", "Setup"), Folder("libcorvidodbcsetup.so").string());
  EXPECT_EQ(IniValue(sources, "Ravelin", "Driver"), "Corvid SQLite3");
  EXPECT_EQ(IniValue(sources, "Ravelin", "Database"), Folder("Corvid.db").string());
  ASSERT_TRUE(corvid::LoadSettings());
  const auto& d = Settings.DataSource;
  EXPECT_EQ(Settings.InstallPath + "|" + d.DSN.str() + "|" + d.Description.str() + "|" + std::to_string(d.Type) + "|" +
                std::to_string(d.dataSourceMissing), "C:\\App|Ravelin|Corvid SQLite3|1|0");
  // Dsnsmith.exe is where Corvid starts it from.
  EXPECT_EQ(machine.Read("drives/c/App/Dsnsmith.exe").substr(0, 4), "\x7f" "ELF");
}

TEST_F(InstallTest, WithoutTheSwitchNoDataSourceAndInstallingAgainKeepsRowsAndTheChosenOne) {
  ASSERT_EQ(Install({}), 0) << err;
  EXPECT_TRUE(IniHasSection(odbc.Read("odbcinst.ini"), "Corvid SQLite3"));
  EXPECT_FALSE(IniHasSection(odbc.Read("odbc.ini"), "Ravelin"));
  ASSERT_TRUE(corvid::LoadSettings());
  EXPECT_EQ(Settings.DataSource.dataSourceMissing, 1u) << "left for the program's first start";
  Query("INSERT INTO System (Computer, RecordDate) VALUES ('ALPHA', '2004-02-29 10:00:00.000')");
  Query("DROP INDEX System_Computer_RecordDate");
  Settings.DataSource.DSN = "Warehouse";  // the user has since chosen another data source
  ASSERT_TRUE(corvid::SaveSettings());
  ASSERT_EQ(Install(), 0) << err;
  EXPECT_EQ(Query("SELECT Computer, RecordDate FROM System"), Rows{"ALPHA|2004-02-29 10:00:00.000"});
  EXPECT_EQ(Query("SELECT count(*) FROM sqlite_master WHERE type='index' AND tbl_name='System'"), Rows{"1"})
      << "what is missing is added";
  ASSERT_TRUE(corvid::LoadSettings());
  EXPECT_EQ(Settings.DataSource.DSN, "Warehouse");
}

}  // namespace
