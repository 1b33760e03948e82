#include "db/gather_lock.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "db/event_table.h"
#include "platform/threads/threads.h"

namespace corvid {
namespace {

SQLCHAR* Text(std::string& text) { return reinterpret_cast<SQLCHAR*>(text.data()); }

// Diagnostics of our own making, for a failure no driver call reported.
bool FailWith(OdbcSession& session, const char* state, const std::string& message) {
  std::snprintf(session.sqlState, sizeof session.sqlState, "%s", state);
  std::snprintf(session.messageText, sizeof session.messageText, "%s", message.c_str());
  session.messageLength = static_cast<SQLSMALLINT>(std::strlen(session.messageText));
  return false;
}

// FNV-1a of the lower-cased computer name and the log: the same for every
// host, so that two hosts on one server contend for one lock.
uint32_t LockKey(const char* log, const char* computer) {
  uint32_t hash = 2166136261u;
  auto mix = [&hash](unsigned char c) {
    hash ^= c;
    hash *= 16777619u;
  };
  for (const char* p = computer; *p != '\0'; ++p) {
    mix(static_cast<unsigned char>(*p >= 'A' && *p <= 'Z' ? *p - 'A' + 'a' : *p));
  }
  mix('\n');
  for (const char* p = log; *p != '\0'; ++p) mix(static_cast<unsigned char>(*p));
  return hash;
}

std::string DbmsName(OdbcSession& session) {
  char name[64] = {};
  SQLSMALLINT length = 0;
  if (!Succeeded(odbc::SQLGetInfo(session.connection, SQL_DBMS_NAME, name, sizeof name, &length))) return {};
  return name;
}

// The first row's first column of a query, as a 32-bit number.
bool QueryNumber(OdbcSession& session, std::string sql, SQLINTEGER& value) {
  session.lastReturn = odbc::SQLExecDirect(session.statement, Text(sql), SQL_NTS);
  if (!Succeeded(session.lastReturn)) return false;
  session.lastReturn = odbc::SQLFetch(session.statement);
  if (Succeeded(session.lastReturn)) {
    session.lastReturn = odbc::SQLGetData(session.statement, 1, SQL_C_LONG, &value, sizeof value, nullptr);
  }
  const bool ok = Succeeded(session.lastReturn);
  odbc::SQLFreeStmt(session.statement, SQL_CLOSE);
  return ok;
}

// The file of SQLite's main database, empty for one in memory.
bool SqliteFile(OdbcSession& session, std::string& file) {
  std::string sql = "PRAGMA database_list";
  session.lastReturn = odbc::SQLExecDirect(session.statement, Text(sql), SQL_NTS);
  if (!Succeeded(session.lastReturn)) return false;
  file.clear();
  while ((session.lastReturn = odbc::SQLFetch(session.statement)) != SQL_NO_DATA) {
    if (!Succeeded(session.lastReturn)) return false;
    char name[64] = {};
    char path[4096] = {};
    SQLLEN indicator = 0;
    if (!Succeeded(odbc::SQLGetData(session.statement, 2, SQL_C_CHAR, name, sizeof name, &indicator)) ||
        !Succeeded(odbc::SQLGetData(session.statement, 3, SQL_C_CHAR, path, sizeof path, &indicator))) {
      break;
    }
    if (std::strcmp(name, "main") == 0) file = indicator > 0 ? path : "";
  }
  odbc::SQLFreeStmt(session.statement, SQL_CLOSE);
  session.lastReturn = SQL_SUCCESS;
  return true;
}

}  // namespace

bool LockComputerLog(OdbcSession& session, HWND window, const char* log, const char* computer,
                     const std::atomic<uint32_t>& cancel) {
  const uint32_t key = LockKey(log, computer);
  const std::string dbms = DbmsName(session);
  std::string lockFile;
  enum class Kind { kAdvisory, kFile } kind;
  if (dbms == "PostgreSQL") {
    kind = Kind::kAdvisory;
  } else if (dbms.rfind("SQLite", 0) == 0) {
    if (!SqliteFile(session, lockFile)) {
      ReportFailure(session, window, "PRAGMA database_list");
      return false;
    }
    if (lockFile.empty()) return true;
    lockFile += "-gather";
    kind = Kind::kFile;
  } else {
    return true;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kGatherLockWaitSeconds);
  for (;;) {
    if (kind == Kind::kAdvisory) {
      char sql[128];
      // Session-level: it outlives the commits of the gather, and the
      // server drops it with the connection.
      std::snprintf(sql, sizeof sql, "SELECT CASE WHEN pg_try_advisory_lock(%d, %d) THEN 1 ELSE 0 END",
                    0x436F7276, static_cast<int32_t>(key));
      SQLINTEGER got = 0;
      if (!QueryNumber(session, sql, got)) {
        ReportFailure(session, window, "pg_try_advisory_lock");
        return false;
      }
      if (got == 1) return true;
    } else {
      switch (session.gatherLock.TryLock(lockFile, key)) {
        case platform::RangeLock::Result::kLocked:
          return true;
        case platform::RangeLock::Result::kBusy:
          break;
        case platform::RangeLock::Result::kFailed:
          return FailWith(session, "HY000", "Cannot lock " + lockFile + ": " + std::strerror(errno));
      }
    }
    if (cancel.load(std::memory_order_relaxed) != 0) {
      return FailWith(session, "HYT00", "Cancelled while another gather held the lock");
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return FailWith(session, "HYT00",
                      std::string("Another gather of ") + computer + " " + log + " held its lock for " +
                          std::to_string(kGatherLockWaitSeconds) + " s");
    }
    Sleep(100);
  }
}

SQLINTEGER RowsClearedAt(OdbcSession& session, const char* log, const char* computer, const Timestamp& newest) {
  std::string sql = "SELECT RecordDate, StoredRows FROM CorvidClears WHERE Computer='" + QuoteLiteral(computer) +
                    "' AND LogName='" + log + "'";
  Timestamp marked{};
  SQLINTEGER rows = 0;
  SQLLEN indicator = 0;
  bool found = false;
  session.lastReturn = odbc::SQLExecDirect(session.statement, Text(sql), SQL_NTS);
  if (Succeeded(session.lastReturn)) {
    session.lastReturn = odbc::SQLFetch(session.statement);
    found = Succeeded(session.lastReturn) &&
            Succeeded(odbc::SQLGetData(session.statement, 1, SQL_C_TIMESTAMP, &marked, sizeof marked, &indicator)) &&
            indicator > 0 && Succeeded(odbc::SQLGetData(session.statement, 2, SQL_C_LONG, &rows, sizeof rows, nullptr));
    odbc::SQLFreeStmt(session.statement, SQL_CLOSE);
  } else {
    // No such table: a database made before the marks. PostgreSQL refuses
    // every later statement of a transaction that had an error, so it ends
    // here; it held nothing yet but the reads of the horizon.
    odbc::SQLFreeStmt(session.statement, SQL_CLOSE);
    odbc::SQLTransact(session.environment, session.connection, SQL_ROLLBACK);
  }
  session.lastReturn = SQL_SUCCESS;
  const bool sameSecond = found && marked.year == newest.year && marked.month == newest.month &&
                          marked.day == newest.day && marked.hour == newest.hour &&
                          marked.minute == newest.minute && marked.second == newest.second;
  return sameSecond && rows > 0 ? rows : 0;
}

bool MarkClear(OdbcSession& session, HWND window, const char* log, const char* computer) {
  Timestamp newest{};
  SQLINTEGER count = 0;
  if (!QueryStoredHorizon(session, window, log, computer, newest, count)) return false;
  const std::string where = " WHERE Computer='" + QuoteLiteral(computer) + "' AND LogName='" + log + "'";
  std::string remove = "DELETE FROM CorvidClears" + where;
  session.lastReturn = odbc::SQLExecDirect(session.statement, Text(remove), SQL_NTS);
  if (!Succeeded(session.lastReturn)) {
    ReportFailure(session, window, "CorvidClears");
    return false;
  }
  if (count > 0) {
    std::string insert = "INSERT INTO CorvidClears (Computer, LogName, RecordDate, StoredRows) VALUES ('" +
                         QuoteLiteral(computer) + "', '" + log + "', ?, ?)";
    session.lastReturn = odbc::SQLPrepare(session.statement, Text(insert), SQL_NTS);
    if (Succeeded(session.lastReturn)) {
      session.lastReturn = odbc::SQLBindParameter(session.statement, 1, SQL_PARAM_INPUT, SQL_C_TIMESTAMP,
                                                  SQL_TIMESTAMP, 0, 0, &newest, 0, nullptr);
    }
    if (Succeeded(session.lastReturn)) {
      session.lastReturn = odbc::SQLBindParameter(session.statement, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER,
                                                  0, 0, &count, 0, nullptr);
    }
    if (Succeeded(session.lastReturn)) session.lastReturn = odbc::SQLExecute(session.statement);
    if (!Succeeded(session.lastReturn)) {
      ReportFailure(session, window, "CorvidClears");
      return false;
    }
  }
  return CommitSession(session, window);
}

bool UnmarkClear(OdbcSession& session, const char* log, const char* computer) {
  std::string remove =
      "DELETE FROM CorvidClears WHERE Computer='" + QuoteLiteral(computer) + "' AND LogName='" + log + "'";
  if (!Succeeded(odbc::SQLExecDirect(session.statement, Text(remove), SQL_NTS))) return false;
  return Succeeded(odbc::SQLTransact(session.environment, session.connection, SQL_COMMIT));
}

}  // namespace corvid
