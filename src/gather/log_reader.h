// The reader of one event log of one computer at a time: opens it, reads it
// oldest first in bufferfuls, stores every record newer than what the
// database holds (committing in batches), clears it when asked, closes it.
//
// Used on the gather worker thread only. Its status, error code and error
// text outlive the close and tell the outcome of the last gather of its log.
#pragma once

#include <memory>
#include <vector>

#include "db/event_row.h"
#include "db/odbc_session.h"
#include "describe/event_sources.h"
#include "gather/progress.h"
#include "platform/base/fixed_text.h"
#include "platform/eventlog/eventlog.h"

namespace corvid {

inline constexpr DWORD kFirstBufferSize = 10000;

class LogReader {
 public:
  LogReader(const char* logName, GatherProgress* progress);
  ~LogReader() { CloseLog(); }
  LogReader(const LogReader&) = delete;
  LogReader& operator=(const LogReader&) = delete;

  bool OpenLog(const char* computerName);
  // One read of whole records; the buffer grows to fit a record that does
  // not, and never shrinks within a log's gather.
  bool ReadNextBatch();
  // Stores the new records of the bufferful, polling for a cancel after each.
  bool WalkBatch(OdbcSession& session);
  // Inserts a built row and commits when the period is full.
  bool StoreRow(EventRow& row, OdbcSession& session);
  bool ClearLog();
  void CloseLog();

  void NewBuffer(DWORD size);

  platform::FixedText<260> logName;
  HANDLE logHandle = nullptr;
  DWORD recordCount = 0;
  std::vector<uint8_t> buffer;
  DWORD bufferSize = 0;
  DWORD bytesRead = 0;
  platform::FixedText<50> computerName;
  std::unique_ptr<EventSourceTable> sourceTable;
  GatherProgress* progress = nullptr;

  DWORD recordsProcessed = 0;
  DWORD rowsPending = 0;
  DWORD storedNewest = 0;
  DWORD storedAtNewest = 0;
  DWORD skippedAtNewest = 0;

  int32_t status = 0;
  int32_t errorCode = 0;
  platform::FixedText<50> errorText;

 private:
  void Fail(int32_t newStatus, int32_t code);

  std::vector<EventRow> rows_;  // the rows of the records being walked
};

}  // namespace corvid
