// The real event log service: the .evt files that each computer's registry
// names, read and cleared through evt_file.
//
// A handle keeps its file open and remembers the number of the next record
// to deliver, with the offset where that record was last seen so that a
// read does not walk the log from its oldest record each time. Every read
// takes the shared lock, looks at the file afresh (records appended by
// another process since are seen) and starts at the oldest record still
// there when wrapping has overwritten the one it wanted. A file replaced
// since the open (the log was cleared) has no more records for the handle.
//
// ClearEventLogA with a backup file name copies the log there first (the
// name is a path of the log's computer, as on Windows); an existing backup
// file is ERROR_ALREADY_EXISTS.
#include "platform/eventlog/eventlog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/base/text.h"
#include "platform/eventlog/evt_file.h"
#include "platform/eventlog/live_eventlog.h"
#include "platform/files/paths.h"
#include "platform/registry/registry.h"
#include "platform/smb/smb_network.h"
#include "platform/threads/threads.h"

namespace platform {
namespace {

constexpr const char kLogsKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
constexpr const char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char kSystemRoot[] = "%SystemRoot%";

class LogHandle final : public KernelObject {
 public:
  LogHandle(std::string hostPath, std::string computer, int fd)
      : path(std::move(hostPath)), server(std::move(computer)), fd_(fd) {}
  ~LogHandle() override { Reset(-1); }
  int fd() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

  const std::string path;    // on the host
  const std::string server;  // empty for this computer
  uint32_t nextRecord = 1;
  uint32_t hintNumber = 0;  // the record last seen at hintOffset; 0 for none
  uint32_t hintOffset = 0;
  uint32_t eofHint = 0;  // where a scan last found the cursor of a stale header

 private:
  int fd_;
};

std::string StripSlashes(const char* name) {
  std::string_view view(name != nullptr ? name : "");
  while (!view.empty() && view.front() == '\\') view.remove_prefix(1);
  return std::string(view);
}

class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// A REG_SZ or REG_EXPAND_SZ value, cut at its terminator.
LONG QueryText(HKEY root, const std::string& subKey, const char* name, std::string& text) {
  Key key;
  if (const LONG status = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, key.out());
      status != ERROR_SUCCESS) {
    return status;
  }
  DWORD type = 0;
  DWORD size = 0;
  if (const LONG status = RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size);
      status != ERROR_SUCCESS) {
    return status;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_FILE_NOT_FOUND;
  std::vector<char> buffer(size + 1, '\0');
  if (const LONG status = RegQueryValueExA(key.get(), name, nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), &size);
      status != ERROR_SUCCESS) {
    return status;
  }
  text.assign(buffer.data(), ::strnlen(buffer.data(), size));
  return ERROR_SUCCESS;
}

// C:\x of another computer is \\NAME\C$\x; this computer's paths stay.
std::string OnComputer(const std::string& computer, const std::string& path) {
  const bool drivePath = path.size() >= 2 && path[1] == ':' &&
                         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (computer.empty() || !drivePath) return path;
  // Built piece by piece: GCC 12 sees a false overlap (-Wrestrict) in
  // string inserts and "literal" + string at -O2 and above.
  std::string result = "\\\\";
  result += computer;
  result += '\\';
  result += path[0];
  result += '$';
  if (path.size() == 2 || (path[2] != '\\' && path[2] != '/')) result += '\\';
  result.append(path, 2, std::string::npos);
  return result;
}

