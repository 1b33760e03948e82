#include "gather/run_log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "config/settings_store.h"
#include "platform/accounts_time/clock.h"
#include "platform/files/paths.h"
#include "platform/windows/windows.h"
#include "common/computer_list.h"
#include "common/start_state.h"

namespace corvid {
namespace {

// The open report file, or none; see the thread rule in the header.
std::FILE* runLogFile = nullptr;

constexpr const char kRule[] = "===============================\n";

}  // namespace

bool OpenRunLog() {
  CloseRunLog();
  // Only exactly 1 overwrites; any other stored value appends.
  const char* mode = RunLogSettings.appendChoice == 1 ? "w" : "a";
  if (RunLogSettings.detailLevel == 2) return true;
  runLogFile = platform::OpenMappedFile(RunLogSettings.path, mode);
  return runLogFile != nullptr;
}

void WriteRunLogLine(bool successLine, const char* format, ...) {
  if (RunLogSettings.detailLevel == 2) return;
  if (successLine && RunLogSettings.detailLevel == 1) return;
  if (runLogFile == nullptr) return;
  std::va_list args;
  va_start(args, format);
  std::vfprintf(runLogFile, format, args);
  va_end(args);
}

void CloseRunLog() {
  if (runLogFile != nullptr) std::fclose(runLogFile);
  runLogFile = nullptr;
}

void WriteRunReport() {
  OpenRunLog();  // without a file every line below is dropped

  const std::tm now = platform::LocalTime(platform::CurrentTime());
  char date[16];
  char time[16];
  std::strftime(date, sizeof date, "%m/%d/%Y", &now);
  std::strftime(time, sizeof time, "%H:%M:%S", &now);

  WriteRunLogLine(false, "%s", kRule);
  WriteRunLogLine(false, "%s ", date);
  WriteRunLogLine(false, "%s ", time);
  WriteRunLogLine(false, "Gathering completed\n");
  WriteRunLogLine(false, "Descr\tComputerName\t TableName\tOperation\tErrorCode\n");
  WriteRunLogLine(false, "%s", kRule);

  // Printed as signed numbers, as they always were.
  int32_t errorCount = 0;
  int32_t processedCount = 0;
  for (const ComputerEntry& entry : ComputerList) {
    if (entry.Selected == 0) continue;
    for (const LogResult& result : entry.LogResults) {
      ++processedCount;
      ++errorCount;
      if (result.Status == kStatusCompleted) {
        WriteRunLogLine(true, "Success\t%s\t%s\tOPERATION COMPLETED\t0\n", entry.Name.c_str(),
                        result.LogName.c_str());
        --errorCount;
      } else if (result.Status == kStatusUnableToWrite) {
        char text[260];
        LoadStringA(Instance, kStatusUnableToWrite, text, sizeof text);
        WriteRunLogLine(false, "Error\t%s\t%s\t%s\t%s\n", entry.Name.c_str(),
                        result.LogName.c_str(), text, result.ErrorText.c_str());
      } else {
        char text[260];
        if (LoadStringA(Instance, static_cast<UINT>(result.Status), text, sizeof text) == 0) {
          std::snprintf(text, sizeof text, "Unknown");
        }
        WriteRunLogLine(false, "Error\t%s\t%s\t%s\t%li\n", entry.Name.c_str(),
                        result.LogName.c_str(), text, static_cast<long>(result.ErrorCode));
      }
    }
  }

  WriteRunLogLine(false, "\n%s", kRule);
  WriteRunLogLine(false, "Processed\t%li\n", static_cast<long>(processedCount));
  WriteRunLogLine(false, "Errors\t%li\n", static_cast<long>(errorCount));
  WriteRunLogLine(false, "\n");
  CloseRunLog();
}

}  // namespace corvid
