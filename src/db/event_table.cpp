#include "db/event_table.h"

#include <cstdio>
#include <vector>

namespace corvid {
namespace {

SQLCHAR* Text(std::string& text) { return reinterpret_cast<SQLCHAR*>(text.data()); }

std::string Format(const char* format, const char* table, const std::string& computer = {}) {
  const int size = std::snprintf(nullptr, 0, format, table, computer.c_str());
  std::string text(static_cast<size_t>(size > 0 ? size : 0) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, table, computer.c_str());
  text.pop_back();
  return text;
}

// A failed step: diagnostics captured, the box shown with a window.
bool Fail(OdbcSession& session, HWND window, const char* caption) {
  ReportFailure(session, window, caption);
  return false;
}

}  // namespace

std::string QuoteLiteral(std::string_view text) {
  std::string quoted;
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted;
}

bool QueryStoredHorizon(OdbcSession& session, HWND window, const char* table, const char* computer,
                        Timestamp& newest, SQLINTEGER& count) {
  const std::string name = QuoteLiteral(computer);
  std::string maxQuery = Format("SELECT Max(RecordDate) FROM %s WHERE Computer='%s'", table, name);
  session.lastReturn = odbc::SQLExecDirect(session.statement, Text(maxQuery), SQL_NTS);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, table);
  session.lastReturn = odbc::SQLFetch(session.statement);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, table);
  SQLLEN indicator = 0;
  session.lastReturn = odbc::SQLGetData(session.statement, 1, SQL_C_TIMESTAMP, &newest, sizeof newest, &indicator);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, table);
  session.lastReturn = odbc::SQLCloseCursor(session.statement);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, "SQLPrepare");
  // A NULL maximum: no row of this computer in the table.
  if (indicator <= 0) {
    count = 0;
    return true;
  }

  std::string countQuery = Format("SELECT Count(*) FROM %s WHERE Computer='%s' AND RecordDate=(?)", table, name);
  session.lastReturn = odbc::SQLPrepare(session.statement, Text(countQuery), SQL_NTS);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, "SQLPrepare");
  session.lastReturn = odbc::SQLBindParameter(session.statement, 1, SQL_PARAM_INPUT, SQL_C_TIMESTAMP,
                                              SQL_TIMESTAMP, 0, 0, &newest, 0, nullptr);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, "SQLBindParameter 1");
  session.lastReturn = odbc::SQLExecute(session.statement);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, "SQLExecute");
  session.lastReturn = odbc::SQLFetch(session.statement);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, table);
  session.lastReturn = odbc::SQLGetData(session.statement, 1, SQL_C_LONG, &count, sizeof count, nullptr);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, table);
  session.lastReturn = odbc::SQLCloseCursor(session.statement);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, "SQLPrepare");
  return true;
}

bool PrepareInsert(OdbcSession& session, HWND window, const char* table) {
  std::string insert = Format(
      "INSERT INTO %s (Workstation, EventDate, RecordDate, Source, Computer, UserName, Type, Category, "
      "EventID, Description, Data) VALUES (?,?,?,?,?,?,?,?,?,?,?)",
      table);
  session.lastReturn = odbc::SQLPrepare(session.statement, Text(insert), SQL_NTS);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, "SQLPrepare");
  return true;
}

bool InsertEventRow(OdbcSession& session, HWND window, EventRow& row) {
  // The indicator of the Data column must outlive the execute.
  static thread_local SQLLEN dataIndicator;
  static char emptyText[1] = {'\0'};
  char* description = row.descriptionLength != 0 ? row.description : emptyText;
  const auto descriptionLength = static_cast<SQLLEN>(row.descriptionLength);

  struct Parameter {
    SQLSMALLINT valueType;
    SQLSMALLINT sqlType;
    SQLULEN columnSize;
    SQLPOINTER value;
    SQLLEN bufferLength;
    SQLLEN* indicator;
  };
  Parameter parameters[11] = {
      {SQL_C_CHAR, SQL_VARCHAR, 50, row.Workstation.data(), 50, nullptr},
      {SQL_C_TIMESTAMP, SQL_TIMESTAMP, 0, &row.EventDate, 0, nullptr},
      {SQL_C_TIMESTAMP, SQL_TIMESTAMP, 0, &row.RecordDate, 0, nullptr},
      {SQL_C_CHAR, SQL_VARCHAR, 255, row.Source.data(), 255, nullptr},
      {SQL_C_CHAR, SQL_VARCHAR, 50, row.Computer.data(), 50, nullptr},
      {SQL_C_CHAR, SQL_VARCHAR, 255, row.UserName.data(), 255, nullptr},
      {SQL_C_CHAR, SQL_VARCHAR, 50, row.Type.data(), 50, nullptr},
      {SQL_C_CHAR, SQL_VARCHAR, 255, row.Category, 255, nullptr},
      {SQL_C_ULONG, SQL_INTEGER, 0, &row.EventID, 0, nullptr},
      {SQL_C_DEFAULT, SQL_LONGVARCHAR, static_cast<SQLULEN>(descriptionLength), description,
       descriptionLength, nullptr},
      {},
  };
  if (row.dataLength > 0) {
    dataIndicator = static_cast<SQLLEN>(row.dataLength);
    parameters[10] = {SQL_C_DEFAULT, SQL_LONGVARBINARY, row.dataLength, row.data.data(),
                      static_cast<SQLLEN>(row.dataLength), &dataIndicator};
  } else {
    // No data: a NULL, bound as a four-byte long text with no buffer.
    dataIndicator = SQL_NULL_DATA;
    parameters[10] = {SQL_C_DEFAULT, SQL_LONGVARCHAR, 4, nullptr, 4, &dataIndicator};
  }
  for (size_t i = 0; i < std::size(parameters); ++i) {
    const Parameter& p = parameters[i];
    session.lastReturn = odbc::SQLBindParameter(session.statement, static_cast<SQLUSMALLINT>(i + 1),
                                                SQL_PARAM_INPUT, p.valueType, p.sqlType, p.columnSize, 0,
                                                p.value, p.bufferLength, p.indicator);
    if (!Succeeded(session.lastReturn)) {
      const std::string caption = "SQLBindParameter " + std::to_string(i + 1);
      return Fail(session, window, caption.c_str());
    }
  }
  session.lastReturn = odbc::SQLExecute(session.statement);
  if (!Succeeded(session.lastReturn)) return Fail(session, window, "SQLExecute");
  return true;
}

}  // namespace corvid
