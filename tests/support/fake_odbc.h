// ODBC that breaks on cue: FailingOdbc forwards every call to a target except those it is told to
// fail, which return SQL_ERROR; the next SQLError on the failed call's handle then answers the
// chosen SQLSTATE once and SQL_NO_DATA after, as a driver's do.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/odbc/odbc.h"

namespace testing_support {

struct OdbcFailure {
  std::string call;     // one of those overridden below
  int occurrence = 1;   // the first call to fail, counted from 1
  bool onward = false;  // and every later one too
  std::string sqlState = "HY000";
};

class FailingOdbc : public platform::OdbcWrapper {
 public:
  FailingOdbc() : OdbcWrapper(platform::OdbcService::Default()) {}
  void Fail(OdbcFailure failure) { failure_ = std::move(failure); }  // before it is put in use

// Each call goes through Run under its own name, with the level of the
// handle that keeps its diagnostics.
#define CORVID_FAIL_ON_CUE(name, level, params, args) \
  SQLRETURN name params override { return Run(#name, level, [&] { return target().name args; }); }
  CORVID_FAIL_ON_CUE(SQLAllocEnv, kEnvironment, (SQLHENV* e), (e))
  CORVID_FAIL_ON_CUE(SQLPrepare, kStatement, (SQLHSTMT s, SQLCHAR* t, SQLINTEGER l), (s, t, l))
  CORVID_FAIL_ON_CUE(SQLExecute, kStatement, (SQLHSTMT s), (s))
  CORVID_FAIL_ON_CUE(SQLTransact, kConnection, (SQLHENV e, SQLHDBC c, SQLUSMALLINT k), (e, c, k))
#undef CORVID_FAIL_ON_CUE
  BOOL SQLConfigDataSource(HWND p, WORD r, LPCSTR d, LPCSTR a) override {
    return Run("SQLConfigDataSource", kEnvironment, [&]() -> SQLRETURN {
             return target().SQLConfigDataSource(p, r, d, a) ? SQL_SUCCESS : SQL_ERROR;
           }) == SQL_SUCCESS;
  }

  SQLRETURN SQLError(SQLHENV e, SQLHDBC c, SQLHSTMT s, SQLCHAR* st, SQLINTEGER* n, SQLCHAR* m, SQLSMALLINT mc,
                     SQLSMALLINT* ml) override {
    std::unique_lock lock(mutex_);
    if (!pending_) return lock.unlock(), target().SQLError(e, c, s, st, n, m, mc, ml);
    // SQLError reads only the innermost handle it is given.
    const Level asked = s != SQL_NULL_HSTMT ? kStatement : c != SQL_NULL_HDBC ? kConnection : kEnvironment;
    if (asked != level_ || consumed_) return SQL_NO_DATA;
    consumed_ = true;
    static constexpr std::string_view kMessage = "[Corvid][Fake] injected failure";
    if (st != nullptr) std::snprintf(reinterpret_cast<char*>(st), 6, "%s", failure_.sqlState.c_str());
    if (n != nullptr) *n = 0;
    if (ml != nullptr) *ml = static_cast<SQLSMALLINT>(kMessage.size());
    if (m != nullptr && mc > 0) std::snprintf(reinterpret_cast<char*>(m), mc, "%s", kMessage.data());
    return static_cast<SQLSMALLINT>(kMessage.size()) >= mc ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  }

 private:
  enum Level { kStatement, kConnection, kEnvironment };

  template <class Call>
  SQLRETURN Run(const char* name, Level level, Call call) {
    std::unique_lock lock(mutex_);
    const OdbcFailure& f = failure_;
    // Any other call starts afresh, as it clears a handle's diagnostics.
    pending_ = f.call == name && (++calls_ == f.occurrence || (f.onward && calls_ > f.occurrence));
    if (!pending_) return lock.unlock(), call();
    level_ = level;
    consumed_ = false;
    return SQL_ERROR;
  }

  std::mutex mutex_;
  OdbcFailure failure_;  // none until told: no call is named ""
  int calls_ = 0;  // of the failing call
  bool pending_ = false, consumed_ = false;
  Level level_ = kStatement;
};

// The real driver manager with a test's own step before each prepare (given the statement text)
// and each execute (given its number, from 1).
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
