// The two dialogs that edit the settings: "Ravelin Settings" (template 112)
// for the gather options and the data source, and "Options" (template 104)
// for the run log. Both are modal, owned by the main window, and always end
// with result 1. Interface thread only.
#pragma once

#include <string>

#include "config/settings_store.h"
#include "platform/windows/windows.h"

namespace corvid {

inline constexpr int kSettingsHelpContext = 1003;
inline constexpr int kLogOptionsHelpContext = 1002;

// Edits Settings in place; only OK saves, and OK saves everything.
INT_PTR SettingsDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// What the log options dialog edits while it is open; only OK hands it to
// RunLogSettings, which reach the registry with the next save.
extern RunLogOptions LogOptionsCopy;
INT_PTR LogOptionsDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace corvid
