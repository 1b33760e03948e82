// The sample domain built into a throwaway machine folder, as scripts/demo
// builds it, and the records of its logs read through the event log service.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/eventlog/eventlog.h"
#include "support/temp_machine.h"

namespace testing_support {

inline const char* const kSampleComputers[] = {"PDC01", "BDC02", "SRV03", "WS04"};
inline const char* const kSampleLogs[] = {"System", "Security", "Application"};

// Runs sample/network.ntsim (and the message files, when built) into the
// network root of `machine`. False when ntsim failed.
inline bool BuildSampleNetwork(const TempMachine& machine, bool withMessageFiles = true) {
  const std::string network = (machine.root() / "network").string();
  std::string command = std::string("CORVID_SAMPLE='") + CORVID_SAMPLE_DIR + "' CORVID_SAMPLE_DLLS='" +
                        CORVID_SAMPLE_DLLS + "' '" + CORVID_BIN_DIR + "/ntsim' --network '" + network +
                        "' run '" + CORVID_SAMPLE_DIR + "/network.ntsim'";
  if (withMessageFiles) {
    command += " && CORVID_SAMPLE_DLLS='" + std::string(CORVID_SAMPLE_DLLS) + "' '" + CORVID_BIN_DIR +
               "/ntsim' --network '" + network + "' run '" + CORVID_SAMPLE_DIR + "/messages.ntsim'";
  }
  return std::system(command.c_str()) == 0;
}

// Every record of one log, oldest first, each as ReadEventLogA gave it;
// false when the log could not be opened or read to its end.
inline bool ReadWholeLog(const char* computer, const char* log, std::vector<std::vector<uint8_t>>& records) {
  HANDLE handle = OpenEventLogA(computer, log);
  if (handle == nullptr) return false;
  std::vector<uint8_t> buffer(10000);
  for (;;) {
    DWORD read = 0, needed = 0;
    if (!ReadEventLogA(handle, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &read, &needed)) {
      const DWORD code = GetLastError();
      if (code == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(needed);
        continue;
      }
      CloseEventLog(handle);
      return code == ERROR_HANDLE_EOF;
    }
    for (DWORD offset = 0; offset < read;) {
      const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + offset);
      records.emplace_back(buffer.data() + offset, buffer.data() + offset + record->Length);
      offset += record->Length;
    }
  }
}

}  // namespace testing_support
