// The two dialogs of an interactive gather: the selection to confirm
// (template 106) and "Gathering in progress" (template 111), whose
// procedure starts the worker and writes the run log when it is done.
#pragma once

#include "platform/windows/windows.h"

namespace corvid {

inline constexpr int kGatherSelectionHelpContext = 1008;

// Ends with 1 for OK, 0 for Cancel; lists the selected names only.
INT_PTR GatherSelectionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

INT_PTR GatherProgressDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace corvid
