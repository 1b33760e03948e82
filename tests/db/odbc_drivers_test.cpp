// Long texts and binary data (the sample domain has neither) stored through the real drivers and
// our schema files, and read back exactly; the rest of the writer is the whole gathers' to show.
#include <gtest/gtest.h>

#include <cstring>

#include "db/event_table.h"
#include "db/odbc_session.h"
#include "platform/modules/modules.h"
#include "support/odbc_connection.h"
#include "support/test_database.h"

namespace {

using testing_support::Backend;

// Column 1 of a query's first row, text or bytes; nullopt for NULL.
class Reader : public testing_support::OdbcConnection {
 public:
  explicit Reader(const std::string& dsn) : OdbcConnection(dsn, true) {}
  std::optional<std::string> Single(const std::string& sql, SQLSMALLINT type) {
    std::optional<std::string> value;
    EXPECT_TRUE(Execute(sql) && Check(odbc::SQLFetch(statement_)) && ReadLong(1, type, value)) << sql << ": " << error();
    odbc::SQLCloseCursor(statement_);
    return value;
  }
};

using DriverTest = testing_support::DatabaseTest;
INSTANTIATE_TEST_SUITE_P(Drivers, DriverTest, ::testing::Values(Backend::kSqlite, Backend::kPostgres),
                         testing_support::BackendName);

TEST_P(DriverTest, LongTextsAndBinaryDataComeBackExactly) {
  std::string longText;
  while (longText.size() < 100 * 1024) longText += "Line " + std::to_string(longText.size()) + " of the text.\r\n";
  const struct {
    const char* name;
    std::string description;
    std::optional<std::string> data;
  } cases[] = {
      {"long", longText, std::nullopt},
      {"zeros", "short", std::string("\x00\x01\xff\x00\x80zero\x00", 10)},
      {"one", "", std::string(1, '\0')},
  };
  corvid::OdbcSession session;
  corvid::DataSourceInfo source;
  source.DSN = dsn;
  ASSERT_TRUE(corvid::OpenSession(session) && corvid::ConnectSession(session, nullptr, source)) << session.messageText;
  ASSERT_TRUE(corvid::PrepareInsert(session, nullptr, "Application")) << session.messageText;
  for (const auto& k : cases) {
    corvid::EventRow row;
    row.Workstation = row.Computer = k.name;
    row.EventDate = row.RecordDate = corvid::Timestamp{2004, 2, 29, 10, 0, 0, 1000};
    row.EventID = 65535;
    if (!k.description.empty()) {
      auto* text = static_cast<char*>(LocalAlloc(0, k.description.size() + 1));
      std::memcpy(text, k.description.c_str(), k.description.size() + 1);
      row.SetDescription(text, static_cast<DWORD>(k.description.size()));
    }
    if (k.data) {
      row.data.assign(k.data->begin(), k.data->end());
      row.data.push_back(0);
      row.dataLength = static_cast<DWORD>(k.data->size());
    }
    ASSERT_TRUE(corvid::InsertEventRow(session, nullptr, row)) << k.name << ": " << session.messageText;
  }
  ASSERT_TRUE(corvid::CommitSession(session, nullptr)) << session.messageText;
  corvid::EndSession(session, nullptr);
  corvid::CloseSession(session);

  Reader reader(dsn);
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string where = std::string(" FROM Application WHERE Computer='") + k.name + "'";
    EXPECT_EQ(reader.Single("SELECT Description" + where, SQL_C_CHAR).value_or("<NULL>"), k.description);
    EXPECT_EQ(reader.Single("SELECT Data" + where, SQL_C_BINARY), k.data);
    EXPECT_EQ(reader.Single("SELECT EventID" + where, SQL_C_CHAR), "65535");
  }
}

}  // namespace
