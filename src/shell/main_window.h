// The main window: a modeless dialog (template 100) with the computer list,
// drawn row by row with each computer's image and type, and the program's
// commands as buttons. Its initialisation completes the interactive start:
// settings, data source, computer list. Interface thread only.
#pragma once

#include <string>

#include "platform/windows/windows.h"

namespace corvid {

struct MainWindowRecord {
  std::string AboutText;
  HWND dialog = nullptr;
};
extern MainWindowRecord MainWindow;

// Images of 19 by 16 pixels, one per ComputerKind, so that a row's image is
// its entry's Kind. Created with the window system, filled at the main
// window's initialisation.
extern HIMAGELIST ComputerImages;

inline constexpr UINT kAboutCommand = 9900;
inline constexpr int kMainWindowHelpContext = 1001;

// Creates the dialog without owner, adds "&About" to its system menu and
// returns it.
HWND CreateMainWindow();
INT_PTR MainWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Rebuilds the list view from the computer list: one row per entry, in
// order, selected when the computer's kind is known.
void RefreshComputerView();
// The on-screen selection into every entry's Selected: only "&Go" and
// "&Export list..." do this.
void CopySelectionToEntries();

}  // namespace corvid
