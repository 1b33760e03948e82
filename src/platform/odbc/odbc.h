// ODBC: the call interface of the driver manager (unixODBC) and its
// installer library, behind one seam so that a test can make any call fail
// with the SQLSTATE it wants.
//
// The logic calls the functions of namespace `odbc` (odbc::SQLConnect, ...),
// which have the signatures, codes and handle rules of the published ODBC
// interface and dispatch to the installed OdbcService. The real service
// forwards to libodbc and libodbcinst. Handles are those of the driver
// manager (or of a fake); the logic never looks inside them.
//
// This is the only header above the platform that brings in sql.h.
#pragma once

#include "platform/base/service.h"
#include "platform/base/win32.h"

#include <sql.h>
#include <sqlext.h>
#include <odbcinst.h>

namespace platform {

class OdbcService {
 public:
  virtual ~OdbcService() = default;

  virtual SQLRETURN SQLAllocEnv(SQLHENV* environment) = 0;
  virtual SQLRETURN SQLAllocConnect(SQLHENV environment, SQLHDBC* connection) = 0;
  virtual SQLRETURN SQLSetConnectOption(SQLHDBC connection, SQLUSMALLINT option, SQLULEN value) = 0;
  virtual SQLRETURN SQLConnect(SQLHDBC connection, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user,
                               SQLSMALLINT userLength, SQLCHAR* password, SQLSMALLINT passwordLength) = 0;
  virtual SQLRETURN SQLAllocStmt(SQLHDBC connection, SQLHSTMT* statement) = 0;
  virtual SQLRETURN SQLExecDirect(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) = 0;
  virtual SQLRETURN SQLPrepare(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) = 0;
  virtual SQLRETURN SQLBindParameter(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT inputOutput,
                                     SQLSMALLINT valueType, SQLSMALLINT parameterType, SQLULEN columnSize,
                                     SQLSMALLINT decimalDigits, SQLPOINTER value, SQLLEN bufferLength,
                                     SQLLEN* indicator) = 0;
  virtual SQLRETURN SQLExecute(SQLHSTMT statement) = 0;
  virtual SQLRETURN SQLFetch(SQLHSTMT statement) = 0;
  virtual SQLRETURN SQLGetData(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT targetType,
                               SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator) = 0;
  virtual SQLRETURN SQLCloseCursor(SQLHSTMT statement) = 0;
  virtual SQLRETURN SQLGetInfo(SQLHDBC connection, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                               SQLSMALLINT* length) = 0;
  virtual SQLRETURN SQLTransact(SQLHENV environment, SQLHDBC connection, SQLUSMALLINT completion) = 0;
  virtual SQLRETURN SQLEndTran(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT completion) = 0;
  virtual SQLRETURN SQLFreeStmt(SQLHSTMT statement, SQLUSMALLINT option) = 0;
  virtual SQLRETURN SQLDisconnect(SQLHDBC connection) = 0;
  virtual SQLRETURN SQLFreeConnect(SQLHDBC connection) = 0;
  virtual SQLRETURN SQLFreeEnv(SQLHENV environment) = 0;
  virtual SQLRETURN SQLError(SQLHENV environment, SQLHDBC connection, SQLHSTMT statement, SQLCHAR* sqlState,
                             SQLINTEGER* nativeError, SQLCHAR* message, SQLSMALLINT messageCapacity,
                             SQLSMALLINT* messageLength) = 0;
  // The installer library.
  virtual BOOL SQLConfigDataSource(HWND parent, WORD request, LPCSTR driver, LPCSTR attributes) = 0;

