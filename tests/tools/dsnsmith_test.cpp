// Dsnsmith in an ODBC configuration and a machine folder of the test's own:
// what it lists, what it writes and how Corvid reads that back, the SQLite
// data sources it makes, its window driven offscreen, and the program as
// corvid-install leaves it and Corvid starts it.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/data_source.h"
#include "config/settings_store.h"
#include "dsnsmith_core.h"
#include "dsnsmith_dialog.h"
#include "platform/threads/threads.h"
#include "common/start_state.h"
#include "support/odbc_connection.h"
#include "support/odbc_sandbox.h"
#include "support/subprocess.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
using corvid::Settings;
using dsnsmith::DataSource;
using testing_support::IniValue;
using testing_support::OdbcSandbox;
using testing_support::TempMachine;

const fs::path kSchema = fs::path(CORVID_BIN_DIR) / "sql" / "sqlite.sql";

const std::string kHeader =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion]\n"
    "\"InstallPath\"=\"C:\\\\Corvid\"\n";

const DataSource* Find(const std::vector<DataSource>& sources, const std::string& name) {
  auto found = std::find_if(sources.begin(), sources.end(), [&](const DataSource& s) { return s.name == name; });
  return found == sources.end() ? nullptr : &*found;
}

std::vector<std::string> Tables(const fs::path& database) {
  std::vector<std::string> names;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        db, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name",
        [](void* out, int, char** values, char**) {
          static_cast<std::vector<std::string>*>(out)->push_back(values[0]);
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
  void Install(const std::string& values = "") { machine.Write("registry.reg", kHeader + values + "\n"); }
  std::string Registry() const { return machine.Read("registry.reg"); }

  TempMachine machine;
  OdbcSandbox odbc;
};

TEST_F(DsnsmithTest, ListsSystemAndUserSourcesAndTellsFilesFromServers) {
  const std::string system = OdbcSandbox::UniqueName("Events");
  const std::string user = OdbcSandbox::UniqueName("Warehouse");
  odbc.AddSqliteDataSource(system, odbc.root() / "events.db");
  odbc.WriteFile("user.odbc.ini", "[" + user + "]\nDriver=Corvid PostgreSQL\nServername=db01\n\n");

  std::string error;
  const std::vector<DataSource> sources = dsnsmith::ListDataSources(&error);
  EXPECT_EQ(error, "");
  const DataSource* s = Find(sources, system);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->driver, "Corvid SQLite3");
  EXPECT_TRUE(s->system);
  const DataSource* u = Find(sources, user);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->driver, "Corvid PostgreSQL");
  EXPECT_FALSE(u->system);

  EXPECT_EQ(dsnsmith::DriverType("Corvid SQLite3"), dsnsmith::kFileDatabase);
  EXPECT_EQ(dsnsmith::DriverType("Corvid PostgreSQL"), dsnsmith::kServerDatabase);
  // A driver entry whose name says nothing is known by its library.
  odbc.WriteFile("odbcinst.ini",
                 odbc.Read("odbcinst.ini") + "[Events Store]\nDriver=" + testing_support::SqliteOdbcDriver() + "\n\n");
  EXPECT_EQ(dsnsmith::DriverType("Events Store"), dsnsmith::kFileDatabase);
}

TEST_F(DsnsmithTest, CorvidReloadsWhatIsWritten) {
  Install(
      "\"DSN\"=\"Old\"\n\"Type\"=dword:00000001\n\"Description\"=\"Corvid SQLite3\"\n"
      "\"User\"=\"old\"\n\"Password\"=\"old\"\n\"RegAccess\"=dword:00000002\n\"TimeOut\"=dword:0000000a\n");
  ASSERT_TRUE(corvid::LoadSettings());
  const dsnsmith::Choice current = dsnsmith::CurrentChoice();
  EXPECT_EQ(current.dsn, "Old");
  EXPECT_EQ(current.user, "old");

  const dsnsmith::Choice choice{"Warehouse", "Corvid PostgreSQL", dsnsmith::kServerDatabase, "märta", "p w;\"x"};
  std::string error;
  ASSERT_TRUE(dsnsmith::WriteChoice(choice, &error)) << error;
  ASSERT_TRUE(corvid::ReloadDataSourceSettings());
  EXPECT_EQ(Settings.DataSource.DSN, "Warehouse");
  EXPECT_EQ(Settings.DataSource.Description, "Corvid PostgreSQL");
  EXPECT_EQ(Settings.DataSource.Type, 2u);
  EXPECT_EQ(Settings.DataSource.User, "märta");
  EXPECT_EQ(Settings.DataSource.Password, "p w;\"x");
  EXPECT_EQ(Settings.DataSource.RegAccess, 2u) << "kept as stored";
  ASSERT_TRUE(corvid::LoadSettings());
  EXPECT_EQ(Settings.TimeOut, 10u) << "other settings untouched";

  // On a fresh install the values Corvid's reload needs are all made.
  Install();
  ASSERT_TRUE(dsnsmith::WriteChoice({"Ravelin", "Corvid SQLite3", dsnsmith::kFileDatabase, "", ""}));
  ASSERT_TRUE(corvid::ReloadDataSourceSettings());
  EXPECT_EQ(Settings.DataSource.DSN, "Ravelin");
  EXPECT_EQ(Settings.DataSource.Type, 1u);
  EXPECT_EQ(Settings.DataSource.RegAccess, 0u);
  EXPECT_NE(Registry().find("\"Type\"=dword:00000001"), std::string::npos) << Registry();
}

