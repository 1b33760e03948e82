#include "gather/log_reader.h"

#include "config/settings_store.h"
#include "db/event_table.h"
#include "gather/gather_run.h"
#include "gather/row_builder.h"
#include "platform/base/environment.h"
#include "platform/base/last_error.h"
#include "platform/threads/threads.h"
#include "common/computer_list.h"

namespace corvid {

LogReader::LogReader(const char* name, GatherProgress* progressSink) : logName(name), progress(progressSink) {}

void LogReader::Fail(int32_t newStatus, int32_t code) {
  status = newStatus;
  errorCode = code;
}

void LogReader::NewBuffer(DWORD size) {
  buffer.assign(size, 0);
  bufferSize = size;
  bytesRead = 0;
}

bool LogReader::OpenLog(const char* name) {
  computerName = name;
  logHandle = OpenEventLogA(computerName.c_str(), logName.c_str());
  if (logHandle == nullptr) {
    Fail(kStatusUnableToOpen, static_cast<int32_t>(GetLastError()));
    return false;
  }
  if (!GetNumberOfEventLogRecords(logHandle, &recordCount)) {
    Fail(kStatusUnableToOpen, static_cast<int32_t>(GetLastError()));
    return false;
  }
  // The descriptions come from the gathered computer's registry, or from
  // this computer's when the setting says so.
  sourceTable = std::make_unique<EventSourceTable>();
  const char* registryOf = Settings.LoadDescriptions != 0 ? computerName.c_str() : nullptr;
  if (!BuildEventSourceTable(registryOf, logName.c_str(), *sourceTable)) {
    Fail(kStatusRegistryUnavailable, sourceTable->lastStatus);
    return false;
  }
  return true;
}

bool LogReader::ReadNextBatch() {
  constexpr DWORD kForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;
  DWORD needed = 0;
  bytesRead = 0;
  if (ReadEventLogA(logHandle, kForwards, 0, buffer.data(), bufferSize, &bytesRead, &needed)) return true;
  DWORD error = GetLastError();
  if (error == ERROR_INSUFFICIENT_BUFFER) {
    NewBuffer(needed);
    if (ReadEventLogA(logHandle, kForwards, 0, buffer.data(), bufferSize, &bytesRead, &needed)) return true;
    error = GetLastError();
    if (error == ERROR_INSUFFICIENT_BUFFER) {
      // At most two reads a call: the next call reads with this buffer.
      NewBuffer(needed);
      return true;
    }
  }
  bytesRead = 0;
  Fail(kStatusUnableToRead, static_cast<int32_t>(error));
  return false;
}

bool LogReader::WalkBatch(OdbcSession& session) {
  if (cancelRequested.load(std::memory_order_relaxed) != 0) {
    Fail(kStatusCancelled, 0);
    return false;
  }
  const platform::EnvironmentHold environment;
  // The rows of a few records are built, then stored, in record order.
  // Building and storing each run through much code, and taking turns at
  // every record made each push the other out of the processor's caches:
  // a tenth of a gather's time. What is stored and when it is committed do
  // not change; a record that cannot be one ends the walk after the rows
  // before it are stored, as before.
  constexpr size_t kGroup = 16;
  if (rows_.size() < kGroup) rows_.resize(kGroup);
  DWORD offset = 0;
  bool malformed = false;
  while (offset < bytesRead && !malformed) {
    const EVENTLOGRECORD* group[kGroup];
    size_t count = 0;
    for (; count < kGroup && offset < bytesRead; ++count) {
      const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + offset);
      // A record that cannot be one would walk for ever or past the buffer.
      if (bytesRead - offset < sizeof(EVENTLOGRECORD) || record->Length < sizeof(EVENTLOGRECORD) ||
          record->Length > bytesRead - offset) {
        malformed = true;
        break;
      }
      offset += record->Length;
      // Compared by written time only, unsigned; record numbers play no part.
      bool store = false;
      if (record->TimeWritten > storedNewest) {
        store = true;
      } else if (record->TimeWritten == storedNewest) {
        if (skippedAtNewest < storedAtNewest) {
          ++skippedAtNewest;  // taken for one of the rows stored with that date
        } else {
          store = true;
        }
      }
      group[count] = store ? record : nullptr;
      if (store) BuildEventRow(computerName.c_str(), *sourceTable, *record, record->Length, rows_[count]);
    }
    for (size_t i = 0; i < count; ++i) {
      ++recordsProcessed;
      if (group[i] != nullptr && !StoreRow(rows_[i], session)) return false;
      if (cancelRequested.load(std::memory_order_relaxed) != 0) {
        Fail(kStatusCancelled, 0);
        return false;
      }
    }
  }
  if (malformed) {
    Fail(kStatusUnableToRead, ERROR_INVALID_DATA);
    return false;
  }
  return true;
}

bool LogReader::StoreRow(EventRow& row, OdbcSession& session) {
  if (!InsertEventRow(session, progress != nullptr ? progress->Window() : nullptr, row)) {
    Fail(kStatusUnableToWrite, 0);
    errorText = session.sqlState;
    return false;
  }
  // Unsigned on purpose: a negative period from the settings dialog is a
  // huge number, and then only the last counted record commits.
  if (rowsPending < Settings.TransactionPeriod && recordsProcessed != recordCount) {
    ++rowsPending;
    return true;
  }
  // A thread cut off by a time-out commits nothing more.
  platform::SideEffectPermit permit;
  if (!permit) {
    Fail(kStatusCancelled, 0);
    return false;
  }
  if (!CommitSession(session, progress != nullptr ? progress->Window() : nullptr)) {
    Fail(kStatusUnableToWrite, 0);
    errorText = session.sqlState;
    return false;
  }
  rowsPending = 0;
  return true;
}

bool LogReader::ClearLog() {
  platform::SideEffectPermit permit;
  if (!permit) {
    Fail(kStatusCancelled, 0);
    return false;
  }
  if (!ClearEventLogA(logHandle, nullptr)) {
    Fail(kStatusUnableToClear, static_cast<int32_t>(GetLastError()));
    return false;
  }
  return true;
}

void LogReader::CloseLog() {
  if (logHandle != nullptr) CloseEventLog(logHandle);
  logHandle = nullptr;
  buffer.clear();
  buffer.shrink_to_fit();
  bufferSize = 0;
  bytesRead = 0;
  recordCount = 0;
  sourceTable.reset();
}

}  // namespace corvid
