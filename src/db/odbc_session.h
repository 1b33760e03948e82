// The ODBC connection of one log's gather: environment, connection and
// statement, with the diagnostics of the last failed call.
//
// Made, used and closed on the gather worker thread, one per log and
// computer. Automatic commit is off, so rows land only with CommitSession;
// EndSession rolls back whatever was not committed. With a window (the
// progress dialog of an interactive gather) a failure is also shown in a
// message box captioned with the failing call, which holds the worker until
// the user closes it.
#pragma once

#include "config/settings_store.h"
#include "platform/files/range_lock.h"
#include "platform/odbc/odbc.h"

namespace corvid {

struct OdbcSession {
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  SQLHSTMT statement = SQL_NULL_HSTMT;
  SQLRETURN lastReturn = SQL_SUCCESS;
  SQLINTEGER nativeError = 0;
  SQLSMALLINT messageCapacity = 511;
  SQLSMALLINT messageLength = 0;
  char sqlState[6] = {};
  char messageText[512] = {};
  // Held from LockComputerLog until the session is closed (gather_lock.h).
  platform::RangeLock gatherLock;
};

inline bool Succeeded(SQLRETURN code) { return code == SQL_SUCCESS || code == SQL_SUCCESS_WITH_INFO; }

bool OpenSession(OdbcSession& session);
bool ConnectSession(OdbcSession& session, HWND window, const DataSourceInfo& source);
bool CommitSession(OdbcSession& session, HWND window);
bool EndSession(OdbcSession& session, HWND window);
void CloseSession(OdbcSession& session);

// Which handle a failed call was made on. SQLError answers for the
// innermost handle it is given, so a connection's failure (a commit on a
// full disk) must be asked of the connection alone, or it reads as none.
enum class FailedOn { kStatement, kConnection, kEnvironment };

// The diagnostics of the last failure, from the handle that failed.
void CaptureDiagnostics(OdbcSession& session, FailedOn handle = FailedOn::kStatement);
// Captures, and with a window shows the driver's message under `caption`.
void ReportFailure(OdbcSession& session, HWND window, const char* caption,
                   FailedOn handle = FailedOn::kStatement);

}  // namespace corvid
