#include "platform/eventlog/live_eventlog.h"

#include <atomic>
#include <cstring>
#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/eventlog/even_rpc.h"
#include "platform/smb/smb_network.h"
#include "platform/threads/threads.h"

namespace platform {
namespace {

std::atomic<uint64_t> totalCalls{0};
std::atomic<uint64_t> totalBytes{0};

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

class LiveLog final : public KernelObject {
 public:
  explicit LiveLog(std::unique_ptr<rpc::Connection> connection) : connection_(std::move(connection)) {}
  ~LiveLog() override {
    std::vector<uint8_t> answer;
    if (opened) Call(even::kCloseLog, even::HandleRequest(log), answer);
  }

  DWORD Call(uint16_t opnum, const std::vector<uint8_t>& stub, std::vector<uint8_t>& answer) {
    const uint64_t calls = connection_->calls();
    const uint64_t bytes = connection_->bytesIn();
    const DWORD status = connection_->Call(opnum, stub, answer);
    totalCalls += connection_->calls() - calls;
    totalBytes += connection_->bytesIn() - bytes;
    return status;
  }

  DWORD Number(uint16_t opnum, uint32_t& number) {
    std::vector<uint8_t> answer;
    if (const DWORD status = Call(opnum, even::HandleRequest(log), answer); status != ERROR_SUCCESS) return status;
    return even::ParseNumberAnswer(answer, number);
  }

  // More records from the server into `pending`.
  DWORD Fetch() {
    uint32_t ask = std::max(kReadChunk, nextAsk);
    nextAsk = 0;
    std::vector<uint8_t> answer;
    for (int attempt = 0;; ++attempt) {
      if (const DWORD status =
              Call(even::kReadLogW, even::ReadRequest(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, ask),
                   answer);
          status != ERROR_SUCCESS) {
        return status;
      }
      std::span<const uint8_t> records;
      uint32_t needed = 0;
      DWORD status = even::ParseReadAnswer(answer, records, needed);
      // Samba answers "too small" with the records that fitted before the
      // one that did not, and has moved past them: they are kept, and the
      // next read asks for the larger record. Windows sends none then.
      if (status == ERROR_INSUFFICIENT_BUFFER && !records.empty()) {
        if (needed <= even::kMaxRead) nextAsk = needed;
        status = ERROR_SUCCESS;
      }
      if (status == ERROR_INSUFFICIENT_BUFFER && attempt == 0 && needed > ask && needed <= even::kMaxRead) {
        ask = needed;
        continue;
      }
      if (status == ERROR_INSUFFICIENT_BUFFER) return ERROR_EVENTLOG_FILE_CORRUPT;
      if (status != ERROR_SUCCESS) return status;
      if (records.empty()) return ERROR_HANDLE_EOF;
      std::vector<std::vector<uint8_t>> narrow;
      const DWORD split = even::SplitRecords(records, narrow);
      for (auto& record : narrow) pending.push_back(std::move(record));
      // What came before a damaged record is delivered; the next read
      // reports the damage.
      if (split != ERROR_SUCCESS) {
        if (narrow.empty()) return split;
        deferred = split;
      }
      return ERROR_SUCCESS;
    }
  }

  std::mutex mutex;  // one call at a time on the connection
  rpc::ContextHandle log;
  bool opened = false;
  std::deque<std::vector<uint8_t>> pending;
  DWORD deferred = ERROR_SUCCESS;
  uint32_t nextAsk = 0;  // the size of a record the last answer had no room for
  bool delivered = false;
  uint32_t lastDelivered = 0;

