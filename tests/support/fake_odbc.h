// ODBC that breaks on cue: FailingOdbc forwards every call to a target (the
// real driver manager by default) except the ones it is told to fail, which
// return SQL_ERROR without reaching the target; the next SQLError then
// answers with the chosen diagnostics once and SQL_NO_DATA after that, as a
// driver's diagnostics behave until the next call. It also counts the calls
// it sees, by name.
//
//   FailingOdbc odbc;
//   odbc.Fail({.call = "SQLExecute", .occurrence = 3, .sqlState = "40001"});
//   platform::Override<platform::OdbcService> use(odbc);
//
// The SQLConfigDataSource of the installer fails by returning FALSE.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/odbc/odbc.h"

namespace testing_support {

struct OdbcFailure {
  std::string call;         // "SQLConnect", "SQLBindParameter", ...
  int occurrence = 1;       // the first call to fail, counted from 1
  bool onward = false;      // and every later one too
  std::string sqlState = "HY000";
  SQLINTEGER nativeError = 0;
  std::string message = "[Corvid][Fake] injected failure";
  // Also makes the call on the target, for calls that release something
  // (SQLFreeStmt, SQLDisconnect, ...), so that nothing stays allocated.
  bool callThrough = false;
};

class FailingOdbc : public platform::OdbcWrapper {
 public:
  explicit FailingOdbc(platform::OdbcService& target = platform::OdbcService::Default())
      : OdbcWrapper(target) {}

  FailingOdbc& Fail(OdbcFailure failure) {
    std::lock_guard lock(mutex_);
    failures_.push_back(std::move(failure));
    return *this;
  }

  int Calls(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto found = calls_.find(name);
    return found == calls_.end() ? 0 : found->second;
  }
  // How many calls were made to fail so far.
  int Injected() const {
    std::lock_guard lock(mutex_);
    return injected_;
  }

  SQLRETURN SQLAllocEnv(SQLHENV* e) override {
    return Run("SQLAllocEnv", [&] { return target().SQLAllocEnv(e); });
  }
  SQLRETURN SQLAllocConnect(SQLHENV e, SQLHDBC* c) override {
    return Run("SQLAllocConnect", [&] { return target().SQLAllocConnect(e, c); });
  }
  SQLRETURN SQLSetConnectOption(SQLHDBC c, SQLUSMALLINT o, SQLULEN v) override {
    return Run("SQLSetConnectOption", [&] { return target().SQLSetConnectOption(c, o, v); });
  }
  SQLRETURN SQLConnect(SQLHDBC c, SQLCHAR* d, SQLSMALLINT dl, SQLCHAR* u, SQLSMALLINT ul, SQLCHAR* p,
                       SQLSMALLINT pl) override {
    return Run("SQLConnect", [&] { return target().SQLConnect(c, d, dl, u, ul, p, pl); });
  }
  SQLRETURN SQLAllocStmt(SQLHDBC c, SQLHSTMT* s) override {
    return Run("SQLAllocStmt", [&] { return target().SQLAllocStmt(c, s); });
  }
  SQLRETURN SQLExecDirect(SQLHSTMT s, SQLCHAR* t, SQLINTEGER l) override {
    return Run("SQLExecDirect", [&] { return target().SQLExecDirect(s, t, l); });
  }
  SQLRETURN SQLPrepare(SQLHSTMT s, SQLCHAR* t, SQLINTEGER l) override {
    return Run("SQLPrepare", [&] { return target().SQLPrepare(s, t, l); });
  }
  SQLRETURN SQLBindParameter(SQLHSTMT s, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT vt, SQLSMALLINT pt,
                             SQLULEN cs, SQLSMALLINT dd, SQLPOINTER v, SQLLEN bl, SQLLEN* ind) override {
    return Run("SQLBindParameter",
               [&] { return target().SQLBindParameter(s, n, io, vt, pt, cs, dd, v, bl, ind); });
  }
  SQLRETURN SQLExecute(SQLHSTMT s) override {
    return Run("SQLExecute", [&] { return target().SQLExecute(s); });
  }
  SQLRETURN SQLFetch(SQLHSTMT s) override { return Run("SQLFetch", [&] { return target().SQLFetch(s); }); }
  SQLRETURN SQLGetData(SQLHSTMT s, SQLUSMALLINT c, SQLSMALLINT t, SQLPOINTER v, SQLLEN bl,
                       SQLLEN* ind) override {
    return Run("SQLGetData", [&] { return target().SQLGetData(s, c, t, v, bl, ind); });
  }
  SQLRETURN SQLCloseCursor(SQLHSTMT s) override {
    return Run("SQLCloseCursor", [&] { return target().SQLCloseCursor(s); });
  }
  SQLRETURN SQLGetInfo(SQLHDBC c, SQLUSMALLINT t, SQLPOINTER v, SQLSMALLINT bl, SQLSMALLINT* l) override {
    return Run("SQLGetInfo", [&] { return target().SQLGetInfo(c, t, v, bl, l); });
  }
  SQLRETURN SQLTransact(SQLHENV e, SQLHDBC c, SQLUSMALLINT k) override {
    return Run("SQLTransact", [&] { return target().SQLTransact(e, c, k); });
  }
  SQLRETURN SQLEndTran(SQLSMALLINT t, SQLHANDLE h, SQLSMALLINT k) override {
    return Run("SQLEndTran", [&] { return target().SQLEndTran(t, h, k); });
  }
  SQLRETURN SQLFreeStmt(SQLHSTMT s, SQLUSMALLINT o) override {
    return Run("SQLFreeStmt", [&] { return target().SQLFreeStmt(s, o); });
  }
  SQLRETURN SQLDisconnect(SQLHDBC c) override {
    return Run("SQLDisconnect", [&] { return target().SQLDisconnect(c); });
  }
  SQLRETURN SQLFreeConnect(SQLHDBC c) override {
    return Run("SQLFreeConnect", [&] { return target().SQLFreeConnect(c); });
  }
  SQLRETURN SQLFreeEnv(SQLHENV e) override {
    return Run("SQLFreeEnv", [&] { return target().SQLFreeEnv(e); });
  }
  BOOL SQLConfigDataSource(HWND p, WORD r, LPCSTR d, LPCSTR a) override {
    const SQLRETURN result = Run("SQLConfigDataSource", [&]() -> SQLRETURN {
      return target().SQLConfigDataSource(p, r, d, a) ? SQL_SUCCESS : SQL_ERROR;
    });
    return result == SQL_SUCCESS ? 1 : 0;
  }

