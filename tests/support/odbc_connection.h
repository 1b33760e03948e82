// A connection of a test's (or a benchmark's) own, made with the calls the
// session makes, for reading what the program stored and for statements the
// program never makes. Users derive from it and add their queries.
#pragma once

#include <optional>
#include <string>

#include "platform/odbc/odbc.h"

namespace testing_support {

class OdbcConnection {
 public:
  // With `autocommit` off, what was not committed is rolled back at the end.
  OdbcConnection(const std::string& dsn, bool autocommit) : autocommit_(autocommit) {
    odbc::SQLAllocEnv(&environment_);
    odbc::SQLAllocConnect(environment_, &connection_);
    odbc::SQLSetConnectOption(connection_, SQL_LOGIN_TIMEOUT, 5);
    if (!autocommit) odbc::SQLSetConnectOption(connection_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
    connected_ = Check(odbc::SQLConnect(connection_, Text(dsn.c_str()), SQL_NTS, Text(""), SQL_NTS, Text(""),
                                        SQL_NTS)) &&
                 Check(odbc::SQLAllocStmt(connection_, &statement_));
  }
  ~OdbcConnection() {
    if (connected_ && !autocommit_) odbc::SQLEndTran(SQL_HANDLE_ENV, environment_, SQL_ROLLBACK);
    if (statement_ != SQL_NULL_HSTMT) odbc::SQLFreeStmt(statement_, SQL_DROP);
    if (connected_) odbc::SQLDisconnect(connection_);
    odbc::SQLFreeConnect(connection_);
    odbc::SQLFreeEnv(environment_);
  }
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  bool connected() const { return connected_; }
  std::string error() const { return sqlState_ + " " + message_; }

  bool Execute(const std::string& sql) { return Check(odbc::SQLExecDirect(statement_, Text(sql.c_str()), SQL_NTS)); }

 protected:
  static SQLCHAR* Text(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

  // True for success; otherwise the diagnostics are kept and false.
  bool Check(SQLRETURN code) {
    if (code == SQL_SUCCESS || code == SQL_SUCCESS_WITH_INFO) return true;
    SQLCHAR state[6] = {}, text[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    odbc::SQLError(environment_, connection_, statement_, state, &native, text, 511, &length);
    sqlState_ = reinterpret_cast<char*>(state);
    message_ = reinterpret_cast<char*>(text);
    return false;
  }

  bool Bind(SQLUSMALLINT number, SQLSMALLINT valueType, SQLSMALLINT sqlType, SQLULEN size, SQLPOINTER value,
            SQLLEN length, SQLLEN* indicator) {
    return Check(odbc::SQLBindParameter(statement_, number, SQL_PARAM_INPUT, valueType, sqlType, size, 0, value,
                                        length, indicator));
  }

  // A column of the current row, text or bytes, read in pieces as a long
  // value must be; nullopt for NULL.
  bool ReadLong(SQLUSMALLINT column, SQLSMALLINT type, std::optional<std::string>& value) {
    value.reset();
    std::string whole;
    for (SQLRETURN r = SQL_SUCCESS_WITH_INFO; r == SQL_SUCCESS_WITH_INFO;) {
      char piece[1024];
      SQLLEN indicator = 0;
      r = odbc::SQLGetData(statement_, column, type, piece, sizeof piece, &indicator);
      if (r == SQL_NO_DATA) break;
      if (!Check(r)) return false;
      if (indicator == SQL_NULL_DATA) return true;
      // A text piece ends with a NUL that is not part of the value.
      const size_t room = type == SQL_C_CHAR ? sizeof piece - 1 : sizeof piece;
      const bool full = indicator == SQL_NO_TOTAL || static_cast<size_t>(indicator) > room;
      whole.append(piece, full ? room : static_cast<size_t>(indicator));
    }
    value = std::move(whole);
    return true;
  }

  SQLHENV environment_ = SQL_NULL_HENV;
  SQLHDBC connection_ = SQL_NULL_HDBC;
  SQLHSTMT statement_ = SQL_NULL_HSTMT;

 private:
  bool autocommit_, connected_ = false;
  std::string sqlState_, message_;
};

}  // namespace testing_support
