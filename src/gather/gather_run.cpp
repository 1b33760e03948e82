#include "gather/gather_run.h"

#include <algorithm>
#include <cstdio>

#include "config/settings_store.h"
#include "db/event_table.h"
#include "db/gather_lock.h"
#include "gather/gather_dialogs.h"
#include "gather/row_builder.h"
#include "gather/run_log.h"
#include "platform/threads/threads.h"
#include "resources/dialogs.h"
#include "common/computer_list.h"
#include "common/start_state.h"

namespace corvid {

std::atomic<uint32_t> cancelRequested{0};
HANDLE workerThread = nullptr;

namespace {

constexpr const char* kLogNames[3] = {"System", "Security", "Application"};

HWND WindowOf(GatherProgress* progress) { return progress != nullptr ? progress->Window() : nullptr; }

// Cleans up after a failed step: the session (when one was opened) and the
// log are closed, in that order of release.
void CleanUp(LogReader& reader, OdbcSession* session) {
  reader.CloseLog();
  if (session != nullptr) CloseSession(*session);
}

// Status 17 with the session's SQLSTATE as the error text.
void FailWrite(LogReader& reader, const OdbcSession& session) {
  reader.status = kStatusUnableToWrite;
  reader.errorCode = 0;
  reader.errorText = session.sqlState;
}

// Clears a log whose every row read is committed, while this gather still
// holds the log's lock. Rows of records that arrived while the log was read
// lie beyond the count taken at open; they are committed first, and the
// clear itself refuses when still newer ones came. The horizon the clear
// leaves is marked before it (gather_lock.h), so records written later in
// that same second are stored by the next gather, not skipped and lost.
// One permit holds across the steps, so a time-out never parts the mark
// from its clear.
bool ClearGatheredLog(LogReader& reader, OdbcSession& session, HWND window, const char* computerName) {
  platform::SideEffectPermit permit;
  if (!permit) {
    reader.status = kStatusCancelled;
    reader.errorCode = 0;
    return false;
  }
  if (reader.rowsPending > 0) {
    if (!CommitSession(session, window)) {
      FailWrite(reader, session);
      return false;
    }
    reader.rowsPending = 0;
  }
  if (!MarkClear(session, window, reader.logName.c_str(), computerName)) {
    FailWrite(reader, session);
    return false;
  }
  if (!reader.ClearLog()) {
    UnmarkClear(session, reader.logName.c_str(), computerName);
    return false;
  }
  return true;
}

}  // namespace

bool GatherLog(LogReader& reader, const char* computerName) {
  GatherProgress* progress = reader.progress;
  HWND window = WindowOf(progress);
  reader.recordsProcessed = 0;
  if (!reader.OpenLog(computerName)) {
    reader.CloseLog();
    return false;
  }
  if (reader.recordCount == 0) {
    // Nothing to store, so no connection; and nothing to clear either.
    reader.status = kStatusCompleted;
    reader.errorCode = 0;
    reader.CloseLog();
    return true;
  }
  reader.NewBuffer(kFirstBufferSize);

  OdbcSession session;
  if (!OpenSession(session)) {
    FailWrite(reader, session);
    CleanUp(reader, &session);
    return false;
  }
  if (!ConnectSession(session, window, Settings.DataSource)) {
    FailWrite(reader, session);
    CleanUp(reader, &session);
    return false;
  }
  // Another gather of this log into this database ends before this one
  // reads its horizon, so the two never store the same records.
  if (!LockComputerLog(session, window, reader.logName.c_str(), computerName, cancelRequested)) {
    FailWrite(reader, session);
    EndSession(session, window);
    CleanUp(reader, &session);
    return false;
  }
  Timestamp newest;
  SQLINTEGER storedAtNewest = 0;
  reader.skippedAtNewest = 0;
  if (!QueryStoredHorizon(session, window, reader.logName.c_str(), computerName, newest, storedAtNewest)) {
    FailWrite(reader, session);
    EndSession(session, window);
    CleanUp(reader, &session);
    return false;
  }
  // The horizon is taken once, before reading, so the rows this gather
  // inserts never move it. Rows that a clear left behind stand for no
  // record of the log any more.
  reader.storedNewest = storedAtNewest != 0 ? FromLocalTimestamp(newest) : 0;
  if (storedAtNewest != 0) {
    storedAtNewest -= std::min(storedAtNewest, RowsClearedAt(session, reader.logName.c_str(), computerName, newest));
  }
  reader.storedAtNewest = static_cast<DWORD>(storedAtNewest);
  // The reads end their transaction here: SQLite would otherwise keep a
  // snapshot that goes stale when any other client commits, and then never
  // let this connection write.
  if (!CommitSession(session, window)) {
    FailWrite(reader, session);
    EndSession(session, window);
    CleanUp(reader, &session);
    return false;
  }

  if (progress != nullptr) {
    char text[600];
    std::snprintf(text, sizeof text, "%s %s", computerName, reader.logName.c_str());
    progress->SetText(text);
    progress->SetRange(static_cast<WORD>(reader.recordCount & 0xFFFF));
    progress->SetStep(reader.recordCount / 100);
    progress->SetPosition(0);
  }
  if (!PrepareInsert(session, window, reader.logName.c_str())) {
    FailWrite(reader, session);
    EndSession(session, window);
    CleanUp(reader, &session);
    return false;
  }
  reader.recordsProcessed = 0;
  reader.rowsPending = 0;
  while (reader.recordsProcessed < reader.recordCount) {
    if (!reader.ReadNextBatch() || !reader.WalkBatch(session)) {
      if (progress != nullptr) progress->SetPosition(0);
      EndSession(session, window);
      CleanUp(reader, &session);
      return false;
    }
    if (progress != nullptr) progress->SetPosition(reader.recordsProcessed);
  }
  if (progress != nullptr) progress->SetPosition(0);

  if (Settings.EraseLogs != 0 && !ClearGatheredLog(reader, session, window, computerName)) {
    EndSession(session, window);
    CleanUp(reader, &session);
    return false;
  }
  if (!EndSession(session, window)) {
    FailWrite(reader, session);
    CleanUp(reader, &session);
    return false;
  }
  reader.status = kStatusCompleted;
  reader.errorCode = 0;
  CleanUp(reader, &session);
  return true;
}

DWORD GatherWorker(void* parameter) {
  auto* progress = static_cast<GatherProgress*>(parameter);
  {
    LogReader readers[3] = {LogReader(kLogNames[0], progress), LogReader(kLogNames[1], progress),
                            LogReader(kLogNames[2], progress)};
    bool stop = false;
    for (ComputerEntry& entry : ComputerList) {
      if (cancelRequested.load(std::memory_order_relaxed) != 0) {
        cancelRequested = 0;
        break;
      }
      if (entry.Selected == 0) continue;
      if (progress != nullptr) progress->SetText(entry.Name.c_str());
      for (size_t i = 0; i < 3 && !stop; ++i) {
        const bool ok = GatherLog(readers[i], entry.Name.c_str());
        platform::SideEffectPermit permit;
        if (!permit) return 0;  // cut off: the results are no longer ours to write
        LogResult& result = entry.LogResults[i];
        if (ok) {
          result.Status = kStatusCompleted;
          result.ErrorCode = 0;
        } else {
          result.Status = readers[i].status;
          result.ErrorCode = readers[i].errorCode;
          result.ErrorText = readers[i].errorText.view();
          // A database failure or a cancel ends the whole run.
          stop = result.Status == kStatusUnableToWrite || result.Status == kStatusCancelled;
        }
      }
      if (stop) break;
    }
    if (progress != nullptr) progress->Finished();
  }
  return 0;
}

bool StartGather(HWND owner) {
  for (ComputerEntry& entry : ComputerList) {
    if (entry.Selected == 0) continue;
    for (size_t i = 0; i < 3; ++i) {
      entry.LogResults[i].LogName = kPaddedLogNames[i];
      entry.LogResults[i].Status = kStatusCancelled;
      entry.LogResults[i].ErrorCode = 0;
    }
  }
  if (owner != nullptr) {
    DialogBoxParamA(Instance, MakeIntResource(resources::IDD_GATHER_PROGRESS), owner, GatherProgressDialog, 0);
    return true;
  }
  cancelRequested = 0;
  workerThread = CreateThread(nullptr, 0, GatherWorker, nullptr, 0, nullptr);
  return true;
}

bool RunSilentGather() {
  for (ComputerEntry& entry : ComputerList) entry.Selected = 1;
  StartGather(nullptr);
  bool finished = true;
  // The product is taken as an unsigned 32-bit number, as it always was.
  const DWORD limit = static_cast<DWORD>(Settings.TimeOut * 60000u);
  const DWORD waited = workerThread != nullptr ? WaitForSingleObject(workerThread, limit) : WAIT_FAILED;
  if (waited != WAIT_FAILED) {
    if (waited == WAIT_TIMEOUT) {
      TerminateThread(workerThread, 0);
      finished = false;
    }
    CloseHandle(workerThread);
    workerThread = nullptr;
  }
  WriteRunReport();
  return finished;
}

}  // namespace corvid
