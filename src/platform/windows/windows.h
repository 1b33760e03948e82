// Window system: message boxes, cursors and the program's own resources.
//
// Until the dialog layer exists, the default implementation tells a message
// box on standard error and answers IDOK, and cursors change nothing. Tests
// install a fake to see what would have been shown.
#pragma once

#include <map>
#include <string_view>

#include "platform/base/service.h"
#include "platform/base/win32.h"

enum : UINT {
  MB_OK = 0x00000000,
  MB_ICONHAND = 0x00000010,
  MB_ICONERROR = MB_ICONHAND,
  MB_ICONEXCLAMATION = 0x00000030,
  MB_ICONWARNING = MB_ICONEXCLAMATION,
};

enum : int { IDOK = 1, IDCANCEL = 2 };

// Cursor resource ids, passed where Windows passes MAKEINTRESOURCE(id).
inline const char* MakeIntResource(UINT id) {
  return reinterpret_cast<const char*>(static_cast<uintptr_t>(id));
}
#define IDC_ARROW MakeIntResource(32512)
#define IDC_WAIT MakeIntResource(32514)

namespace platform {

class WindowsService {
 public:
  virtual ~WindowsService() = default;

  // Shows the text and blocks the calling thread until it is answered.
  virtual int MessageBox(HWND owner, const char* text, const char* caption, UINT type) = 0;
  virtual HCURSOR LoadCursor(HINSTANCE instance, const char* cursorName) = 0;
  // Returns the cursor that was shown before.
  virtual HCURSOR SetCursor(HCURSOR cursor) = 0;

  static WindowsService& Default();
};

// The resources that a module of ours carries; an HINSTANCE of the program
// points to one.
struct ResourceModule {
  std::map<UINT, std::string_view> strings;
};

}  // namespace platform

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
HCURSOR LoadCursorA(HINSTANCE instance, const char* cursorName);
HCURSOR SetCursor(HCURSOR cursor);

// Copies string `id` of the module into the buffer, cut to bufferMax - 1
// bytes on a character boundary and terminated; returns the bytes copied, 0
// when the module has no such string.
int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int bufferMax);
