// The built-in viewer of the program's help file ("Corvid.hlp"), opened by
// WinHelpA at a context number.
#pragma once

#include <string>

class QWidget;

namespace platform::qt {

// Shows the topic with that context number of the help file at hostPath in
// the viewer window (one window, reused). False when the file cannot be read.
bool ShowHelpTopic(QWidget* owner, const std::string& hostPath, unsigned long context);

// Closes the viewer (HELP_QUIT).
void CloseHelp();

}  // namespace platform::qt
