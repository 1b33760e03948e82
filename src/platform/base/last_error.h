// The calling thread's last error code, as Win32 keeps it.
#pragma once

#include "platform/base/win32.h"

DWORD GetLastError();
void SetLastError(DWORD code);
