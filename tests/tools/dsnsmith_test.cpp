// Dsnsmith in an ODBC configuration and machine folder of the test's own: what it lists and
// writes and how Corvid reads that back, the SQLite sources it makes, its window offscreen.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTest>
#include <QtWidgets>

#include "config/data_source.h"
#include "config/settings_store.h"
#include "dsnsmith_core.h"
#include "dsnsmith_dialog.h"
#include "support/odbc_connection.h"
#include "support/odbc_sandbox.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using corvid::Settings;
using dsnsmith::Choice;
using testing_support::OdbcSandbox;
using Names = std::vector<std::string>;

const fs::path kSchema = fs::path(CORVID_BIN_DIR) / "sql" / "sqlite.sql";

std::string Tables(const fs::path& database) {
  std::string names;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name",
                 [](void* out, int, char** values, char**) {
                   *static_cast<std::string*>(out) += std::string(" ") + values[0];
                   return 0;
                 },
                 &names, nullptr);
  }
  sqlite3_close(db);
  return names;
}

class DsnsmithTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings = corvid::AppSettings{};
    if (testing_support::SqliteOdbcDriver().empty()) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    ASSERT_FALSE(testing_support::CorvidSetupLibrary().empty()) << "libcorvidodbcsetup.so was not built";
  }
  // The settings key as corvid-install leaves it, plus `values`.
  void Install(const std::string& values = "") {
    machine.Write("registry.reg", "Windows Registry Editor Version 5.00\n\n"
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion]\n"
                                  "\"InstallPath\"=\"C:\\\\Corvid\"\n" + values + "\n");
  }
  std::string Registry() const { return machine.Read("registry.reg"); }
  // The data source Corvid reads back: name, description, type, user, password, registry access.
  static std::string Reloaded() {
    if (!corvid::ReloadDataSourceSettings()) return "(not reloaded)";
    const auto& d = Settings.DataSource;
    return d.DSN.str() + "|" + d.Description.str() + "|" + std::to_string(d.Type) + "|" + d.User.str() + "|" +
           d.Password.str() + "|" + std::to_string(d.RegAccess);
  }
  // How the named source is listed: its driver, and whether it is a system one.
  static std::string Listed(const std::string& name) {
    std::string error;
    for (const auto& s : dsnsmith::ListDataSources(&error))
      if (s.name == name) return s.driver + (s.system ? " system" : "") + error;
    return "(not listed) " + error;
  }
  testing_support::TempMachine machine;
  OdbcSandbox odbc;
};

