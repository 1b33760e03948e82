// Our setup library as unixODBC's installer reaches it: SQLConfigDataSource
// on the "Corvid SQLite3" entry, whose Setup is libcorvidodbcsetup.so, in an
// ODBC configuration of the test's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/odbc/odbc.h"
#include "support/odbc_connection.h"
#include "support/odbc_sandbox.h"

namespace {

using testing_support::IniHasSection;
using testing_support::IniValue;
using testing_support::kSqliteDriverEntry;
using testing_support::OdbcSandbox;

// "a=b", "c=d" -> "a=b\0c=d\0\0"
std::string Attributes(const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items) {
    list += item;
    list += '\0';
  }
  list += '\0';
  return list;
}

bool Config(WORD request, const std::vector<std::string>& items, const char* driver = kSqliteDriverEntry) {
  return odbc::SQLConfigDataSource(nullptr, request, driver, Attributes(items).c_str()) != 0;
}

class SetupLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing_support::SqliteOdbcDriver().empty()) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    ASSERT_FALSE(testing_support::CorvidSetupLibrary().empty()) << "libcorvidodbcsetup.so was not built";
    database = (sandbox.root() / "Corvid.db").string();
    std::ofstream(database).flush();
  }
  std::string System() const { return sandbox.Read("odbc.ini"); }
  std::string User() const { return sandbox.Read("user.odbc.ini"); }

  OdbcSandbox sandbox;
  std::string database;
};

TEST_F(SetupLibraryTest, AddGoesIntoTheFileOfItsKind) {
  struct Case {
    const char* name;
    WORD request;
    bool system;
  };
  for (const Case& k : {Case{"SysSource", ODBC_ADD_SYS_DSN, true}, Case{"UserSource", ODBC_ADD_DSN, false}}) {
    SCOPED_TRACE(k.name);
    ASSERT_TRUE(Config(k.request, {std::string("DSN=") + k.name, "Database=" + database, "Timeout=5000"}));
    const std::string written = k.system ? System() : User();
    const std::string other = k.system ? User() : System();
    EXPECT_EQ(IniValue(written, k.name, "Driver"), kSqliteDriverEntry);
    EXPECT_EQ(IniValue(written, k.name, "Database"), database);
    EXPECT_EQ(IniValue(written, k.name, "Timeout"), "5000");
    EXPECT_FALSE(IniHasSection(written, std::string("DSN")));
    EXPECT_FALSE(IniHasSection(other, k.name));
  }
}

// A second add replaces the whole entry, a configure changes only what it
// names, a remove takes only its source; what was made connects.
TEST_F(SetupLibraryTest, AddAgainConfigureAndRemove) {
  // Its own name: unixODBC would remember a removed source for a while.
  const std::string name = OdbcSandbox::UniqueName("Made");
  const std::string dsn = "DSN=" + name;
  ASSERT_TRUE(Config(ODBC_ADD_SYS_DSN, {dsn, "Database=" + database, "Timeout=5000"}));
  ASSERT_TRUE(Config(ODBC_ADD_SYS_DSN, {dsn, "Database=" + database}));
  EXPECT_EQ(IniValue(System(), name, "Timeout"), "");
  ASSERT_TRUE(Config(ODBC_CONFIG_SYS_DSN, {dsn, "Timeout=100"}));
  EXPECT_EQ(IniValue(System(), name, "Timeout"), "100");
  EXPECT_EQ(IniValue(System(), name, "Database"), database);
  EXPECT_EQ(IniValue(System(), name, "Driver"), kSqliteDriverEntry);
  EXPECT_TRUE(testing_support::OdbcConnection(name, true).connected());
  ASSERT_TRUE(Config(ODBC_ADD_SYS_DSN, {"DSN=Other", "Database=" + database}));
  ASSERT_TRUE(Config(ODBC_REMOVE_SYS_DSN, {dsn}));
  EXPECT_FALSE(IniHasSection(System(), name));
  EXPECT_EQ(IniValue(System(), "Other", "Database"), database);
}

TEST_F(SetupLibraryTest, RefusedRequestsWriteNothing) {
  struct Case {
    const char* name;
    WORD request;
    std::vector<std::string> attributes;
  };
  const std::vector<Case> cases = {
      {"database file missing", ODBC_ADD_SYS_DSN, {"DSN=Ravelin", "Database=" + database + ".missing"}},
      {"database is a folder", ODBC_ADD_SYS_DSN, {"DSN=Ravelin", "Database=" + sandbox.root().string()}},
      {"no name", ODBC_ADD_SYS_DSN, {"Database=" + database}},
      {"empty name", ODBC_ADD_SYS_DSN, {"DSN=", "Database=" + database}},
      {"configure a missing source", ODBC_CONFIG_SYS_DSN, {"DSN=Ravelin", "Timeout=1"}},
      {"remove a missing source", ODBC_REMOVE_SYS_DSN, {"DSN=Ravelin"}},
      {"unknown request", 99, {"DSN=Ravelin", "Database=" + database}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_FALSE(Config(k.request, k.attributes));
    EXPECT_FALSE(IniHasSection(System(), "Ravelin"));
    EXPECT_FALSE(IniHasSection(User(), "Ravelin"));
  }
}

// A system request that cannot be written fails rather than leaving a
// user data source that other accounts would not see.
TEST_F(SetupLibraryTest, UnwritableSystemFileFailsWithoutFallingBack) {
  std::filesystem::remove(sandbox.systemIni());
  std::filesystem::create_directory(sandbox.systemIni());  // unwritable even for root
  EXPECT_FALSE(Config(ODBC_ADD_SYS_DSN, {"DSN=Ravelin", "Database=" + database}));
  EXPECT_FALSE(IniHasSection(User(), "Ravelin"));
}

// Why the library exists: an entry without a Setup cannot make sources.
TEST_F(SetupLibraryTest, DriverEntryWithoutSetupCannotMakeSources) {
  const std::string bare = "[Bare SQLite3]\nDriver=" + testing_support::SqliteOdbcDriver() + "\n";
  sandbox.WriteFile("odbcinst.ini", sandbox.Read("odbcinst.ini") + bare);
  EXPECT_FALSE(Config(ODBC_ADD_SYS_DSN, {"DSN=Ravelin", "Database=" + database}, "Bare SQLite3"));
  EXPECT_TRUE(Config(ODBC_ADD_SYS_DSN, {"DSN=Ravelin", "Database=" + database}));
}

}  // namespace
