#include "db/odbc_session.h"

#include "platform/windows/windows.h"

namespace corvid {
namespace {

SQLCHAR* Text(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

}  // namespace

void CaptureDiagnostics(OdbcSession& session, FailedOn handle) {
  session.sqlState[0] = '\0';
  session.messageText[0] = '\0';
  session.messageLength = 0;
  const SQLHDBC connection = handle == FailedOn::kEnvironment ? SQL_NULL_HDBC : session.connection;
  const SQLHSTMT statement = handle == FailedOn::kStatement ? session.statement : SQL_NULL_HSTMT;
  session.lastReturn = odbc::SQLError(session.environment, connection, statement,
                                      reinterpret_cast<SQLCHAR*>(session.sqlState), &session.nativeError,
                                      reinterpret_cast<SQLCHAR*>(session.messageText),
                                      session.messageCapacity, &session.messageLength);
  session.sqlState[5] = '\0';
  session.messageText[sizeof session.messageText - 1] = '\0';
}

void ReportFailure(OdbcSession& session, HWND window, const char* caption, FailedOn handle) {
  CaptureDiagnostics(session, handle);
  if (window != nullptr) MessageBoxA(window, session.messageText, caption, 0);
}

bool OpenSession(OdbcSession& session) {
  session.statement = SQL_NULL_HSTMT;
  session.messageCapacity = 511;
  session.lastReturn = odbc::SQLAllocEnv(&session.environment);
  if (Succeeded(session.lastReturn)) return true;
  CaptureDiagnostics(session, FailedOn::kEnvironment);  // never a box for this one
  return false;
}

bool ConnectSession(OdbcSession& session, HWND window, const DataSourceInfo& source) {
  session.lastReturn = odbc::SQLAllocConnect(session.environment, &session.connection);
  if (!Succeeded(session.lastReturn)) {
    ReportFailure(session, window, "SQLAllocConnect", FailedOn::kEnvironment);
    return false;
  }
  // Neither result is checked: a driver that ignores them still works.
  odbc::SQLSetConnectOption(session.connection, SQL_LOGIN_TIMEOUT, 5);
  odbc::SQLSetConnectOption(session.connection, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
  session.lastReturn = odbc::SQLConnect(session.connection, Text(source.DSN.c_str()), SQL_NTS,
                                        Text(source.User.c_str()), SQL_NTS, Text(source.Password.c_str()),
                                        SQL_NTS);
  if (!Succeeded(session.lastReturn)) {
    ReportFailure(session, window, "SQLConnect", FailedOn::kConnection);
    odbc::SQLFreeConnect(session.connection);
    session.connection = SQL_NULL_HDBC;
    return false;
  }
  session.lastReturn = odbc::SQLAllocStmt(session.connection, &session.statement);
  if (!Succeeded(session.lastReturn)) {
    ReportFailure(session, window, "SQLAllocStmt", FailedOn::kConnection);
    odbc::SQLDisconnect(session.connection);
    odbc::SQLFreeConnect(session.connection);
    session.connection = SQL_NULL_HDBC;
    session.statement = SQL_NULL_HSTMT;
    return false;
  }
  return true;
}

bool CommitSession(OdbcSession& session, HWND window) {
  session.lastReturn = odbc::SQLTransact(session.environment, session.connection, SQL_COMMIT);
  if (Succeeded(session.lastReturn)) return true;
  ReportFailure(session, window, "SQLTransact", FailedOn::kConnection);
  return false;
}

bool EndSession(OdbcSession& session, HWND window) {
  // Never a commit here: what the cadence did not commit is discarded, and
  // the next gather stores it again.
  session.lastReturn = odbc::SQLEndTran(SQL_HANDLE_ENV, session.environment, SQL_ROLLBACK);
  if (!Succeeded(session.lastReturn)) {
    CaptureDiagnostics(session, FailedOn::kEnvironment);
    return false;
  }
  session.lastReturn = odbc::SQLFreeStmt(session.statement, SQL_DROP);
  if (!Succeeded(session.lastReturn)) {
    ReportFailure(session, window, "SQLEreeStmt");  // spelled so, as it always was
    return false;
  }
  session.statement = SQL_NULL_HSTMT;
  session.lastReturn = odbc::SQLDisconnect(session.connection);
  if (!Succeeded(session.lastReturn)) {
    ReportFailure(session, window, "SQLDisconnect", FailedOn::kConnection);
    return false;
  }
  session.lastReturn = odbc::SQLFreeConnect(session.connection);
  if (!Succeeded(session.lastReturn)) {
    ReportFailure(session, window, "SQLEreeConnect", FailedOn::kConnection);
    return false;
  }
  session.connection = SQL_NULL_HDBC;
  return true;
}

void CloseSession(OdbcSession& session) {
  session.gatherLock.Release();
  session.lastReturn = odbc::SQLFreeEnv(session.environment);
  session.environment = SQL_NULL_HENV;
}

}  // namespace corvid
