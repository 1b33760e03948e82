// The event sources of one log and their message files, as a computer's
// registry registers them under SYSTEM\CurrentControlSet\Services\EventLog.
//
// Built once per open log on the gather worker thread, read for every
// record, destroyed with the log. No registry handle outlives the build.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win32.h"

namespace corvid {

struct EventSourceTable {
  // Present when the gathered computer's registry was read; its presence
  // makes message-file paths go through that computer's shares.
  std::optional<std::string> computerName;
  std::string systemRoot;
  DWORD sourceCount = 0;
  // Parallel lists: entry i of each belongs to source i; a missing value is
  // an empty text.
  std::vector<std::string> sourceNames;
  std::vector<std::string> eventMessageFiles;
  std::vector<std::string> categoryMessageFiles;
  std::vector<std::string> parameterMessageFiles;
  // The result of the last registry call of the build.
  LONG lastStatus = ERROR_SUCCESS;

  // Answers that depend only on the source, kept for the life of the table
  // (one log's gather), so that a record costs no search and no mapping
  // that the record before it already made. Filled on first use; the table
  // belongs to one thread.
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };
  struct Memo {
    std::unordered_map<std::string, int32_t, NameHash, std::equal_to<>> sources;
    // Per kind of message file (event, category, parameter), per source:
    // the mapped paths, once made.
    std::vector<std::optional<std::vector<std::string>>> files[3];
  };
  mutable Memo memo;
};

// Reads the sources of `logName` from the registry of `computerName`, or of
// this computer when none. False when the registry, the log's key, the walk
// of its subkeys or the system root could not be read; the table is still
// filled as far as it got and carries the last status.
bool BuildEventSourceTable(const char* computerName, const char* logName, EventSourceTable& table);

// The first source whose name equals `sourceName` ignoring case; -1 when
// none does.
int32_t FindEventSource(const EventSourceTable& table, std::string_view sourceName);

}  // namespace corvid
