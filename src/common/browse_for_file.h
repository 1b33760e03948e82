// The file dialog of the list files and of the run log options.
#pragma once

#include "platform/base/win32.h"

namespace corvid {

inline constexpr DWORD kPathBuffer = 260;

// 1 import (open), 2 export (save), anything else a log file (save).
// The caller fills `path` with the name the dialog shows first; on true it
// holds the full path chosen.
bool BrowseForFile(HWND owner, const char* title, char (&path)[kPathBuffer], int mode);

}  // namespace corvid
