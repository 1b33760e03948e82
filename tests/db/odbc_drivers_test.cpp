// The statements of the event table writer against the real drivers and
// our schema files: SQLite through its ODBC driver (the default data
// source) and PostgreSQL through psqlODBC. These are the things the writer
// cannot check for itself: that a stored RecordDate read back as a
// timestamp and bound again finds its rows, that long texts and binary data
// survive, that unquoted table names reach the tables, and that rows not
// committed are gone after the rollback.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/odbc/odbc.h"
#include "support/odbc_connection.h"
#include "support/odbc_sandbox.h"
#include "support/postgres_server.h"

namespace {

using testing_support::OdbcSandbox;
using testing_support::SharedPostgres;

constexpr const char* kTables[] = {"System", "Security", "Application"};

SQL_TIMESTAMP_STRUCT At(int hour, int minute, int second) {
  SQL_TIMESTAMP_STRUCT t{};
  t.year = 2004;
  t.month = 2;
  t.day = 29;
  t.hour = static_cast<SQLUSMALLINT>(hour);
  t.minute = static_cast<SQLUSMALLINT>(minute);
  t.second = static_cast<SQLUSMALLINT>(second);
  t.fraction = 1000;  // what every timestamp of an event row carries
  return t;
}

struct Row {
  std::string computer = "ALPHA";
  SQL_TIMESTAMP_STRUCT recordDate = At(10, 0, 0);
  SQLUINTEGER eventId = 7036;
  std::string description = "The service entered the running state.";
  std::optional<std::string> data;  // none: NULL
};

// One connection, made and used with the calls and arguments the session
// and the table writer use.
class Connection : public testing_support::OdbcConnection {
 public:
  explicit Connection(const char* dsn) : OdbcConnection(dsn, false) {}

  bool Insert(const char* table, const Row& row) {
    const std::string sql = std::string("INSERT INTO ") + table +
                            " (Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, "
                            "Category, EventID, Description, Data) VALUES (?,?,?,?,?,?,?,?,?,?,?)";
    if (!Check(odbc::SQLPrepare(statement_, Text(sql.c_str()), SQL_NTS))) return false;
    char workstation[50] = "LISTED";
    char source[255] = "Service Control Manager";
    char computer[50] = {};
    std::strncpy(computer, row.computer.c_str(), sizeof computer - 1);
    char user[255] = "";
    char type[50] = "Information";
    char category[255] = "None";
    SQL_TIMESTAMP_STRUCT eventDate = row.recordDate;
    SQL_TIMESTAMP_STRUCT recordDate = row.recordDate;
    SQLUINTEGER eventId = row.eventId;
    std::string description = row.description;
    std::string data = row.data.value_or("");
    SQLLEN dataLength = row.data ? static_cast<SQLLEN>(data.size()) : SQL_NULL_DATA;
    const SQLULEN descriptionLength = description.size();
    bool ok = Bind(1, SQL_C_CHAR, SQL_VARCHAR, 50, workstation, 50, nullptr) &&
              Bind(2, SQL_C_TIMESTAMP, SQL_TIMESTAMP, 0, &eventDate, 0, nullptr) &&
              Bind(3, SQL_C_TIMESTAMP, SQL_TIMESTAMP, 0, &recordDate, 0, nullptr) &&
              Bind(4, SQL_C_CHAR, SQL_VARCHAR, 255, source, 255, nullptr) &&
              Bind(5, SQL_C_CHAR, SQL_VARCHAR, 50, computer, 50, nullptr) &&
              Bind(6, SQL_C_CHAR, SQL_VARCHAR, 255, user, 255, nullptr) &&
              Bind(7, SQL_C_CHAR, SQL_VARCHAR, 50, type, 50, nullptr) &&
              Bind(8, SQL_C_CHAR, SQL_VARCHAR, 255, category, 255, nullptr) &&
              Bind(9, SQL_C_ULONG, SQL_INTEGER, 0, &eventId, 0, nullptr) &&
              Bind(10, SQL_C_DEFAULT, SQL_LONGVARCHAR, descriptionLength, description.data(),
                   static_cast<SQLLEN>(descriptionLength), nullptr);
    if (ok && row.data) {
      ok = Bind(11, SQL_C_DEFAULT, SQL_LONGVARBINARY, data.size(), data.data(), dataLength, &dataLength);
    } else if (ok) {
      ok = Bind(11, SQL_C_DEFAULT, SQL_LONGVARCHAR, 4, nullptr, 4, &dataLength);
    }
    return ok && Check(odbc::SQLExecute(statement_));
  }

  bool Commit() { return Check(odbc::SQLTransact(environment_, connection_, SQL_COMMIT)); }

