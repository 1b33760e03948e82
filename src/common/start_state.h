// What the entry point sets before anything else runs. Written once by the
// interface thread at start, read afterwards by every thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/base/win32.h"

namespace corvid {

// The program's module: every resource (strings, dialogs, images) is loaded
// through it.
extern HINSTANCE Instance;

// 1 for the silent road ("-S" or "/S" on the command line).
extern uint32_t SilentMode;

// The computer list file named on the command line; empty when none.
extern std::string ListFilePath;

// The companion data-source tool once started; cleared by the entry point.
// Written and read on the interface thread only.
extern HANDLE CompanionProcess;

}  // namespace corvid
