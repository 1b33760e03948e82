// What keeps a gather of a computer's log whole when other gathers run at
// the same moment, and what keeps a clear from losing a record.
//
// The lock. Two gathers of one computer's log into one database (two
// machine folders, two hosts on one PostgreSQL server, a scheduled run and
// a user) would both read the same horizon and both store every new record.
// LockComputerLog makes the second wait until the first has ended its
// session, so that it reads a horizon that includes the first one's rows.
//   PostgreSQL: a session-level advisory lock, dropped by the server when the
//     connection ends or dies.
//   SQLite: a byte of the lock file "<database>-gather" beside the database
//     file, dropped by the kernel when the process ends or dies.
//   Other databases: no lock (their users run one gather at a time).
// The key is the computer name without regard to case, and the log.
//
// The clear marks. The skip rule takes the first records of a log that
// share the newest stored second for rows already stored. After a clear,
// records written in that same second are new, but the skip rule would pass
// over them, and the next clear would destroy them. So before a log is
// cleared, the horizon it leaves behind (the newest stored RecordDate and
// its row count) is recorded in the table CorvidClears; the next gather
// counts only the rows stored after the clear as standing in the log. A
// mark is kept until the horizon moves past it.
#pragma once

#include <atomic>
#include <cstdint>

#include "db/event_row.h"
#include "db/odbc_session.h"

namespace corvid {

// How long a gather waits for another gather of the same log, at most.
inline constexpr uint32_t kGatherLockWaitSeconds = 600;

// Waits for the lock of `computer`'s `log`, polling `cancel`. False with
// the session's diagnostics set: SQLSTATE HYT00 when the wait ran out or was
// cancelled, the driver's own when a statement failed.
bool LockComputerLog(OdbcSession& session, HWND window, const char* log, const char* computer,
                     const std::atomic<uint32_t>& cancel);

// The rows at `newest` that a clear left behind, when the mark of `computer`'s
// `log` is for exactly that RecordDate; 0 otherwise, and also when the
// database has no CorvidClears table (a database made before it existed
// then gathers as before, and a clear says what is missing).
SQLINTEGER RowsClearedAt(OdbcSession& session, const char* log, const char* computer, const Timestamp& newest);

// Records the horizon that a clear of the log is about to leave, and
// commits. False with the session's diagnostics set.
bool MarkClear(OdbcSession& session, HWND window, const char* log, const char* computer);
// Takes back a mark whose clear did not happen, and commits.
bool UnmarkClear(OdbcSession& session, const char* log, const char* computer);

}  // namespace corvid