// The host path of the log file that `computer`'s registry names for `log`.
LONG FindLogFile(const std::string& computer, const char* log, std::string& hostPath) {
  Key root;
  if (const LONG status = RegConnectRegistryA(computer.empty() ? nullptr : computer.c_str(),
                                              HKEY_LOCAL_MACHINE, root.out());
      status != ERROR_SUCCESS) {
    return status;
  }
  std::string file;
  if (const LONG status = QueryText(root.get(), std::string(kLogsKey) + log, "File", file);
      status != ERROR_SUCCESS) {
    return status;
  }
  const std::string folded = FoldCase(file);
  const std::string placeholder = FoldCase(kSystemRoot);
  if (folded.find(placeholder) != std::string::npos) {
    std::string systemRoot;
    if (const LONG status = QueryText(root.get(), kVersionKey, "SystemRoot", systemRoot);
        status != ERROR_SUCCESS) {
      return ERROR_FILE_NOT_FOUND;
    }
    std::string expanded;
    size_t from = 0;
    for (size_t at; (at = folded.find(placeholder, from)) != std::string::npos;
         from = at + placeholder.size()) {
      expanded += file.substr(from, at - from) + systemRoot;
    }
    file = expanded + file.substr(from);
  }
  hostPath = MapPath(OnComputer(computer, file));
  return ERROR_SUCCESS;
}