TEST_F(DsnsmithTest, CorvidReloadsWhatIsWrittenAndNothingItCouldNotReadBack) {
  Install("\"DSN\"=\"Old\"\n\"Type\"=dword:00000001\n\"Description\"=\"Corvid SQLite3\"\n"
          "\"User\"=\"old\"\n\"Password\"=\"old\"\n\"RegAccess\"=dword:00000002\n\"TimeOut\"=dword:0000000a\n");
  ASSERT_TRUE(corvid::LoadSettings());
  EXPECT_EQ(dsnsmith::CurrentChoice().dsn + "|" + dsnsmith::CurrentChoice().user, "Old|old");
  const std::string before = Registry(), longest(dsnsmith::kMaxNameLength, 'n');
  for (const Choice& choice : {Choice{"", "Corvid SQLite3", 1, "", ""}, Choice{longest + "n", "Corvid SQLite3", 1, "", ""},
                               Choice{"Old", "Corvid SQLite3", 1, "", std::string(260, 'p')}}) {
    std::string why;
    EXPECT_TRUE(!dsnsmith::WriteChoice(choice, &why) && !why.empty()) << choice.dsn;
  }
  std::string error;
  EXPECT_EQ(Registry(), before);
  ASSERT_TRUE(dsnsmith::WriteChoice({"Warehouse", "Corvid PostgreSQL", dsnsmith::kServerDatabase, "märta", "p w;\"x"}, &error));
  EXPECT_EQ(Reloaded(), "Warehouse|Corvid PostgreSQL|2|märta|p w;\"x|2") << "registry access kept as stored";
  ASSERT_TRUE(corvid::LoadSettings());
  EXPECT_EQ(Settings.TimeOut, 10u) << "other settings untouched";
  EXPECT_TRUE(dsnsmith::WriteChoice({longest, "Corvid SQLite3", 1, "", std::string(259, 'p')}));
  EXPECT_EQ(Reloaded(), longest + "|Corvid SQLite3|1||" + std::string(259, 'p') + "|2");
  // On a fresh install the values Corvid's reload needs are all made.
  Install();
  ASSERT_TRUE(dsnsmith::WriteChoice({"Ravelin", "Corvid SQLite3", dsnsmith::kFileDatabase, "", ""}));
  EXPECT_EQ(Reloaded(), "Ravelin|Corvid SQLite3|1|||0");
  EXPECT_NE(Registry().find("\"Type\"=dword:00000001"), std::string::npos) << Registry();
  // Without the installer's key nothing is made up.
  machine.Write("registry.reg", "Windows Registry Editor Version 5.00\n\n");
  EXPECT_FALSE(dsnsmith::WriteChoice({"Old", "Corvid SQLite3", 1, "", ""}, &error));
  EXPECT_NE(error.find("corvid-install"), std::string::npos) << error;
  EXPECT_EQ(Registry().find("Qentro"), std::string::npos);
}

