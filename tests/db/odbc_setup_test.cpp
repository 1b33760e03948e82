// Our setup library as unixODBC's installer reaches it: SQLConfigDataSource
// on the "Corvid SQLite3" entry, whose Setup is libcorvidodbcsetup.so, in an
// ODBC configuration of the test's own.
#include <gtest/gtest.h>

#include "platform/odbc/odbc.h"
#include "support/odbc_connection.h"
#include "support/odbc_sandbox.h"

namespace {

using testing_support::IniHasSection;
using testing_support::IniValue;
using testing_support::kSqliteDriverEntry;

class SetupLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing_support::SqliteOdbcDriver().empty()) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    ASSERT_FALSE(testing_support::CorvidSetupLibrary().empty()) << "libcorvidodbcsetup.so was not built";
    std::ofstream(database).flush();
  }
  // The request with its attributes as "a=b\0c=d\0\0".
  static bool Config(WORD request, const std::vector<std::string>& items, const char* driver = kSqliteDriverEntry) {
    std::string list;
    for (const std::string& item : items) list += item + '\0';
    return odbc::SQLConfigDataSource(nullptr, request, driver, (list + '\0').c_str()) != 0;
  }
  std::string System() const { return sandbox.Read("odbc.ini"); }
  std::string User() const { return sandbox.Read("user.odbc.ini"); }

  testing_support::OdbcSandbox sandbox;
  const std::string database = (sandbox.root() / "Corvid.db").string();
};

// A system add goes into the system file; a second add replaces the whole
// entry (the companion tool re-adds to edit); what was made connects.
TEST_F(SetupLibraryTest, ASystemAddWritesOrReplacesTheWholeEntry) {
  // Its own name: unixODBC would remember a removed source for a while.
  const std::string name = testing_support::OdbcSandbox::UniqueName("Made");
  ASSERT_TRUE(Config(ODBC_ADD_SYS_DSN, {"DSN=" + name, "Database=" + database, "Timeout=5000"}));
  EXPECT_EQ(IniValue(System(), name, "Timeout"), "5000");
  EXPECT_FALSE(IniHasSection(System(), "DSN"));
  EXPECT_FALSE(IniHasSection(User(), name));
  ASSERT_TRUE(Config(ODBC_ADD_SYS_DSN, {"DSN=" + name, "Database=" + database}));
  EXPECT_EQ(IniValue(System(), name, "Timeout"), "");
  EXPECT_EQ(IniValue(System(), name, "Database"), database);
  EXPECT_EQ(IniValue(System(), name, "Driver"), kSqliteDriverEntry);
  EXPECT_TRUE(testing_support::OdbcConnection(name, true).connected());
}

// A system request that cannot be written fails rather than leaving a user
// data source that other accounts would not see; an entry without a Setup
// (why the library exists) cannot make sources.
TEST_F(SetupLibraryTest, RefusedRequestsWriteNothing) {
  const struct {
    const char* name;
    WORD request;
    std::vector<std::string> attributes;
    const char* driver = kSqliteDriverEntry;
  } cases[] = {
      {"database file missing", ODBC_ADD_SYS_DSN, {"DSN=Ravelin", "Database=" + database + ".missing"}},
      {"database is a folder", ODBC_ADD_SYS_DSN, {"DSN=Ravelin", "Database=" + sandbox.root().string()}},
      {"no name", ODBC_ADD_SYS_DSN, {"Database=" + database}},
      {"empty name", ODBC_ADD_SYS_DSN, {"DSN=", "Database=" + database}},
      {"unknown request", 99, {"DSN=Ravelin", "Database=" + database}},
      {"no setup", ODBC_ADD_SYS_DSN, {"DSN=Ravelin", "Database=" + database}, "Bare SQLite3"},
      {"system file unwritable", ODBC_ADD_SYS_DSN, {"DSN=Ravelin", "Database=" + database}},
  };
  sandbox.WriteFile("odbcinst.ini",
                    sandbox.Read("odbcinst.ini") + "[Bare SQLite3]\nDriver=" + testing_support::SqliteOdbcDriver() + "\n");
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    if (k.name == std::string("system file unwritable")) {
      std::filesystem::remove(sandbox.systemIni());
      std::filesystem::create_directory(sandbox.systemIni());  // unwritable even for root
    }
    EXPECT_FALSE(Config(k.request, k.attributes, k.driver));
    EXPECT_FALSE(IniHasSection(System(), "Ravelin"));
    EXPECT_FALSE(IniHasSection(User(), "Ravelin"));
  }
  std::filesystem::remove(sandbox.systemIni());
  EXPECT_TRUE(Config(ODBC_ADD_SYS_DSN, {"DSN=Ravelin", "Database=" + database})) << "the same, with our entry";
}

}  // namespace
