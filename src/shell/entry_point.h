// The program's start: one instance at a time, the command line, and one of
// two roads: silent (settings, list file, gather, run log, end) or
// interactive (the main window). The result is 0 on every road.
#pragma once

#include "platform/base/win32.h"

namespace corvid {

int CorvidMain(HINSTANCE instance, const char* commandLine);

}  // namespace corvid
