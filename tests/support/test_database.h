// An empty events database of the test's own behind the data source `dsn`, SQLite or the shared
// throwaway PostgreSQL server; skipped when that driver or server is missing.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/odbc_sandbox.h"
#include "support/postgres_server.h"

namespace testing_support {

enum class Backend { kSqlite, kPostgres };

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kSqlite ? "SQLite" : "PostgreSQL";
}

class DatabaseTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    dsn = OdbcSandbox::UniqueName("Events");  // unixODBC remembers a name's values for a while
    if (GetParam() == Backend::kSqlite) {
      if (SqliteOdbcDriver().empty()) GTEST_SKIP() << "no SQLite3 ODBC driver";
      std::string why;
      ASSERT_FALSE(sandbox.AddSqliteEventsDataSource(dsn, &why).empty()) << why;
      return;
    }
    if (PostgresOdbcDriver().empty()) GTEST_SKIP() << "psqlODBC is not installed";
    auto& server = SharedPostgres();
    if (!server.ok()) GTEST_SKIP() << "no PostgreSQL server for the test: " << server.why();
    // The schema again first: a test before may have dropped a table.
    std::string output;
    ASSERT_TRUE(server.Psql(ReadFile(CORVID_SOURCE_DIR "/sql/postgresql.sql"), &output)) << output;
    ASSERT_TRUE(server.Psql("TRUNCATE application, security, system", &output)) << output;
    sandbox.AddDataSource(dsn, kPostgresDriverEntry, server.DataSourceAttributes());
  }

  OdbcSandbox sandbox;
  std::string dsn;
};

}  // namespace testing_support
