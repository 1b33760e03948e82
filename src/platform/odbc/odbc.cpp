#include "platform/odbc/odbc.h"

namespace platform {

namespace {

// unixODBC itself: libodbc for the call interface, libodbcinst for the
// installer. Everything is passed through untouched; the driver manager
// already keeps its own diagnostics per handle.
class UnixOdbc final : public OdbcService {
 public:
  SQLRETURN SQLAllocEnv(SQLHENV* e) override { return ::SQLAllocEnv(e); }
  SQLRETURN SQLAllocConnect(SQLHENV e, SQLHDBC* c) override { return ::SQLAllocConnect(e, c); }
  SQLRETURN SQLSetConnectOption(SQLHDBC c, SQLUSMALLINT o, SQLULEN v) override {
    return ::SQLSetConnectOption(c, o, v);
  }
  SQLRETURN SQLConnect(SQLHDBC c, SQLCHAR* d, SQLSMALLINT dl, SQLCHAR* u, SQLSMALLINT ul, SQLCHAR* p,
                       SQLSMALLINT pl) override {
    return ::SQLConnect(c, d, dl, u, ul, p, pl);
  }
  SQLRETURN SQLAllocStmt(SQLHDBC c, SQLHSTMT* s) override { return ::SQLAllocStmt(c, s); }
  SQLRETURN SQLExecDirect(SQLHSTMT s, SQLCHAR* t, SQLINTEGER l) override { return ::SQLExecDirect(s, t, l); }
  SQLRETURN SQLPrepare(SQLHSTMT s, SQLCHAR* t, SQLINTEGER l) override { return ::SQLPrepare(s, t, l); }
  SQLRETURN SQLBindParameter(SQLHSTMT s, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT vt, SQLSMALLINT pt,
                             SQLULEN cs, SQLSMALLINT dd, SQLPOINTER v, SQLLEN bl, SQLLEN* ind) override {
    return ::SQLBindParameter(s, n, io, vt, pt, cs, dd, v, bl, ind);
  }
  SQLRETURN SQLExecute(SQLHSTMT s) override { return ::SQLExecute(s); }
  SQLRETURN SQLFetch(SQLHSTMT s) override { return ::SQLFetch(s); }
  SQLRETURN SQLGetData(SQLHSTMT s, SQLUSMALLINT c, SQLSMALLINT t, SQLPOINTER v, SQLLEN bl,
                       SQLLEN* ind) override {
    return ::SQLGetData(s, c, t, v, bl, ind);
  }
  SQLRETURN SQLCloseCursor(SQLHSTMT s) override { return ::SQLCloseCursor(s); }
  SQLRETURN SQLGetInfo(SQLHDBC c, SQLUSMALLINT t, SQLPOINTER v, SQLSMALLINT bl, SQLSMALLINT* l) override {
    return ::SQLGetInfo(c, t, v, bl, l);
  }
  SQLRETURN SQLTransact(SQLHENV e, SQLHDBC c, SQLUSMALLINT k) override { return ::SQLTransact(e, c, k); }
  SQLRETURN SQLEndTran(SQLSMALLINT t, SQLHANDLE h, SQLSMALLINT k) override { return ::SQLEndTran(t, h, k); }
  SQLRETURN SQLFreeStmt(SQLHSTMT s, SQLUSMALLINT o) override { return ::SQLFreeStmt(s, o); }
  SQLRETURN SQLDisconnect(SQLHDBC c) override { return ::SQLDisconnect(c); }
  SQLRETURN SQLFreeConnect(SQLHDBC c) override { return ::SQLFreeConnect(c); }
  SQLRETURN SQLFreeEnv(SQLHENV e) override { return ::SQLFreeEnv(e); }
  SQLRETURN SQLError(SQLHENV e, SQLHDBC c, SQLHSTMT s, SQLCHAR* st, SQLINTEGER* n, SQLCHAR* m, SQLSMALLINT mc,
                     SQLSMALLINT* ml) override {
    return ::SQLError(e, c, s, st, n, m, mc, ml);
  }
  BOOL SQLConfigDataSource(HWND p, WORD r, LPCSTR d, LPCSTR a) override {
    return ::SQLConfigDataSource(p, r, d, a);
  }
};

OdbcService& Current() { return Slot<OdbcService>::Current(); }

}  // namespace

OdbcService& OdbcService::Default() {
  static UnixOdbc real;
  return real;
}

}  // namespace platform