TEST_F(DsnsmithTest, WhatCorvidCouldNotReadBackIsNotWritten) {
  Install("\"DSN\"=\"Old\"\n");
  const std::string before = Registry();
  const std::string longest(dsnsmith::kMaxNameLength, 'n');
  for (const dsnsmith::Choice& choice : {
           dsnsmith::Choice{"", "Corvid SQLite3", 1, "", ""},
           dsnsmith::Choice{longest + "n", "Corvid SQLite3", 1, "", ""},
           dsnsmith::Choice{"Old", "Corvid SQLite3", 1, "", std::string(260, 'p')},
       }) {
    std::string error;
    EXPECT_FALSE(dsnsmith::WriteChoice(choice, &error)) << choice.dsn;
    EXPECT_NE(error, "");
  }
  EXPECT_EQ(Registry(), before);
  EXPECT_TRUE(dsnsmith::WriteChoice({longest, "Corvid SQLite3", 1, "", std::string(259, 'p')}));
  ASSERT_TRUE(corvid::ReloadDataSourceSettings());
  EXPECT_EQ(Settings.DataSource.DSN, longest);

  // Without the installer's key nothing is made up.
  machine.Write("registry.reg", "Windows Registry Editor Version 5.00\n\n");
  std::string error;
  EXPECT_FALSE(dsnsmith::WriteChoice({"Old", "Corvid SQLite3", 1, "", ""}, &error));
  EXPECT_NE(error.find("corvid-install"), std::string::npos) << error;
  EXPECT_EQ(Registry().find("Qentro"), std::string::npos);
}