// A file to read a log from: there, a regular file, and readable as
// Windows means it (no read bits is unreadable, whoever we run as).
DWORD OpenForReading(const std::string& path, int& fd) {
  fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return evt::ErrorFromErrno(errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0444) == 0) {
    ::close(fd);
    fd = -1;
    return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

class FileEventLog final : public EventLogService {
 public:
  HANDLE OpenEventLog(const char* serverName, const char* sourceName) override {
    if (sourceName == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    const std::string computer = StripSlashes(serverName);
    std::string path;
    if (const LONG status = FindLogFile(computer, sourceName, path); status != ERROR_SUCCESS) {
      SetLastError(static_cast<DWORD>(status));
      return nullptr;
    }
    int fd = -1;
    if (const DWORD status = OpenForReading(path, fd); status != ERROR_SUCCESS) {
      SetLastError(status);
      return nullptr;
    }
    auto handle = std::make_unique<LogHandle>(path, computer, fd);
    evt::LogLayout layout;
    {
      evt::FileLock lock(fd, false);
      evt::FileSource source(fd);
      if (const DWORD status = evt::LocateRecords(source, layout); status != ERROR_SUCCESS) {
        SetLastError(status);
        return nullptr;
      }
    }
    handle->nextRecord = layout.Empty() ? layout.currentRecordNumber : layout.oldestRecordNumber;
    if (layout.recovered) handle->eofHint = layout.endOffset;
    std::lock_guard<std::mutex> guard(mutex_);
    HANDLE raw = static_cast<KernelObject*>(handle.release());
    handles_.insert(raw);
    SetLastError(ERROR_SUCCESS);
    return raw;
  }

  BOOL GetNumberOfEventLogRecords(HANDLE log, DWORD* count) override {
    LogHandle* handle = Lookup(log);
    if (handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (count == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    // The count is the log's, so a cleared log is counted in its new file.
    int fd = handle->fd();
    int fresh = -1;
    if (!evt::StillNamedBy(fd, handle->path)) {
      if (const DWORD status = OpenForReading(handle->path, fresh); status != ERROR_SUCCESS) {
        return Fail(status);
      }
      fd = fresh;
    }
    evt::LogLayout layout;
    DWORD status;
    {
      evt::FileLock lock(fd, false);
      evt::FileSource source(fd);
      status = evt::LocateRecords(source, layout, handle->eofHint);
    }
    if (fresh >= 0) ::close(fresh);
    if (status != ERROR_SUCCESS) return Fail(status);
    *count = layout.RecordCount();
    return TRUE;
  }

  BOOL ReadEventLog(HANDLE log, DWORD flags, DWORD, void* buffer, DWORD bytesToRead,
                    DWORD* bytesRead, DWORD* minBytesNeeded) override {
    LogHandle* handle = Lookup(log);
    if (handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (bytesRead == nullptr || minBytesNeeded == nullptr ||
        (buffer == nullptr && bytesToRead > 0)) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    *bytesRead = 0;
    *minBytesNeeded = 0;
    if (flags != (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ)) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    evt::FileLock lock(handle->fd(), false);
    struct stat opened;
    if (!evt::StillNamedBy(handle->fd(), handle->path, &opened)) return Fail(ERROR_HANDLE_EOF);
    evt::FileSource source(handle->fd(), opened);
    evt::LogLayout layout;
    if (const DWORD status = evt::LocateRecords(source, layout, handle->eofHint);
        status != ERROR_SUCCESS) {
      return Fail(status);
    }
    if (layout.recovered) handle->eofHint = layout.endOffset;
    if (layout.Empty() || handle->nextRecord >= layout.currentRecordNumber) {
      return Fail(ERROR_HANDLE_EOF);
    }
    // Overwritten by wrapping since: go on with the oldest still there.
    if (handle->nextRecord < layout.oldestRecordNumber) {
      handle->nextRecord = layout.oldestRecordNumber;
    }
    evt::RecordReader reader(source, layout);
    if (const DWORD status = FindNext(*handle, reader); status != ERROR_SUCCESS) {
      return Fail(status);
    }

    auto* out = static_cast<uint8_t*>(buffer);
    DWORD filled = 0;
    std::vector<uint8_t> wide;
    std::vector<uint8_t> narrow;
    while (!reader.AtEnd()) {
      const uint32_t here = reader.Offset();
      DWORD status = reader.Next(wide);
      if (status == ERROR_SUCCESS) status = evt::ToSingleByte(wide, narrow);
      if (status != ERROR_SUCCESS) {
        // Deliver what came before; the next read reports the damage.
        if (filled > 0) break;
        return Fail(status);
      }
      if (narrow.size() > bytesToRead - filled) {
        handle->hintNumber = handle->nextRecord;
        handle->hintOffset = here;
        if (filled > 0) break;
        *minBytesNeeded = static_cast<DWORD>(narrow.size());
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
      std::memcpy(out + filled, narrow.data(), narrow.size());
      filled += static_cast<DWORD>(narrow.size());
      EVENTLOGRECORD fixed;
      std::memcpy(&fixed, narrow.data(), sizeof fixed);
      handle->nextRecord = fixed.RecordNumber + 1;
      handle->hintNumber = handle->nextRecord;
      handle->hintOffset = reader.Offset();
    }
    if (filled == 0) return Fail(ERROR_HANDLE_EOF);
    *bytesRead = filled;
    return TRUE;
  }

  BOOL ClearEventLog(HANDLE log, const char* backupFileName) override {
    LogHandle* handle = Lookup(log);
    if (handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    std::string backup;
    if (backupFileName != nullptr && *backupFileName != '\0') {
      backup = MapPath(OnComputer(handle->server, backupFileName));
    }
    // Only what this handle has read may go: a record written since would
    // be lost to every gatherer. A log replaced since it was opened holds
    // nothing this handle read.
    if (handle->fd() >= 0 && !evt::StillNamedBy(handle->fd(), handle->path)) {
      return Fail(ERROR_EVENTLOG_FILE_CHANGED);
    }
    if (const DWORD status = evt::ClearLog(handle->path, backup.empty() ? nullptr : &backup,
                                           std::max<uint32_t>(handle->nextRecord, 1));
        status != ERROR_SUCCESS) {
      return Fail(status);
    }
    // The handle goes on with the emptied log.
    int fd = -1;
    if (OpenForReading(handle->path, fd) == ERROR_SUCCESS) handle->Reset(fd);
    handle->nextRecord = 1;
    handle->hintNumber = 0;
    handle->eofHint = 0;
    return TRUE;
  }

  BOOL CloseEventLog(HANDLE log) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (log == nullptr || handles_.erase(log) == 0) return Fail(ERROR_INVALID_HANDLE);
    delete static_cast<LogHandle*>(static_cast<KernelObject*>(log));
    return TRUE;
  }

 private:
  // Only a handle of ours is ever cast: a closed one may be freed memory.
  LogHandle* Lookup(HANDLE log) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (log == nullptr || handles_.count(log) == 0) return nullptr;
    return static_cast<LogHandle*>(static_cast<KernelObject*>(log));
  }

  // Puts the reader on the handle's next record: where it was last seen if
  // it is still there, else by walking from the oldest record.
  static DWORD FindNext(LogHandle& handle, evt::RecordReader& reader) {
    EVENTLOGRECORD fixed;
    if (handle.hintNumber == handle.nextRecord && handle.hintOffset != 0 &&
        reader.Seek(handle.hintOffset) && !reader.AtEnd() && reader.Peek(fixed) == ERROR_SUCCESS &&
        fixed.RecordNumber == handle.nextRecord) {
      return ERROR_SUCCESS;
    }
    reader.Rewind();
    while (true) {
      if (const DWORD status = reader.Peek(fixed); status != ERROR_SUCCESS) return status;
      if (fixed.RecordNumber >= handle.nextRecord) return ERROR_SUCCESS;
      if (const DWORD status = reader.Skip(); status != ERROR_SUCCESS) return status;
    }
  }

  std::mutex mutex_;
  std::unordered_set<HANDLE> handles_;
};

// The network setting picks where another computer's log is: a folder of
// the network root, or a live computer over SMB. This computer's logs are
// its files either way.
class NetworkEventLog final : public EventLogService {
 public:
  HANDLE OpenEventLog(const char* serverName, const char* sourceName) override {
    if (!StripSlashes(serverName).empty() && smb::LiveNetwork()) {
      return LiveEventLogService().OpenEventLog(serverName, sourceName);
    }
    return folder_.OpenEventLog(serverName, sourceName);
  }
  BOOL GetNumberOfEventLogRecords(HANDLE log, DWORD* count) override {
    return For(log).GetNumberOfEventLogRecords(log, count);
  }
  BOOL ReadEventLog(HANDLE log, DWORD flags, DWORD recordOffset, void* buffer, DWORD bytesToRead,
                    DWORD* bytesRead, DWORD* minBytesNeeded) override {
    return For(log).ReadEventLog(log, flags, recordOffset, buffer, bytesToRead, bytesRead, minBytesNeeded);
  }
  BOOL ClearEventLog(HANDLE log, const char* backupFileName) override {
    return For(log).ClearEventLog(log, backupFileName);
  }
  BOOL CloseEventLog(HANDLE log) override { return For(log).CloseEventLog(log); }

 private:
  EventLogService& For(HANDLE log) {
    return IsLiveEventLogHandle(log) ? LiveEventLogService() : static_cast<EventLogService&>(folder_);
  }

  FileEventLog folder_;
};

}  // namespace

EventLogService& EventLogService::Default() {
  static NetworkEventLog* service = new NetworkEventLog();  // lives as long as the process
  return *service;
}

}  // namespace platform

using platform::EventLogService;
using platform::Slot;

HANDLE OpenEventLogA(const char* serverName, const char* sourceName) {
  return Slot<EventLogService>::Current().OpenEventLog(serverName, sourceName);
}
BOOL GetNumberOfEventLogRecords(HANDLE log, DWORD* count) {
  return Slot<EventLogService>::Current().GetNumberOfEventLogRecords(log, count);
}
BOOL ReadEventLogA(HANDLE log, DWORD flags, DWORD recordOffset, void* buffer, DWORD bytesToRead,
                   DWORD* bytesRead, DWORD* minBytesNeeded) {
  return Slot<EventLogService>::Current().ReadEventLog(log, flags, recordOffset, buffer,
                                                       bytesToRead, bytesRead, minBytesNeeded);
}
BOOL ClearEventLogA(HANDLE log, const char* backupFileName) {
  return Slot<EventLogService>::Current().ClearEventLog(log, backupFileName);
}
BOOL CloseEventLog(HANDLE log) { return Slot<EventLogService>::Current().CloseEventLog(log); }
