// The modeless notices the interface thread shows while it keeps itself
// busy ("Preparing Data Source...", "Loading, please wait..."): shown and
// painted at once, since no message loop runs to paint them later.
#pragma once

#include "platform/windows/windows.h"

namespace corvid {

HWND OpenNoticeWindow(int templateId, HWND owner, DLGPROC procedure);

}  // namespace corvid
