// FailingOdbc, which the writer's tests lean on: it must fail exactly the
// calls asked for, and answer SQLError as a driver does, or those tests
// prove nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/odbc/odbc.h"
#include "support/fake_odbc.h"

namespace {

using testing_support::FailingOdbc;
using testing_support::OdbcFailure;

TEST(FailingOdbcTest, FailsTheChosenOccurrences) {
  struct Case {
    const char* name;
    int occurrence;
    bool onward;
    std::vector<bool> failed;  // for five calls in a row
  };
  const std::vector<Case> cases = {
      {"first", 1, false, {true, false, false, false, false}},
      {"third", 3, false, {false, false, true, false, false}},
      {"third on", 3, true, {false, false, true, true, true}},
      {"never reached", 9, true, {false, false, false, false, false}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    FailingOdbc odbc;
    odbc.Fail({.call = "SQLAllocEnv", .occurrence = k.occurrence, .onward = k.onward});
    platform::Override<platform::OdbcService> use(odbc);
    std::vector<bool> failed;
    for (int i = 0; i < 5; ++i) {
      SQLHENV environment = SQL_NULL_HENV;
      const SQLRETURN r = odbc::SQLAllocEnv(&environment);
      failed.push_back(r == SQL_ERROR);
      if (r == SQL_SUCCESS) odbc::SQLFreeEnv(environment);
    }
    EXPECT_EQ(failed, k.failed);
    EXPECT_EQ(odbc.Calls("SQLAllocEnv"), 5);
    EXPECT_EQ(odbc.Calls("SQLConnect"), 0);
  }
}

TEST(FailingOdbcTest, DiagnosticsAreGivenOnceAsADriverGivesThem) {
  FailingOdbc odbc;
  odbc.Fail({.call = "SQLAllocConnect", .sqlState = "08001", .nativeError = -17, .message = "no route to Ravelin"});
  platform::Override<platform::OdbcService> use(odbc);
  SQLHENV environment = SQL_NULL_HENV;
  ASSERT_EQ(odbc::SQLAllocEnv(&environment), SQL_SUCCESS);
  SQLHDBC connection = SQL_NULL_HDBC;
  EXPECT_EQ(odbc::SQLAllocConnect(environment, &connection), SQL_ERROR);

  SQLCHAR state[6] = "xxxxx";
  SQLINTEGER native = 0;
  SQLCHAR message[512] = {};
  SQLSMALLINT length = 0;
  EXPECT_EQ(odbc::SQLError(environment, connection, SQL_NULL_HSTMT, state, &native, message, 511, &length),
            SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "08001");
  EXPECT_EQ(native, -17);
  EXPECT_STREQ(reinterpret_cast<char*>(message), "no route to Ravelin");
  EXPECT_EQ(length, 19);
  EXPECT_EQ(odbc::SQLError(environment, connection, SQL_NULL_HSTMT, state, &native, message, 511, &length),
            SQL_NO_DATA);

  // A short buffer gets the text cut and terminated, and the full length.
  odbc.Fail({.call = "SQLAllocConnect", .occurrence = 2, .message = "no route to Ravelin"});
  EXPECT_EQ(odbc::SQLAllocConnect(environment, &connection), SQL_ERROR);
  SQLCHAR small[6] = {};
  EXPECT_EQ(odbc::SQLError(environment, connection, SQL_NULL_HSTMT, state, &native, small, 6, &length),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(reinterpret_cast<char*>(small), "no ro");
  EXPECT_EQ(length, 19);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "HY000");

  EXPECT_EQ(odbc::SQLFreeEnv(environment), SQL_SUCCESS);
  EXPECT_EQ(odbc.Injected(), 2);
}

TEST(FailingOdbcTest, InstallerFailsWithFalse) {
  FailingOdbc odbc;
  odbc.Fail({.call = "SQLConfigDataSource"});
  platform::Override<platform::OdbcService> use(odbc);
  EXPECT_EQ(odbc::SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, "Corvid SQLite3", "DSN=Ravelin\0\0"), 0);
  EXPECT_EQ(odbc.Calls("SQLConfigDataSource"), 1);
}

}  // namespace