TEST_F(DsnsmithTest, NewSqliteSourceHasTheEventTablesAndConnects) {
  Install();
  const std::string name = OdbcSandbox::UniqueName("Fresh");
  std::string error;
  ASSERT_TRUE(dsnsmith::CreateSqliteDataSource(name, "C:\\Data\\Events.db", kSchema, &error)) << error;

  const fs::path database = machine.root() / "drives/c/Data/Events.db";
  EXPECT_EQ(Tables(database), (std::vector<std::string>{"Application", "CorvidClears", "Security", "System"}));
  const std::string ini = odbc.Read("odbc.ini");
  EXPECT_EQ(IniValue(ini, name, "Driver"), "Corvid SQLite3");
  EXPECT_EQ(IniValue(ini, name, "Database"), database.string());
  const std::vector<DataSource> sources = dsnsmith::ListDataSources();
  const DataSource* listed = Find(sources, name);
  ASSERT_NE(listed, nullptr);
  EXPECT_TRUE(listed->system);

  testing_support::OdbcConnection connection(name, true);
  ASSERT_TRUE(connection.connected()) << connection.error();
  for (const char* table : {"Application", "Security", "System"}) {
    EXPECT_TRUE(connection.Execute(std::string("SELECT Workstation, RecordDate, Data FROM ") + table))
        << table << ": " << connection.error();
  }

  // The name is taken now.
  EXPECT_FALSE(dsnsmith::CreateSqliteDataSource(name, "C:\\Data\\Other.db", kSchema, &error));
  EXPECT_NE(error.find("exists already"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(machine.root() / "drives/c/Data/Other.db"));
}

TEST_F(DsnsmithTest, AnExistingDatabaseIsCompletedAndKeptWhateverHappens) {
  Install();
  const fs::path existing = odbc.root() / "mine.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(existing.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE Notes (text); INSERT INTO Notes VALUES ('kept');", nullptr, nullptr, nullptr);
  sqlite3_close(db);

  std::string error;
  const std::string name = OdbcSandbox::UniqueName("Mine");
  ASSERT_TRUE(dsnsmith::CreateSqliteDataSource(name, existing.string(), kSchema, &error)) << error;
  EXPECT_EQ(Tables(existing), (std::vector<std::string>{"Application", "CorvidClears", "Notes", "Security", "System"}));

  // Refusals leave no new database behind, and never remove one that was there.
  const fs::path fresh = odbc.root() / "new.db";
  EXPECT_FALSE(dsnsmith::CreateSqliteDataSource("a;b", fresh.string(), kSchema, &error));
  EXPECT_FALSE(dsnsmith::CreateSqliteDataSource(std::string(33, 'n'), fresh.string(), kSchema, &error));
  EXPECT_FALSE(dsnsmith::CreateSqliteDataSource(OdbcSandbox::UniqueName("NoSchema"), fresh.string(),
                                                odbc.root() / "missing.sql", &error));
  EXPECT_NE(error.find("missing.sql"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(fresh));

  odbc.WriteFile("odbcinst.ini", "");  // no driver entry to make it on
  EXPECT_FALSE(dsnsmith::CreateSqliteDataSource(OdbcSandbox::UniqueName("NoDriver"), fresh.string(), kSchema, &error));
  EXPECT_NE(error.find("Corvid SQLite3"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_FALSE(
      dsnsmith::CreateSqliteDataSource(OdbcSandbox::UniqueName("NoDriver"), existing.string(), kSchema, &error));
  EXPECT_TRUE(fs::exists(existing));
  EXPECT_EQ(Tables(existing).size(), 5u);
}

// One application for every window test of the process, offscreen.
QApplication& Application() {
  static int argc = 1;
  static char name[] = "dsnsmith_tests";
  static char* argv[] = {name, nullptr};
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Never destroyed: torn down among the other statics at exit, it crashes.
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

// Runs `answer` on the next modal window once `open` has shown it, and
// closes whatever modal window is left after, so a failure never hangs.
void WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& answer) {
  bool answered = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    if (!answered) {
      answered = true;
      answer(modal);
    } else if (auto* dialog = dynamic_cast<QDialog*>(modal)) {
      ADD_FAILURE() << "unexpected window: " << modal->windowTitle().toStdString();
      dialog->reject();
    }
  });
  poll.start(20);
  open();
  EXPECT_TRUE(answered);
}

TEST_F(DsnsmithTest, DialogWritesThePickedSourceOnOkAndNothingOnCancel) {
  Application();
  const std::string current = OdbcSandbox::UniqueName("Current");
  const std::string other = OdbcSandbox::UniqueName("Other");
  odbc.AddSqliteDataSource(current, odbc.root() / "current.db");
  odbc.AddDataSource(other, "Corvid PostgreSQL", {{"Servername", "db01"}});
  Install("\"DSN\"=\"" + current + "\"\n\"User\"=\"old\"\n\"Password\"=\"secret\"\n");

  {
    dsnsmith::DsnsmithDialog dialog(kSchema);
    EXPECT_EQ(dialog.windowTitle(), "Dsnsmith - Choose Data Source");
    ASSERT_NE(dialog.sources()->currentItem(), nullptr);
    EXPECT_EQ(dialog.sources()->currentItem()->text(0).toStdString(), current);
    EXPECT_EQ(dialog.userEdit()->text(), "old");
    EXPECT_EQ(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
    dialog.show();
    dialog.userEdit()->clear();
    QTest::keyClicks(dialog.userEdit(), "changed");
    QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  EXPECT_EQ(Registry().find("changed"), std::string::npos) << "Cancel wrote";
  EXPECT_EQ(Registry().find("Description"), std::string::npos) << "Cancel wrote";

  dsnsmith::DsnsmithDialog dialog(kSchema);
  dialog.show();
  const auto items = dialog.sources()->findItems(QString::fromStdString(other), Qt::MatchExactly, 0);
  ASSERT_EQ(items.size(), 1);
  QTest::mouseClick(dialog.sources()->viewport(), Qt::LeftButton, {},
                    dialog.sources()->visualItemRect(items[0]).center());
  ASSERT_EQ(dialog.sources()->currentItem(), items[0]);
  dialog.userEdit()->clear();
  QTest::keyClicks(dialog.userEdit(), "corvid");
  dialog.passwordEdit()->clear();
  QTest::keyClicks(dialog.passwordEdit(), "s3cret");
  ASSERT_TRUE(dialog.okButton()->isEnabled());
  QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);

  ASSERT_TRUE(corvid::ReloadDataSourceSettings());
  EXPECT_EQ(Settings.DataSource.DSN, other);
  EXPECT_EQ(Settings.DataSource.Description, "Corvid PostgreSQL");
  EXPECT_EQ(Settings.DataSource.Type, 2u);
  EXPECT_EQ(Settings.DataSource.User, "corvid");
  EXPECT_EQ(Settings.DataSource.Password, "s3cret");
}

TEST_F(DsnsmithTest, DialogMakesANewSqliteSourceAndSelectsIt) {
  Application();
  Install();
  dsnsmith::DsnsmithDialog dialog(kSchema);
  dialog.show();
  EXPECT_FALSE(dialog.okButton()->isEnabled()) << "nothing chosen yet";
  const std::string name = OdbcSandbox::UniqueName("Typed");
  WithModal([&] { QTest::mouseClick(dialog.newButton(), Qt::LeftButton); },
            [&](QWidget* modal) {
              auto* prompt = dynamic_cast<dsnsmith::NewSourceDialog*>(modal);
              ASSERT_NE(prompt, nullptr);
              // Every "&" a mnemonic, not shown; the empty field's hint whole.
              for (QLabel* label : prompt->findChildren<QLabel*>()) {
                if (label->text().contains('&')) {
                  EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
                }
              }
              QLineEdit* file = prompt->fileEdit();
              EXPECT_GE(file->width(), file->fontMetrics().horizontalAdvance(file->placeholderText()) + 8);
              QTest::keyClicks(prompt->nameEdit(), QString::fromStdString(name));
              QTest::keyClicks(prompt->fileEdit(), "C:\\Typed.db");
              prompt->accept();
            });
  ASSERT_NE(dialog.sources()->currentItem(), nullptr);
  EXPECT_EQ(dialog.sources()->currentItem()->text(0).toStdString(), name);
  EXPECT_EQ(Tables(machine.root() / "drives/c/Typed.db").size(), 4u);
  QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
  ASSERT_TRUE(corvid::ReloadDataSourceSettings());
  EXPECT_EQ(Settings.DataSource.DSN, name);
  EXPECT_EQ(Settings.DataSource.Description, "Corvid SQLite3");
  EXPECT_EQ(Settings.DataSource.Type, 1u);
}

// The tool that Corvid starts is the one corvid-install put in the install
// folder, under the name Corvid starts it by, and it comes up.
TEST_F(DsnsmithTest, CorvidStartsTheInstalledTool) {
  const auto installer = testing_support::Start(std::string(CORVID_BIN_DIR) + "/corvid-install",
                                                {"--install-path", "C:\\App"}, machine.root().string());
  ASSERT_EQ(testing_support::WaitFor(installer, std::chrono::seconds(60)), 0)
      << machine.Read(fs::path(installer.err).filename());
  const fs::path tool = machine.root() / "drives/c/App/Dsnsmith.exe";
  ASSERT_TRUE(fs::is_regular_file(tool));
  EXPECT_EQ(machine.Read("drives/c/App/Dsnsmith.exe").substr(0, 4),
            "\x7f"
            "ELF");
  EXPECT_TRUE(fs::is_regular_file(machine.root() / "drives/c/App/sql/sqlite.sql")) << "its schema, beside it";

  testing_support::ScopedEnv offscreen("QT_QPA_PLATFORM", std::string("offscreen"));
  ASSERT_TRUE(corvid::LoadSettings());
  ASSERT_TRUE(corvid::LaunchDataSourceTool(nullptr));
  ASSERT_NE(corvid::CompanionProcess, nullptr);
  // Still up after a while: it shows its window and waits for the user.
  EXPECT_EQ(WaitForSingleObject(corvid::CompanionProcess, 1500), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(corvid::CompanionProcess, 1);
  WaitForSingleObject(corvid::CompanionProcess, 10000);
  CloseHandle(corvid::CompanionProcess);
  corvid::CompanionProcess = nullptr;
}

}  // namespace
