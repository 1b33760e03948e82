// The computer list: the computers the administrator works on, in arrival
// order, each with the outcome of its three logs in the last gather run.
//
// Entries are added and the list is cleared only on the interface thread.
// While a batch of type queries runs, each query thread writes only its own
// entry's TypeText and Kind, and the list neither grows nor shrinks (the
// threads hold the entries' addresses). While a gather runs, the worker
// writes LogResults and the interface thread is held in a modal dialog or a
// wait. No lock is taken.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/fixed_text.h"
#include "platform/base/win32.h"

namespace corvid {

enum ComputerKind : int32_t {
  kKindUnknown = 0,
  kKindPrimaryDomainController = 1,
  kKindBackupDomainController = 2,
  kKindServer = 3,
  kKindWorkstation = 4,
};

// The outcome of one log's gather. Each value is also the string-table id of
// its text, which is how the run log prints it.
enum LogStatus : int32_t {
  kStatusCancelled = 5,
  kStatusCompleted = 11,
  kStatusUnableToOpen = 15,
  kStatusUnableToRead = 16,
  kStatusUnableToWrite = 17,
  kStatusRegistryUnavailable = 21,
  kStatusUnableToClear = 24,
};

struct LogResult {
  platform::FixedText<52> LogName;  // padded to 11: "System     ", "Security   ", "Application"
  int32_t Status = 0;               // a LogStatus
  int32_t ErrorCode = 0;            // platform error code, 0 when none
  platform::FixedText<52> ErrorText;  // SQLSTATE of a database failure
};

// The padded names in the order of LogResults.
inline constexpr std::array<std::string_view, 3> kPaddedLogNames = {"System     ", "Security   ",
                                                                    "Application"};

// Names keep at most this many bytes, cut on a character boundary.
inline constexpr size_t kMaxComputerName = 15;

struct ComputerEntry {
  std::string Name;
  std::string TypeText;
  ComputerKind Kind = kKindUnknown;
  uint32_t Selected = 0;
  HANDLE QueryThread = nullptr;
  DWORD QueryThreadId = 0;
  std::array<LogResult, 3> LogResults;  // System, Security, Application
};

// The record for a name typed or read from a list file: two leading
// backslashes dropped, at most 15 bytes kept, type not yet known.
ComputerEntry MakeComputerEntry(std::string_view name);

// The process-wide sequence. Only these operations exist: no removal of one
// entry, no insertion but at the end, no lookup by name. Duplicates stay.
class ComputerSequence {
 public:
  void Append(ComputerEntry entry) { entries_.push_back(std::move(entry)); }
  void Clear() { entries_.clear(); }
  size_t Count() const { return entries_.size(); }
  ComputerEntry& At(size_t position) { return entries_.at(position); }
  const ComputerEntry& At(size_t position) const { return entries_.at(position); }
  auto begin() { return entries_.begin(); }
  auto end() { return entries_.end(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

 private:
  std::vector<ComputerEntry> entries_;
};

extern ComputerSequence ComputerList;

}  // namespace corvid
