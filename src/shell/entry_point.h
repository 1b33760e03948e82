// The program's start: one instance at a time, the command line, and one of
// two roads: silent (settings, list file, gather, run log, end) or
// interactive (the main window). The result is 0 on every road.
#pragma once

#include "platform/base/win32.h"

namespace corvid {

// Opens the window system for the interactive road; false when there is no
// display, and the road then ends at once.
using OpenWindowSystem = bool (*)();

int CorvidMain(HINSTANCE instance, const char* commandLine, OpenWindowSystem openWindowSystem = nullptr);

}  // namespace corvid
