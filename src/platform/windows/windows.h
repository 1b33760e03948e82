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

// The common file dialogs' request, as Win32 lays it out.
struct OPENFILENAMEA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  const char* lpstrFilter;  // pairs of texts, each ending in NUL, a second NUL at the end
  char* lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  char* lpstrFile;  // in: the name shown; out: the full path chosen
  DWORD nMaxFile;
  char* lpstrFileTitle;
  DWORD nMaxFileTitle;
  const char* lpstrInitialDir;
  const char* lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  const char* lpstrDefExt;
  LPARAM lCustData;
  void* lpfnHook;
  const char* lpTemplateName;
};

enum : DWORD {
  OFN_OVERWRITEPROMPT = 0x00000002,
  OFN_HIDEREADONLY = 0x00000004,
  OFN_PATHMUSTEXIST = 0x00000800,
  OFN_FILEMUSTEXIST = 0x00001000,
  OFN_EXPLORER = 0x00080000,
};

namespace platform {

class WindowsService {
 public:
  virtual ~WindowsService() = default;

  // Shows the text and blocks the calling thread until it is answered.
  virtual int MessageBox(HWND owner, const char* text, const char* caption, UINT type) = 0;
  virtual HCURSOR LoadCursor(HINSTANCE instance, const char* cursorName) = 0;
  // Returns the cursor that was shown before.
  virtual HCURSOR SetCursor(HCURSOR cursor) = 0;
  // TRUE with the chosen path in lpstrFile; FALSE when cancelled. Without a
  // window system every dialog is cancelled.
  virtual BOOL GetOpenFileName(OPENFILENAMEA* request) { (void)request; return FALSE; }
  virtual BOOL GetSaveFileName(OPENFILENAMEA* request) { (void)request; return FALSE; }

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
BOOL GetOpenFileNameA(OPENFILENAMEA* request);
BOOL GetSaveFileNameA(OPENFILENAMEA* request);

// Copies string `id` of the module into the buffer, cut to bufferMax - 1
// bytes on a character boundary and terminated; returns the bytes copied, 0
// when the module has no such string.
int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int bufferMax);
