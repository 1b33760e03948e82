// "Notepad.exe PATH": the user's text viewer for a file.
#pragma once

#include <string>

namespace platform::qt {

// Opens the file at hostPath with $VISUAL, else xdg-open, else a built-in
// read-only viewer window. True when one of them was started.
bool OpenInTextViewer(const std::string& hostPath);

}  // namespace platform::qt