namespace odbc {

using platform::Current;

SQLRETURN SQLAllocEnv(SQLHENV* environment) { return Current().SQLAllocEnv(environment); }
SQLRETURN SQLAllocConnect(SQLHENV environment, SQLHDBC* connection) {
  return Current().SQLAllocConnect(environment, connection);
}
SQLRETURN SQLSetConnectOption(SQLHDBC connection, SQLUSMALLINT option, SQLULEN value) {
  return Current().SQLSetConnectOption(connection, option, value);
}
SQLRETURN SQLConnect(SQLHDBC connection, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user,
                     SQLSMALLINT userLength, SQLCHAR* password, SQLSMALLINT passwordLength) {
  return Current().SQLConnect(connection, dsn, dsnLength, user, userLength, password, passwordLength);
}
SQLRETURN SQLAllocStmt(SQLHDBC connection, SQLHSTMT* statement) {
  return Current().SQLAllocStmt(connection, statement);
}
SQLRETURN SQLExecDirect(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) {
  return Current().SQLExecDirect(statement, text, length);
}
SQLRETURN SQLPrepare(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) {
  return Current().SQLPrepare(statement, text, length);
}
SQLRETURN SQLBindParameter(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT inputOutput,
                           SQLSMALLINT valueType, SQLSMALLINT parameterType, SQLULEN columnSize,
                           SQLSMALLINT decimalDigits, SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator) {
  return Current().SQLBindParameter(statement, number, inputOutput, valueType, parameterType, columnSize,
                                    decimalDigits, value, bufferLength, indicator);
}
SQLRETURN SQLExecute(SQLHSTMT statement) { return Current().SQLExecute(statement); }
SQLRETURN SQLFetch(SQLHSTMT statement) { return Current().SQLFetch(statement); }
SQLRETURN SQLGetData(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER value,
                     SQLLEN bufferLength, SQLLEN* indicator) {
  return Current().SQLGetData(statement, column, targetType, value, bufferLength, indicator);
}
SQLRETURN SQLCloseCursor(SQLHSTMT statement) { return Current().SQLCloseCursor(statement); }
SQLRETURN SQLGetInfo(SQLHDBC connection, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                     SQLSMALLINT* length) {
  return Current().SQLGetInfo(connection, type, value, bufferLength, length);
}
SQLRETURN SQLTransact(SQLHENV environment, SQLHDBC connection, SQLUSMALLINT completion) {
  return Current().SQLTransact(environment, connection, completion);
}
SQLRETURN SQLEndTran(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT completion) {
  return Current().SQLEndTran(handleType, handle, completion);
}
SQLRETURN SQLFreeStmt(SQLHSTMT statement, SQLUSMALLINT option) { return Current().SQLFreeStmt(statement, option); }
SQLRETURN SQLDisconnect(SQLHDBC connection) { return Current().SQLDisconnect(connection); }
SQLRETURN SQLFreeConnect(SQLHDBC connection) { return Current().SQLFreeConnect(connection); }
SQLRETURN SQLFreeEnv(SQLHENV environment) { return Current().SQLFreeEnv(environment); }
SQLRETURN SQLError(SQLHENV environment, SQLHDBC connection, SQLHSTMT statement, SQLCHAR* sqlState,
                   SQLINTEGER* nativeError, SQLCHAR* message, SQLSMALLINT messageCapacity,
                   SQLSMALLINT* messageLength) {
  return Current().SQLError(environment, connection, statement, sqlState, nativeError, message,
                            messageCapacity, messageLength);
}
BOOL SQLConfigDataSource(HWND parent, WORD request, LPCSTR driver, LPCSTR attributes) {
  return Current().SQLConfigDataSource(parent, request, driver, attributes);
}

}  // namespace odbc