  static OdbcService& Default();
};

// Forwards every call to a target; a fake overrides only what it breaks.
class OdbcWrapper : public OdbcService {
 public:
  explicit OdbcWrapper(OdbcService& target) : target_(target) {}
  SQLRETURN SQLAllocEnv(SQLHENV* e) override { return target_.SQLAllocEnv(e); }
  SQLRETURN SQLAllocConnect(SQLHENV e, SQLHDBC* c) override { return target_.SQLAllocConnect(e, c); }
  SQLRETURN SQLSetConnectOption(SQLHDBC c, SQLUSMALLINT o, SQLULEN v) override {
    return target_.SQLSetConnectOption(c, o, v);
  }
  SQLRETURN SQLConnect(SQLHDBC c, SQLCHAR* d, SQLSMALLINT dl, SQLCHAR* u, SQLSMALLINT ul, SQLCHAR* p,
                       SQLSMALLINT pl) override {
    return target_.SQLConnect(c, d, dl, u, ul, p, pl);
  }
  SQLRETURN SQLAllocStmt(SQLHDBC c, SQLHSTMT* s) override { return target_.SQLAllocStmt(c, s); }
  SQLRETURN SQLExecDirect(SQLHSTMT s, SQLCHAR* t, SQLINTEGER l) override { return target_.SQLExecDirect(s, t, l); }
  SQLRETURN SQLPrepare(SQLHSTMT s, SQLCHAR* t, SQLINTEGER l) override { return target_.SQLPrepare(s, t, l); }
  SQLRETURN SQLBindParameter(SQLHSTMT s, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT vt, SQLSMALLINT pt,
                             SQLULEN cs, SQLSMALLINT dd, SQLPOINTER v, SQLLEN bl, SQLLEN* ind) override {
    return target_.SQLBindParameter(s, n, io, vt, pt, cs, dd, v, bl, ind);
  }
  SQLRETURN SQLExecute(SQLHSTMT s) override { return target_.SQLExecute(s); }
  SQLRETURN SQLFetch(SQLHSTMT s) override { return target_.SQLFetch(s); }
  SQLRETURN SQLGetData(SQLHSTMT s, SQLUSMALLINT c, SQLSMALLINT t, SQLPOINTER v, SQLLEN bl, SQLLEN* ind) override {
    return target_.SQLGetData(s, c, t, v, bl, ind);
  }
  SQLRETURN SQLCloseCursor(SQLHSTMT s) override { return target_.SQLCloseCursor(s); }
  SQLRETURN SQLGetInfo(SQLHDBC c, SQLUSMALLINT t, SQLPOINTER v, SQLSMALLINT bl, SQLSMALLINT* l) override {
    return target_.SQLGetInfo(c, t, v, bl, l);
  }
  SQLRETURN SQLTransact(SQLHENV e, SQLHDBC c, SQLUSMALLINT k) override { return target_.SQLTransact(e, c, k); }
  SQLRETURN SQLEndTran(SQLSMALLINT t, SQLHANDLE h, SQLSMALLINT k) override { return target_.SQLEndTran(t, h, k); }
  SQLRETURN SQLFreeStmt(SQLHSTMT s, SQLUSMALLINT o) override { return target_.SQLFreeStmt(s, o); }
  SQLRETURN SQLDisconnect(SQLHDBC c) override { return target_.SQLDisconnect(c); }
  SQLRETURN SQLFreeConnect(SQLHDBC c) override { return target_.SQLFreeConnect(c); }
  SQLRETURN SQLFreeEnv(SQLHENV e) override { return target_.SQLFreeEnv(e); }
  SQLRETURN SQLError(SQLHENV e, SQLHDBC c, SQLHSTMT s, SQLCHAR* st, SQLINTEGER* n, SQLCHAR* m, SQLSMALLINT mc,
                     SQLSMALLINT* ml) override {
    return target_.SQLError(e, c, s, st, n, m, mc, ml);
  }
  BOOL SQLConfigDataSource(HWND p, WORD r, LPCSTR d, LPCSTR a) override {
    return target_.SQLConfigDataSource(p, r, d, a);
  }

 protected:
  OdbcService& target() { return target_; }

 private:
  OdbcService& target_;
};

}  // namespace platform

// The calls the logic makes, by their ODBC names.
namespace odbc {
SQLRETURN SQLAllocEnv(SQLHENV* environment);
SQLRETURN SQLAllocConnect(SQLHENV environment, SQLHDBC* connection);
SQLRETURN SQLSetConnectOption(SQLHDBC connection, SQLUSMALLINT option, SQLULEN value);
SQLRETURN SQLConnect(SQLHDBC connection, SQLCHAR* dsn, SQLSMALLINT dsnLength, SQLCHAR* user,
                     SQLSMALLINT userLength, SQLCHAR* password, SQLSMALLINT passwordLength);
SQLRETURN SQLAllocStmt(SQLHDBC connection, SQLHSTMT* statement);
SQLRETURN SQLExecDirect(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length);
SQLRETURN SQLPrepare(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length);
SQLRETURN SQLBindParameter(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT inputOutput,
                           SQLSMALLINT valueType, SQLSMALLINT parameterType, SQLULEN columnSize,
                           SQLSMALLINT decimalDigits, SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN SQLExecute(SQLHSTMT statement);
SQLRETURN SQLFetch(SQLHSTMT statement);
SQLRETURN SQLGetData(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER value,
                     SQLLEN bufferLength, SQLLEN* indicator);
SQLRETURN SQLCloseCursor(SQLHSTMT statement);
SQLRETURN SQLGetInfo(SQLHDBC connection, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                     SQLSMALLINT* length);
SQLRETURN SQLTransact(SQLHENV environment, SQLHDBC connection, SQLUSMALLINT completion);
SQLRETURN SQLEndTran(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT completion);
SQLRETURN SQLFreeStmt(SQLHSTMT statement, SQLUSMALLINT option);
SQLRETURN SQLDisconnect(SQLHDBC connection);
SQLRETURN SQLFreeConnect(SQLHDBC connection);
SQLRETURN SQLFreeEnv(SQLHENV environment);
SQLRETURN SQLError(SQLHENV environment, SQLHDBC connection, SQLHSTMT statement, SQLCHAR* sqlState,
                   SQLINTEGER* nativeError, SQLCHAR* message, SQLSMALLINT messageCapacity,
                   SQLSMALLINT* messageLength);
BOOL SQLConfigDataSource(HWND parent, WORD request, LPCSTR driver, LPCSTR attributes);
}  // namespace odbc