  // The two queries of the stored horizon, as the writer makes them; the
  // computer goes into the text with its quotes doubled.
  struct Horizon {
    bool ok = false;
    SQLLEN indicator = 0;
    SQL_TIMESTAMP_STRUCT newest{};
    SQLINTEGER count = 0;
  };
  Horizon QueryHorizon(const char* table, const std::string& computer) {
    Horizon h;
    const std::string quoted = Quote(computer);
    const std::string max = std::string("SELECT Max(RecordDate) FROM ") + table + " WHERE Computer='" + quoted + "'";
    if (!Check(odbc::SQLExecDirect(statement_, Text(max.c_str()), SQL_NTS)) ||
        !Check(odbc::SQLFetch(statement_)) ||
        !Check(odbc::SQLGetData(statement_, 1, SQL_C_TIMESTAMP, &h.newest, 0, &h.indicator)) ||
        !Check(odbc::SQLCloseCursor(statement_))) {
      return h;
    }
    if (h.indicator <= 0) {
      h.ok = true;
      return h;
    }
    const std::string count =
        std::string("SELECT Count(*) FROM ") + table + " WHERE Computer='" + quoted + "' AND RecordDate=(?)";
    h.ok = Check(odbc::SQLPrepare(statement_, Text(count.c_str()), SQL_NTS)) &&
           Bind(1, SQL_C_TIMESTAMP, SQL_TIMESTAMP, 0, &h.newest, 0, nullptr) &&
           Check(odbc::SQLExecute(statement_)) && Check(odbc::SQLFetch(statement_)) &&
           Check(odbc::SQLGetData(statement_, 1, SQL_C_LONG, &h.count, 0, nullptr)) &&
           Check(odbc::SQLCloseCursor(statement_));
    return h;
  }

  // Column 1 of the first row as text or bytes, read in small pieces as a
  // long value must be; nullopt for NULL.
  std::optional<std::string> Single(const std::string& sql, SQLSMALLINT type) {
    if (!Check(odbc::SQLExecDirect(statement_, Text(sql.c_str()), SQL_NTS)) || !Check(odbc::SQLFetch(statement_))) {
      ADD_FAILURE() << sql << ": " << error();
      return std::nullopt;
    }
    std::optional<std::string> value;
    if (!ReadLong(1, type, value)) ADD_FAILURE() << "SQLGetData: " << error();
    odbc::SQLCloseCursor(statement_);
    return value;
  }


 private:
  static std::string Quote(const std::string& text) {
    std::string quoted;
    for (char c : text) {
      quoted += c;
      if (c == '\'') quoted += '\'';
    }
    return quoted;
  }

};

enum class Backend { kSqlite, kPostgres };

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kSqlite ? "SQLite" : "PostgreSQL";
}

class DriverTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    dsn = OdbcSandbox::UniqueName("Events");
    if (GetParam() == Backend::kSqlite) {
      if (testing_support::SqliteOdbcDriver().empty()) GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
      std::string why;
      ASSERT_FALSE(sandbox.AddSqliteEventsDataSource(dsn, &why).empty()) << why;
    } else {
      if (testing_support::PostgresOdbcDriver().empty()) GTEST_SKIP() << "psqlODBC is not installed";
      auto& server = SharedPostgres();
      if (!server.ok()) GTEST_SKIP() << "no PostgreSQL server for the test: " << server.why();
      std::string output;
      ASSERT_TRUE(server.Psql("TRUNCATE application, security, system", &output)) << output;
      sandbox.AddDataSource(dsn, testing_support::kPostgresDriverEntry, server.DataSourceAttributes());
    }
  }

  OdbcSandbox sandbox;
  std::string dsn;  // unixODBC remembers a name's values for a while
};

TEST_P(DriverTest, StoredHorizonIsFoundAgainInEveryTable) {
  for (const char* table : kTables) {
    SCOPED_TRACE(table);
    {
      Connection c(dsn.c_str());
      ASSERT_TRUE(c.connected()) << c.sqlState() << " " << c.message();
      Row row;
      row.recordDate = At(9, 59, 59);
      ASSERT_TRUE(c.Insert(table, row)) << c.sqlState() << " " << c.message();
      row.recordDate = At(10, 0, 0);
      for (int i = 0; i < 3; ++i) ASSERT_TRUE(c.Insert(table, row)) << c.message();
      Row other;  // newer, but another computer's
      other.computer = "BETA";
      other.recordDate = At(11, 0, 0);
      ASSERT_TRUE(c.Insert(table, other)) << c.message();
      ASSERT_TRUE(c.Commit()) << c.message();
    }
    Connection c(dsn.c_str());  // a later gather: a new connection
    const auto h = c.QueryHorizon(table, "ALPHA");
    ASSERT_TRUE(h.ok) << c.sqlState() << " " << c.message();
    EXPECT_GT(h.indicator, 0);
    EXPECT_EQ(h.newest.year, 2004);
    EXPECT_EQ(h.newest.month, 2);
    EXPECT_EQ(h.newest.day, 29);
    EXPECT_EQ(h.newest.hour, 10);
    EXPECT_EQ(h.newest.minute, 0);
    EXPECT_EQ(h.newest.second, 0);
    EXPECT_EQ(h.count, 3) << "the newest RecordDate, bound again, must find its three rows";
  }
}

