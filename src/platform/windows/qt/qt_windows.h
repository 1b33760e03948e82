// The window system on Qt 6 Widgets: dialogs from the program's templates,
// their controls and messages, message boxes, file dialogs, help, owner
// drawing. Installed by the interactive program; tests install it on the
// offscreen platform.
#pragma once

#include <functional>

#include "platform/windows/windows.h"

class QWidget;

namespace platform::qt {

// Creates the application object (once) and installs the layer as the
// WindowsService. False, with nothing installed, when there is no display
// to open windows on.
bool InstallQtWindowSystem(int& argc, char** argv);

// The Qt widget behind a window handle and back; nullptr for an unknown one.
QWidget* WidgetOf(HWND window);
HWND WindowOf(const QWidget* widget);

// Dialog units to pixels for a template's font, as Windows converts them.
struct BaseUnits {
  int x;  // average character width
  int y;  // character height
};
BaseUnits DialogBaseUnits(const char* font, int pointSize);

// Called on the interface thread each time a dialog has been initialised
// (after WM_INITDIALOG), with its handle and template id: tests and the
// screen renderer act on modal dialogs from here.
using DialogOpenedHook = std::function<void(HWND dialog, int templateId)>;
void SetDialogOpenedHook(DialogOpenedHook hook);

}  // namespace platform::qt