  SQLRETURN SQLError(SQLHENV e, SQLHDBC c, SQLHSTMT s, SQLCHAR* st, SQLINTEGER* n, SQLCHAR* m, SQLSMALLINT mc,
                     SQLSMALLINT* ml) override {
    std::unique_lock lock(mutex_);
    ++calls_["SQLError"];
    switch (diagnostics_) {
      case Diagnostics::kTarget:
        lock.unlock();
        return target().SQLError(e, c, s, st, n, m, mc, ml);
      case Diagnostics::kConsumed:
        return SQL_NO_DATA;
      case Diagnostics::kPending:
        break;
    }
    // A driver keeps diagnostics on the handle that failed, and SQLError
    // reads only the innermost handle it is given.
    const Level asked = s != SQL_NULL_HSTMT ? Level::kStatement
                        : c != SQL_NULL_HDBC ? Level::kConnection
                                             : Level::kEnvironment;
    if (asked != LevelOf(last_.call)) return SQL_NO_DATA;
    diagnostics_ = Diagnostics::kConsumed;
    if (st != nullptr) {
      std::memset(st, 0, 6);
      std::memcpy(st, last_.sqlState.data(), std::min<size_t>(last_.sqlState.size(), 5));
    }
    if (n != nullptr) *n = last_.nativeError;
    if (ml != nullptr) *ml = static_cast<SQLSMALLINT>(last_.message.size());
    const bool truncated = static_cast<SQLSMALLINT>(last_.message.size()) >= mc;
    if (m != nullptr && mc > 0) {
      const size_t copied = std::min<size_t>(last_.message.size(), static_cast<size_t>(mc) - 1);
      std::memcpy(m, last_.message.data(), copied);
      m[copied] = '\0';
    }
    return truncated ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  }

 private:
  enum class Diagnostics { kTarget, kPending, kConsumed };
  enum class Level { kStatement, kConnection, kEnvironment };

  static Level LevelOf(const std::string& call) {
    for (const char* name : {"SQLAllocEnv", "SQLAllocConnect", "SQLEndTran", "SQLFreeEnv"}) {
      if (call == name) return Level::kEnvironment;
    }
    for (const char* name : {"SQLConnect", "SQLSetConnectOption", "SQLAllocStmt", "SQLTransact", "SQLDisconnect",
                             "SQLFreeConnect", "SQLGetInfo"}) {
      if (call == name) return Level::kConnection;
    }
    return Level::kStatement;
  }

  template <class Call>
  SQLRETURN Run(const char* name, Call call) {
    std::unique_lock lock(mutex_);
    const int count = ++calls_[name];
    const OdbcFailure* failure = nullptr;
    for (const OdbcFailure& candidate : failures_) {
      if (candidate.call == name &&
          (count == candidate.occurrence || (candidate.onward && count > candidate.occurrence))) {
        failure = &candidate;
        break;
      }
    }
    if (failure == nullptr) {
      // Any other call starts afresh, as it clears a handle's diagnostics.
      diagnostics_ = Diagnostics::kTarget;
      lock.unlock();
      return call();
    }
    ++injected_;
    last_ = *failure;
    diagnostics_ = Diagnostics::kPending;
    if (failure->callThrough) {
      lock.unlock();
      call();
    }
    return SQL_ERROR;
  }

  mutable std::mutex mutex_;
  std::vector<OdbcFailure> failures_;
  std::map<std::string, int> calls_;
  int injected_ = 0;
  Diagnostics diagnostics_ = Diagnostics::kTarget;
  OdbcFailure last_;
};

}  // namespace testing_support
