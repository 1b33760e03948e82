// Message boxes with texts from the string table, and the two cursors of
// long operations. Interface thread only: a box blocks its caller until the
// user closes it.
#pragma once

#include "platform/base/win32.h"

namespace corvid {

// The string `id` (or "Unknown Error" when the table has none) used as a
// printf format for the arguments, in a box captioned "Error!" with only an
// OK button: the error icon, or the exclamation icon for a warning.
int ShowErrorMessage(HWND owner, UINT id, ...);
int ShowWarningMessage(HWND owner, UINT id, ...);

// The system's wait cursor, and the cursor current when the main window
// started; set once by the main window's initialisation.
extern HCURSOR WaitCursor;
extern HCURSOR NormalCursor;

}  // namespace corvid
