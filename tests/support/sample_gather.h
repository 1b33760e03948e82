// The sample domain gathered into a database of the test's own; the stored rows are read back and
// compared with the records of the logs themselves, not counted alone.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <set>

#include "config/settings_store.h"
#include "gather/gather_run.h"
#include "gather/row_builder.h"
#include "platform/odbc/odbc.h"
#include "resources/strings.h"
#include "common/computer_list.h"
#include "common/start_state.h"
#include "support/odbc_connection.h"
#include "support/odbc_sandbox.h"
#include "support/sample_network.h"
#include "support/test_database.h"

namespace testing_support {

using Rows = std::multiset<std::string>;

// One row as the comparison sees it; the date to the second, the binary
// data in hex, "null" for a NULL.
inline std::string Key(const std::string& source, uint32_t eventId, const SQL_TIMESTAMP_STRUCT& date,
                       const std::optional<std::string>& description, const std::optional<std::string>& data) {
  char when[64];
  std::snprintf(when, sizeof when, "%04d-%02u-%02u %02u:%02u:%02u", date.year, date.month, date.day, date.hour,
                date.minute, date.second);
  std::string hex = data ? "" : "null";
  for (const unsigned char byte : data.value_or("")) hex += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
  return source + "|" + std::to_string(eventId) + "|" + when + "|" + description.value_or("null") + "|" + hex;
}

// A connection of the test's own, committing every statement by itself: it
// reads what the gathers stored and changes the tables behind their back.
class Peer : public testing_support::OdbcConnection {
 public:
  explicit Peer(const std::string& dsn) : OdbcConnection(dsn, true) {}

  // Every row of `table` that a gather of `computer` stored, one key a row.
  bool ReadRows(const char* table, const char* computer, Rows& rows) {
    const std::string sql = std::string("SELECT Source, EventID, RecordDate, Description, Data FROM ") + table +
                            " WHERE Workstation = '" + computer + "'";
    if (!Check(odbc::SQLExecDirect(statement_, Text(sql.c_str()), SQL_NTS))) return false;
    for (SQLRETURN fetched; (fetched = odbc::SQLFetch(statement_)) != SQL_NO_DATA;) {
      std::optional<std::string> source, description, data;
      SQLUINTEGER eventId = 0;
      SQL_TIMESTAMP_STRUCT recordDate{};
      SQLLEN indicator = 0;
      // In column order: not every driver reads columns in any order.
      if (!Check(fetched) || !ReadLong(1, SQL_C_CHAR, source) ||
          !Check(odbc::SQLGetData(statement_, 2, SQL_C_ULONG, &eventId, 0, &indicator)) ||
          !Check(odbc::SQLGetData(statement_, 3, SQL_C_TIMESTAMP, &recordDate, 0, &indicator)) ||
          !ReadLong(4, SQL_C_CHAR, description) || !ReadLong(5, SQL_C_BINARY, data)) {
        return false;
      }
      rows.insert(Key(source.value_or("null"), eventId, recordDate, description, data));
    }
    return Check(odbc::SQLCloseCursor(statement_));
  }
};

class SampleGatherTest : public DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(testing_support::BuildSampleNetwork(machine, HaveMessageFiles()));
    corvid::Instance = resources::ProgramInstance();
    corvid::Settings = corvid::AppSettings{};
    corvid::Settings.DataSource.DSN = dsn;
    corvid::RunLogSettings = corvid::RunLogOptions{(machine.root() / "run.log").string(), 0, 1};
    corvid::ComputerList.Clear();
    for (const char* name : {"PDC01", "BDC02", "SRV03", "WS04", "OFF05"})
      corvid::ComputerList.Append(corvid::MakeComputerEntry(name));
  }
  void TearDown() override { corvid::ComputerList.Clear(); }

  // A silent gather of the list through `odbc`.
  void GatherThrough(platform::OdbcService& odbc) {
    platform::Override<platform::OdbcService> use(odbc);
    ASSERT_TRUE(corvid::RunSilentGather());
  }
  static bool HaveMessageFiles() { return std::ifstream(std::string(CORVID_SAMPLE_DLLS) + "/corvsvc.dll").good(); }

  int32_t Status(const char* computer, size_t log) const {
    for (const auto& entry : corvid::ComputerList)
      if (entry.Name == computer) return entry.LogResults[log].Status;
    return -1;
  }

  // What the table holds for a computer, one key a row.
  Rows Stored(const char* table, const char* computer) const {
    Rows rows;
    Peer peer(dsn);
    EXPECT_TRUE(peer.connected() && peer.ReadRows(table, computer, rows)) << table << ": " << peer.error();
    return rows;
  }

  // What the table should hold: a row for every record the log has now.
  Rows Expected(const char* computer, const char* log) const {
    Rows rows;
    std::vector<std::vector<uint8_t>> records;
    EXPECT_TRUE(testing_support::ReadWholeLog(computer, log, records));
    corvid::EventSourceTable table;
    corvid::BuildEventSourceTable(computer, log, table);
    for (const auto& bytes : records) {
      const auto& record = *reinterpret_cast<const EVENTLOGRECORD*>(bytes.data());
      const corvid::EventRow row = corvid::BuildEventRow(computer, table, record, bytes.size());
      const corvid::Timestamp& t = row.RecordDate;
      const SQL_TIMESTAMP_STRUCT date{t.year, t.month, t.day, t.hour, t.minute, t.second, 0};
      std::optional<std::string> data;
      if (row.dataLength != 0) data = std::string(reinterpret_cast<const char*>(row.data.data()), row.dataLength);
      rows.insert(Key(row.Source.c_str(), row.EventID, date, std::string(row.description, row.descriptionLength),
                      data));
    }
    return rows;
  }

  void ExpectEverythingStoredOnce() const {
    for (const char* computer : testing_support::kSampleComputers) {
      for (const char* log : testing_support::kSampleLogs) {
        const Rows stored = Stored(log, computer), expected = Expected(computer, log);
        EXPECT_EQ(stored.size(), expected.size()) << computer << " " << log;
        EXPECT_TRUE(stored == expected) << computer << " " << log;
      }
    }
  }

  size_t Count(const char* table) const {
    size_t n = 0;
    for (const char* computer : testing_support::kSampleComputers) n += Stored(table, computer).size();
    return n;
  }

  TempMachine machine;
  ScopedEnv zone{"TZ", std::string("UTC")};
};

}  // namespace testing_support