TEST_P(DriverTest, ComputerWithoutRowsHasNoHorizon) {
  Connection c(dsn.c_str());
  ASSERT_TRUE(c.connected()) << c.message();
  ASSERT_TRUE(c.Insert("System", Row{}));
  ASSERT_TRUE(c.Commit());
  const auto h = c.QueryHorizon("System", "NOBODY");
  ASSERT_TRUE(h.ok) << c.message();
  EXPECT_EQ(h.indicator, SQL_NULL_DATA);
}

TEST_P(DriverTest, ComputerNameWithQuoteIsMatchedWhenDoubled) {
  Connection c(dsn.c_str());
  ASSERT_TRUE(c.connected()) << c.message();
  Row row;
  row.computer = "O'HARA";
  ASSERT_TRUE(c.Insert("Security", row));
  ASSERT_TRUE(c.Insert("Security", row));
  ASSERT_TRUE(c.Commit());
  const auto h = c.QueryHorizon("Security", "O'HARA");
  ASSERT_TRUE(h.ok) << c.sqlState() << " " << c.message();
  EXPECT_EQ(h.count, 2);
}

TEST_P(DriverTest, RowValuesSurviveExactly) {
  std::string longText;
  while (longText.size() < 100 * 1024) longText += "Line " + std::to_string(longText.size()) + " of the text.\r\n";
  const std::string bytes("\x00\x01\xff\x00\x80zero\x00", 10);
  struct Case {
    const char* name;
    std::string description;
    std::optional<std::string> data;
  };
  const std::vector<Case> cases = {
      {"long", longText, std::nullopt},
      {"zeros", "short", bytes},
      {"one", "", std::string(1, '\0')},
  };
  Connection c(dsn.c_str());
  ASSERT_TRUE(c.connected()) << c.message();
  for (const Case& k : cases) {
    Row row;
    row.computer = k.name;
    row.eventId = 65535;
    row.description = k.description;
    row.data = k.data;
    ASSERT_TRUE(c.Insert("Application", row)) << k.name << ": " << c.sqlState() << " " << c.message();
  }
  ASSERT_TRUE(c.Commit());
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string where = std::string(" FROM Application WHERE Computer='") + k.name + "'";
    EXPECT_EQ(c.Single("SELECT Description" + where, SQL_C_CHAR).value_or("<NULL>"), k.description);
    EXPECT_EQ(c.Single("SELECT Data" + where, SQL_C_BINARY), k.data);
    EXPECT_EQ(c.Single("SELECT EventID" + where, SQL_C_CHAR), "65535");
  }
}

TEST_P(DriverTest, RowsNotCommittedAreGoneAfterTheRollback) {
  {
    Connection c(dsn.c_str());
    ASSERT_TRUE(c.connected()) << c.message();
    Row row;
    ASSERT_TRUE(c.Insert("System", row));
    ASSERT_TRUE(c.Commit());
    row.recordDate = At(12, 0, 0);
    ASSERT_TRUE(c.Insert("System", row));
    ASSERT_TRUE(c.Insert("System", row));
  }  // ends with SQLEndTran(SQL_ROLLBACK) on the environment
  Connection c(dsn.c_str());
  const auto h = c.QueryHorizon("System", "ALPHA");
  ASSERT_TRUE(h.ok) << c.message();
  EXPECT_EQ(h.newest.hour, 10);
  EXPECT_EQ(h.count, 1);
}

TEST_P(DriverTest, MissingTableFailsWithTheDriversDiagnostics) {
  Connection c(dsn.c_str());
  ASSERT_TRUE(c.connected()) << c.message();
  const auto h = c.QueryHorizon("Setup", "ALPHA");
  EXPECT_FALSE(h.ok);
  EXPECT_EQ(c.sqlState().size(), 5u);
  EXPECT_NE(c.message(), "");
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverTest, ::testing::Values(Backend::kSqlite, Backend::kPostgres), BackendName);

TEST(DataSourceTest, UnknownDataSourceIsRefusedByTheDriverManager) {
  OdbcSandbox sandbox;
  Connection c("NoSuchSource");
  EXPECT_FALSE(c.connected());
  EXPECT_EQ(c.sqlState(), "IM002");
}

}  // namespace
