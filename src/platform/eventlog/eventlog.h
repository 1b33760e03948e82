// Event log service: the System, Security and Application logs of this and
// other computers, kept as legacy .evt files.
//
// A computer's log is the file its registry names in
// SYSTEM\CurrentControlSet\Services\EventLog\<log>, value "File" (such as
// %SystemRoot%\system32\config\SysEvent.Evt), with %SystemRoot% taken from
// that computer's SOFTWARE\Microsoft\Windows NT\CurrentVersion "SystemRoot"
// and the path reached through the computer's administrative share
// (\\NAME\C$\...), or through this computer's drives when no name is given.
//
// Contract, as the Win32 calls keep it: failures return null or FALSE with
// the reason in GetLastError(): no such computer 53, no such log or file 2,
// unreadable or read-only 5, the end of the log 38 (ERROR_HANDLE_EOF), a
// record that does not fit the buffer 122 with the bytes it needs. Reads are
// sequential and forwards only (flags 5) and deliver whole records in the
// single-byte EVENTLOGRECORD layout: texts in UTF-8, offsets, padding and
// both Length fields recomputed. ClearEventLogA empties only what its handle
// has read: when records were written after the last read, it fails with
// ERROR_EVENTLOG_FILE_CHANGED (1503) and the log keeps everything. Safe to call from several threads; one
// handle is used by one thread at a time.
#pragma once

#include "platform/base/service.h"
#include "platform/base/win32.h"

enum : DWORD {
  EVENTLOG_SEQUENTIAL_READ = 0x0001,
  EVENTLOG_SEEK_READ = 0x0002,
  EVENTLOG_FORWARDS_READ = 0x0004,
  EVENTLOG_BACKWARDS_READ = 0x0008,
};

// Error codes of the event log service beyond those of win32.h.
enum : LONG {
  ERROR_WRITE_FAULT = 29,
  ERROR_READ_FAULT = 30,
  ERROR_DISK_FULL = 112,
  ERROR_EVENTLOG_FILE_CORRUPT = 1500,
  ERROR_LOG_FILE_FULL = 1502,
  ERROR_EVENTLOG_FILE_CHANGED = 1503,
};

enum : WORD {
  EVENTLOG_SUCCESS = 0x0000,
  EVENTLOG_ERROR_TYPE = 0x0001,
  EVENTLOG_WARNING_TYPE = 0x0002,
  EVENTLOG_INFORMATION_TYPE = 0x0004,
  EVENTLOG_AUDIT_SUCCESS = 0x0008,
  EVENTLOG_AUDIT_FAILURE = 0x0010,
};

// The fixed part of a record, 56 bytes, followed by the source name, the
// computer name, padding, the SID, the strings, the data, padding to a DWORD
// boundary, and a copy of Length.
struct EVENTLOGRECORD {
  DWORD Length;
  DWORD Reserved;  // "LfLe"
  DWORD RecordNumber;
  DWORD TimeGenerated;  // seconds since 1970-01-01 00:00:00 UTC
  DWORD TimeWritten;
  DWORD EventID;
  WORD EventType;
  WORD NumStrings;
  WORD EventCategory;
  WORD ReservedFlags;
  DWORD ClosingRecordNumber;
  DWORD StringOffset;
  DWORD UserSidLength;
  DWORD UserSidOffset;
  DWORD DataLength;
  DWORD DataOffset;
};
static_assert(sizeof(EVENTLOGRECORD) == 56, "the published layout");

namespace platform {

class EventLogService {
 public:
  virtual ~EventLogService() = default;

  virtual HANDLE OpenEventLog(const char* serverName, const char* sourceName) = 0;
  virtual BOOL GetNumberOfEventLogRecords(HANDLE log, DWORD* count) = 0;
  virtual BOOL ReadEventLog(HANDLE log, DWORD flags, DWORD recordOffset, void* buffer,
                            DWORD bytesToRead, DWORD* bytesRead, DWORD* minBytesNeeded) = 0;
  virtual BOOL ClearEventLog(HANDLE log, const char* backupFileName) = 0;
  virtual BOOL CloseEventLog(HANDLE log) = 0;

  static EventLogService& Default();
};

class EventLogWrapper : public EventLogService {
 public:
  explicit EventLogWrapper(EventLogService& target) : target_(target) {}
  HANDLE OpenEventLog(const char* serverName, const char* sourceName) override {
    return target_.OpenEventLog(serverName, sourceName);
  }
  BOOL GetNumberOfEventLogRecords(HANDLE log, DWORD* count) override {
    return target_.GetNumberOfEventLogRecords(log, count);
  }
  BOOL ReadEventLog(HANDLE log, DWORD flags, DWORD recordOffset, void* buffer, DWORD bytesToRead,
                    DWORD* bytesRead, DWORD* minBytesNeeded) override {
    return target_.ReadEventLog(log, flags, recordOffset, buffer, bytesToRead, bytesRead,
                                minBytesNeeded);
  }
  BOOL ClearEventLog(HANDLE log, const char* backupFileName) override {
    return target_.ClearEventLog(log, backupFileName);
  }
  BOOL CloseEventLog(HANDLE log) override { return target_.CloseEventLog(log); }

 private:
  EventLogService& target_;
};

}  // namespace platform

HANDLE OpenEventLogA(const char* serverName, const char* sourceName);
BOOL GetNumberOfEventLogRecords(HANDLE log, DWORD* count);
BOOL ReadEventLogA(HANDLE log, DWORD flags, DWORD recordOffset, void* buffer, DWORD bytesToRead,
                   DWORD* bytesRead, DWORD* minBytesNeeded);
BOOL ClearEventLogA(HANDLE log, const char* backupFileName);
BOOL CloseEventLog(HANDLE log);
