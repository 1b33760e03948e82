// ODBC that breaks on cue: FailingOdbc forwards every call to a target (the
// real driver manager by default) except those it is told to fail, which
// return SQL_ERROR; the next SQLError then answers the chosen diagnostics
// once and SQL_NO_DATA after, as a driver's do.
//
//   odbc.Fail({.call = "SQLExecute", .occurrence = 3, .sqlState = "40001"});
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/odbc/odbc.h"

namespace testing_support {

struct OdbcFailure {
  std::string call;         // "SQLConnect", "SQLBindParameter", ...
  int occurrence = 1;       // the first call to fail, counted from 1
  bool onward = false;      // and every later one too
  std::string sqlState = "HY000";
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

// Each call goes through Run under its own name.
#define CORVID_FAIL_ON_CUE(name, params, args) \
  SQLRETURN name params override {            \
    return Run(#name, [&] { return target().name args; }); \
  }
  CORVID_FAIL_ON_CUE(SQLAllocEnv, (SQLHENV* e), (e))
  CORVID_FAIL_ON_CUE(SQLAllocConnect, (SQLHENV e, SQLHDBC* c), (e, c))
  CORVID_FAIL_ON_CUE(SQLSetConnectOption, (SQLHDBC c, SQLUSMALLINT o, SQLULEN v), (c, o, v))
  CORVID_FAIL_ON_CUE(SQLConnect, (SQLHDBC c, SQLCHAR* d, SQLSMALLINT dl, SQLCHAR* u, SQLSMALLINT ul, SQLCHAR* p,
                                  SQLSMALLINT pl), (c, d, dl, u, ul, p, pl))
  CORVID_FAIL_ON_CUE(SQLAllocStmt, (SQLHDBC c, SQLHSTMT* s), (c, s))
  CORVID_FAIL_ON_CUE(SQLExecDirect, (SQLHSTMT s, SQLCHAR* t, SQLINTEGER l), (s, t, l))
  CORVID_FAIL_ON_CUE(SQLPrepare, (SQLHSTMT s, SQLCHAR* t, SQLINTEGER l), (s, t, l))
  CORVID_FAIL_ON_CUE(SQLBindParameter, (SQLHSTMT s, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT vt, SQLSMALLINT pt,
                                        SQLULEN cs, SQLSMALLINT dd, SQLPOINTER v, SQLLEN bl, SQLLEN* ind),
                     (s, n, io, vt, pt, cs, dd, v, bl, ind))
  CORVID_FAIL_ON_CUE(SQLExecute, (SQLHSTMT s), (s))
  CORVID_FAIL_ON_CUE(SQLFetch, (SQLHSTMT s), (s))
  CORVID_FAIL_ON_CUE(SQLGetData, (SQLHSTMT s, SQLUSMALLINT c, SQLSMALLINT t, SQLPOINTER v, SQLLEN bl, SQLLEN* ind),
                     (s, c, t, v, bl, ind))
  CORVID_FAIL_ON_CUE(SQLCloseCursor, (SQLHSTMT s), (s))
  CORVID_FAIL_ON_CUE(SQLGetInfo, (SQLHDBC c, SQLUSMALLINT t, SQLPOINTER v, SQLSMALLINT bl, SQLSMALLINT* l),
                     (c, t, v, bl, l))
  CORVID_FAIL_ON_CUE(SQLTransact, (SQLHENV e, SQLHDBC c, SQLUSMALLINT k), (e, c, k))
  CORVID_FAIL_ON_CUE(SQLEndTran, (SQLSMALLINT t, SQLHANDLE h, SQLSMALLINT k), (t, h, k))
  CORVID_FAIL_ON_CUE(SQLFreeStmt, (SQLHSTMT s, SQLUSMALLINT o), (s, o))
  CORVID_FAIL_ON_CUE(SQLDisconnect, (SQLHDBC c), (c))
  CORVID_FAIL_ON_CUE(SQLFreeConnect, (SQLHDBC c), (c))
  CORVID_FAIL_ON_CUE(SQLFreeEnv, (SQLHENV e), (e))
#undef CORVID_FAIL_ON_CUE
  BOOL SQLConfigDataSource(HWND p, WORD r, LPCSTR d, LPCSTR a) override {
    const SQLRETURN result = Run("SQLConfigDataSource", [&]() -> SQLRETURN {
      return target().SQLConfigDataSource(p, r, d, a) ? SQL_SUCCESS : SQL_ERROR;
    });
    return result == SQL_SUCCESS ? 1 : 0;
  }

  SQLRETURN SQLError(SQLHENV e, SQLHDBC c, SQLHSTMT s, SQLCHAR* st, SQLINTEGER* n, SQLCHAR* m, SQLSMALLINT mc,
                     SQLSMALLINT* ml) override {
    std::unique_lock lock(mutex_);
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
    static constexpr std::string_view kMessage = "[Corvid][Fake] injected failure";
    if (n != nullptr) *n = 0;
    if (ml != nullptr) *ml = static_cast<SQLSMALLINT>(kMessage.size());
    if (m != nullptr && mc > 0) {
      const size_t copied = std::min<size_t>(kMessage.size(), static_cast<size_t>(mc) - 1);
      std::memcpy(m, kMessage.data(), copied);
      m[copied] = '\0';
    }
    return static_cast<SQLSMALLINT>(kMessage.size()) >= mc ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
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
    const auto failure = std::find_if(failures_.begin(), failures_.end(), [&](const OdbcFailure& f) {
      return f.call == name && (count == f.occurrence || (f.onward && count > f.occurrence));
    });
    if (failure == failures_.end()) {
      // Any other call starts afresh, as it clears a handle's diagnostics.
      diagnostics_ = Diagnostics::kTarget;
      lock.unlock();
      return call();
    }
    last_ = *failure;
    diagnostics_ = Diagnostics::kPending;
    return SQL_ERROR;
  }

  mutable std::mutex mutex_;
  std::vector<OdbcFailure> failures_;
  std::map<std::string, int> calls_;
  Diagnostics diagnostics_ = Diagnostics::kTarget;
  OdbcFailure last_;
};

// The real driver manager with a test's own step before each prepare (given
// the statement text) and each execute (given its number, from 1): a cancel
// or a concurrent write at a chosen moment of a gather.
class HookedOdbc : public platform::OdbcWrapper {
 public:
  HookedOdbc() : OdbcWrapper(platform::OdbcService::Default()) {}
  std::function<void(std::string_view)> beforePrepare;
  std::function<void(int)> beforeExecute;

  SQLRETURN SQLPrepare(SQLHSTMT s, SQLCHAR* t, SQLINTEGER l) override {
    if (beforePrepare) beforePrepare(reinterpret_cast<const char*>(t));
    return OdbcWrapper::SQLPrepare(s, t, l);
  }
  SQLRETURN SQLExecute(SQLHSTMT s) override {
    if (beforeExecute) beforeExecute(++executes_);
    return OdbcWrapper::SQLExecute(s);
  }

 private:
  int executes_ = 0;
};

}  // namespace testing_support