 private:
  std::unique_ptr<rpc::Connection> connection_;
};

class LiveEventLog final : public EventLogService {
 public:
  HANDLE OpenEventLog(const char* serverName, const char* sourceName) override {
    if (sourceName == nullptr || serverName == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    std::string_view server(serverName);
    while (!server.empty() && server.front() == '\\') server.remove_prefix(1);
    std::unique_ptr<rpc::Transport> pipe;
    if (const DWORD status = smb::OpenPipe(std::string(server), "eventlog", pipe); status != ERROR_SUCCESS) {
      SetLastError(status);
      return nullptr;
    }
    auto connection = std::make_unique<rpc::Connection>(std::move(pipe));
    if (const DWORD status = connection->Bind(even::Interface()); status != ERROR_SUCCESS) {
      SetLastError(status);
      return nullptr;
    }
    auto handle = std::make_unique<LiveLog>(std::move(connection));
    std::vector<uint8_t> answer;
    DWORD status = handle->Call(even::kOpenLogW, even::OpenRequest(sourceName), answer);
    if (status == ERROR_SUCCESS) status = even::ParseOpenAnswer(answer, handle->log);
    if (status != ERROR_SUCCESS) {
      SetLastError(status);
      return nullptr;
    }
    handle->opened = true;
    std::lock_guard<std::mutex> guard(mutex_);
    HANDLE raw = static_cast<KernelObject*>(handle.release());
    handles_.insert(raw);
    SetLastError(ERROR_SUCCESS);
    return raw;
  }

  BOOL GetNumberOfEventLogRecords(HANDLE log, DWORD* count) override {
    LiveLog* handle = Lookup(log);
    if (handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (count == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> guard(handle->mutex);
    uint32_t number = 0;
    if (const DWORD status = handle->Number(even::kNumberOfRecords, number); status != ERROR_SUCCESS) {
      return Fail(status);
    }
    *count = number;
    return TRUE;
  }

  BOOL ReadEventLog(HANDLE log, DWORD flags, DWORD, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
                    DWORD* minBytesNeeded) override {
    LiveLog* handle = Lookup(log);
    if (handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (bytesRead == nullptr || minBytesNeeded == nullptr || (buffer == nullptr && bytesToRead > 0)) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    *bytesRead = 0;
    *minBytesNeeded = 0;
    if (flags != (EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ)) return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> guard(handle->mutex);
    if (handle->pending.empty()) {
      if (handle->deferred != ERROR_SUCCESS) return Fail(handle->deferred);
      if (const DWORD status = handle->Fetch(); status != ERROR_SUCCESS) return Fail(status);
    }
    auto* out = static_cast<uint8_t*>(buffer);
    DWORD filled = 0;
    while (!handle->pending.empty()) {
      const std::vector<uint8_t>& record = handle->pending.front();
      if (record.size() > bytesToRead - filled) {
        if (filled > 0) break;
        *minBytesNeeded = static_cast<DWORD>(record.size());
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
      std::memcpy(out + filled, record.data(), record.size());
      filled += static_cast<DWORD>(record.size());
      EVENTLOGRECORD fixed;
      std::memcpy(&fixed, record.data(), sizeof fixed);
      handle->lastDelivered = fixed.RecordNumber;
      handle->delivered = true;
      handle->pending.pop_front();
    }
    *bytesRead = filled;
    return TRUE;
  }

  BOOL ClearEventLog(HANDLE log, const char* backupFileName) override {
    LiveLog* handle = Lookup(log);
    if (handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    // A backup would be a file of the server's, named by us: not offered.
    if (backupFileName != nullptr && *backupFileName != '\0') return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> guard(handle->mutex);
    uint32_t count = 0;
    uint32_t oldest = 0;
    if (const DWORD status = handle->Number(even::kNumberOfRecords, count); status != ERROR_SUCCESS) {
      return Fail(status);
    }
    if (const DWORD status = handle->Number(even::kOldestRecord, oldest); status != ERROR_SUCCESS) {
      return Fail(status);
    }
    if (count > 0 && (!handle->delivered || oldest + (count - 1) > handle->lastDelivered)) {
      return Fail(ERROR_EVENTLOG_FILE_CHANGED);
    }
    std::vector<uint8_t> answer;
    DWORD status = handle->Call(even::kClearLogW, even::ClearRequest(handle->log), answer);
    if (status == ERROR_SUCCESS) status = even::ParseStatusAnswer(answer, false);
    if (status != ERROR_SUCCESS) return Fail(status);
    handle->pending.clear();
    handle->deferred = ERROR_SUCCESS;
    return TRUE;
  }

  BOOL CloseEventLog(HANDLE log) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (log == nullptr || handles_.erase(log) == 0) return Fail(ERROR_INVALID_HANDLE);
    delete static_cast<LiveLog*>(static_cast<KernelObject*>(log));
    return TRUE;
  }

  bool Owns(HANDLE log) {
    std::lock_guard<std::mutex> guard(mutex_);
    return log != nullptr && handles_.count(log) != 0;
  }

 private:
  LiveLog* Lookup(HANDLE log) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (log == nullptr || handles_.count(log) == 0) return nullptr;
    return static_cast<LiveLog*>(static_cast<KernelObject*>(log));
  }

  std::mutex mutex_;
  std::unordered_set<HANDLE> handles_;
};

LiveEventLog& Instance() {
  static LiveEventLog* service = new LiveEventLog();  // lives as long as the process
  return *service;
}

}  // namespace

EventLogService& LiveEventLogService() { return Instance(); }
bool IsLiveEventLogHandle(HANDLE log) { return Instance().Owns(log); }

LiveTraffic LiveEventLogTraffic() { return {totalCalls.load(), totalBytes.load()}; }

}  // namespace platform