TEST_F(DsnsmithTest, NewSqliteSourcesAreListedHaveTheEventTablesAndConnectAndRefusalsKeepEveryDatabase) {
  Install();
  const std::string name = OdbcSandbox::UniqueName("Fresh"), user = OdbcSandbox::UniqueName("Warehouse");
  std::string error;
  ASSERT_TRUE(dsnsmith::CreateSqliteDataSource(name, "C:\\Data\\Events.db", kSchema, &error)) << error;
  const fs::path database = machine.root() / "drives/c/Data/Events.db";
  EXPECT_EQ(Tables(database), " Application CorvidClears Security System");
  EXPECT_EQ(testing_support::IniValue(odbc.Read("odbc.ini"), name, "Database"), database.string());
  odbc.WriteFile("user.odbc.ini", "[" + user + "]\nDriver=Corvid PostgreSQL\nServername=db01\n\n");
  EXPECT_EQ(Listed(name) + ", " + Listed(user), "Corvid SQLite3 system, Corvid PostgreSQL");
  // A driver entry whose name says nothing is known by its library.
  odbc.WriteFile("odbcinst.ini", odbc.Read("odbcinst.ini") + "[Events Store]\nDriver=" + testing_support::SqliteOdbcDriver() + "\n\n");
  EXPECT_EQ(std::vector<DWORD>({dsnsmith::DriverType("Corvid SQLite3"), dsnsmith::DriverType("Corvid PostgreSQL"), dsnsmith::DriverType("Events Store")}),
            std::vector<DWORD>({dsnsmith::kFileDatabase, dsnsmith::kServerDatabase, dsnsmith::kFileDatabase}));
  testing_support::OdbcConnection connection(name, true);
  ASSERT_TRUE(connection.connected()) << connection.error();
  for (const char* table : {"Application", "Security", "System"})
    EXPECT_TRUE(connection.Execute(std::string("SELECT Workstation, RecordDate, Data FROM ") + table)) << connection.error();
  EXPECT_FALSE(dsnsmith::CreateSqliteDataSource(name, "C:\\Data\\Other.db", kSchema, &error)) << "the name is taken now";
  EXPECT_NE(error.find("exists already"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(machine.root() / "drives/c/Data/Other.db"));

  // An existing database is completed and kept whatever happens; refusals leave no new one behind.
  const fs::path existing = odbc.root() / "mine.db", fresh = odbc.root() / "new.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(existing.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE Notes (text); INSERT INTO Notes VALUES ('kept');", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  ASSERT_TRUE(dsnsmith::CreateSqliteDataSource(OdbcSandbox::UniqueName("Mine"), existing.string(), kSchema, &error)) << error;
  const std::string completed = " Application CorvidClears Notes Security System";
  EXPECT_EQ(Tables(existing), completed);
  EXPECT_FALSE(dsnsmith::CreateSqliteDataSource(OdbcSandbox::UniqueName("NoSchema"), fresh.string(), odbc.root() / "missing.sql", &error));
  EXPECT_NE(error.find("missing.sql"), std::string::npos) << error;
  odbc.WriteFile("odbcinst.ini", "");  // no driver entry to make it on
  EXPECT_FALSE(dsnsmith::CreateSqliteDataSource(OdbcSandbox::UniqueName("NoDriver"), fresh.string(), kSchema, &error));
  EXPECT_NE(error.find("Corvid SQLite3"), std::string::npos) << error;
  EXPECT_FALSE(dsnsmith::CreateSqliteDataSource(OdbcSandbox::UniqueName("NoDriver"), existing.string(), kSchema, &error));
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_EQ(Tables(existing), completed);
}

TEST_F(DsnsmithTest, TheWindowMakesAndPicksSourcesAndOkWritesThem) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char program[] = "dsnsmith_tests", *argv[] = {program, nullptr};
  [[maybe_unused]] static auto* application = new QApplication(argc, argv);  // never ended: at exit it crashes
  const std::string other = OdbcSandbox::UniqueName("Other");
  odbc.AddDataSource(other, "Corvid PostgreSQL", {{"Servername", "db01"}});
  auto type = [](QLineEdit* edit, const std::string& text) { edit->clear(), QTest::keyClicks(edit, QString::fromStdString(text)); };
  // On a fresh install nothing is chosen; a new source is made from the prompt and selected;
  // another picked, OK writes it.
  Install();
  dsnsmith::DsnsmithDialog dialog(kSchema);
  dialog.show();
  EXPECT_FALSE(dialog.okButton()->isEnabled());
  const std::string name = OdbcSandbox::UniqueName("Typed");
  int prompts = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* prompt = dynamic_cast<dsnsmith::NewSourceDialog*>(QApplication::activeModalWidget());
    if (prompt == nullptr || ++prompts > 1) return;
    // Every "&" a mnemonic, not shown; the empty field's hint whole.
    for (QLabel* label : prompt->findChildren<QLabel*>())
      EXPECT_TRUE(!label->text().contains('&') || label->buddy() != nullptr) << label->text().toStdString();
    QLineEdit* file = prompt->fileEdit();
    EXPECT_GE(file->width(), file->fontMetrics().horizontalAdvance(file->placeholderText()) + 8);
    type(prompt->nameEdit(), name);
    type(file, "C:\\Typed.db");
    prompt->accept();
  });
  poll.start(20);
  QTest::mouseClick(dialog.newButton(), Qt::LeftButton);
  ASSERT_EQ(prompts, 1);
  ASSERT_NE(dialog.sources()->currentItem(), nullptr);
  EXPECT_EQ(dialog.sources()->currentItem()->text(0).toStdString(), name);
  EXPECT_EQ(Tables(machine.root() / "drives/c/Typed.db"), " Application CorvidClears Security System");
  const auto items = dialog.sources()->findItems(QString::fromStdString(other), Qt::MatchExactly, 0);
  ASSERT_EQ(items.size(), 1);
  QTest::mouseClick(dialog.sources()->viewport(), Qt::LeftButton, {}, dialog.sources()->visualItemRect(items[0]).center());
  ASSERT_EQ(dialog.sources()->currentItem(), items[0]);
  type(dialog.userEdit(), "corvid");
  type(dialog.passwordEdit(), "s3cret");
  QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Reloaded(), other + "|Corvid PostgreSQL|2|corvid|s3cret|0");
}

}  // namespace
