#include "platform/windows/windows.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/base/text.h"

namespace platform {
namespace {

class ConsoleWindows final : public WindowsService {
 public:
  int MessageBox(HWND, const char* text, const char* caption, UINT) override {
    std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "",
                 text != nullptr ? text : "");
    return IDOK;
  }
  HCURSOR LoadCursor(HINSTANCE, const char* cursorName) override {
    return const_cast<char*>(cursorName);  // an id stands for itself
  }
  HCURSOR SetCursor(HCURSOR cursor) override {
    HCURSOR previous = current_;
    current_ = cursor;
    return previous;
  }

 private:
  HCURSOR current_ = nullptr;
};

}  // namespace

WindowsService& WindowsService::Default() {
  static ConsoleWindows* windows = new ConsoleWindows();
  return *windows;
}

}  // namespace platform

using platform::Slot;
using platform::WindowsService;

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  return Slot<WindowsService>::Current().MessageBox(owner, text, caption, type);
}
HCURSOR LoadCursorA(HINSTANCE instance, const char* cursorName) {
  return Slot<WindowsService>::Current().LoadCursor(instance, cursorName);
}
HCURSOR SetCursor(HCURSOR cursor) { return Slot<WindowsService>::Current().SetCursor(cursor); }
BOOL GetOpenFileNameA(OPENFILENAMEA* request) { return Slot<WindowsService>::Current().GetOpenFileName(request); }
BOOL GetSaveFileNameA(OPENFILENAMEA* request) { return Slot<WindowsService>::Current().GetSaveFileName(request); }

int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int bufferMax) {
  if (instance == nullptr || buffer == nullptr || bufferMax <= 0) return 0;
  const auto* module = static_cast<const platform::ResourceModule*>(instance);
  const auto it = module->strings.find(id);
  if (it == module->strings.end()) {
    buffer[0] = '\0';
    return 0;
  }
  const size_t length = platform::Utf8Prefix(it->second, static_cast<size_t>(bufferMax) - 1);
  std::memcpy(buffer, it->second.data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

namespace {

WindowsService& Current() { return Slot<WindowsService>::Current(); }

// A resource named by number, as MAKEINTRESOURCE(id) passes it.
UINT ResourceNumber(const char* name) { return static_cast<UINT>(reinterpret_cast<uintptr_t>(name) & 0xFFFF); }

}  // namespace

INT_PTR DialogBoxParamA(HINSTANCE instance, const char* templateName, HWND owner, DLGPROC procedure,
                        LPARAM parameter) {
  return Current().DialogBoxParam(instance, static_cast<int>(ResourceNumber(templateName)), owner, procedure,
                                  parameter);
}
HWND CreateDialogParamA(HINSTANCE instance, const char* templateName, HWND owner, DLGPROC procedure,
                        LPARAM parameter) {
  return Current().CreateDialogParam(instance, static_cast<int>(ResourceNumber(templateName)), owner, procedure,
                                     parameter);
}
BOOL EndDialog(HWND dialog, INT_PTR result) { return Current().EndDialog(dialog, result); }
BOOL DestroyWindow(HWND window) { return Current().DestroyWindow(window); }
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Current().SendMessage(window, message, wParam, lParam);
}
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return Current().SendDlgItemMessage(dialog, id, message, wParam, lParam);
}
HWND GetDlgItem(HWND dialog, int id) { return Current().GetDlgItem(dialog, id); }
BOOL ShowWindow(HWND window, int command) { return Current().ShowWindow(window, command); }
BOOL UpdateWindow(HWND window) { return Current().UpdateWindow(window); }
BOOL EnableWindow(HWND window, BOOL enable) { return Current().EnableWindow(window, enable); }
BOOL IsWindowEnabled(HWND window) { return Current().IsWindowEnabled(window); }
BOOL GetClientRect(HWND window, RECT* rect) { return Current().GetClientRect(window, rect); }
BOOL GetWindowRect(HWND window, RECT* rect) { return Current().GetWindowRect(window, rect); }
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return Current().MoveWindow(window, x, y, width, height, repaint);
}
int GetSystemMetrics(int index) { return Current().GetSystemMetrics(index); }
BOOL SetWindowTextA(HWND window, const char* text) {
  return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}
BOOL SetDlgItemTextA(HWND dialog, int id, const char* text) {
  return SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}
UINT GetDlgItemTextA(HWND dialog, int id, char* buffer, int max) {
  if (buffer == nullptr || max <= 0) return 0;
  buffer[0] = '\0';
  return static_cast<UINT>(
      SendDlgItemMessageA(dialog, id, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buffer)));
}
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
  const std::string text =
      isSigned ? std::to_string(static_cast<int32_t>(value)) : std::to_string(static_cast<uint32_t>(value));
  return SetDlgItemTextA(dialog, id, text.c_str());
}
BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  SendDlgItemMessageA(dialog, id, BM_SETCHECK, check, 0);
  return GetDlgItem(dialog, id) != nullptr;
}
UINT IsDlgButtonChecked(HWND dialog, int id) {
  return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
}
BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
  for (int id = first; id <= last; ++id) {
    if (GetDlgItem(dialog, id) != nullptr) CheckDlgButton(dialog, id, id == check ? BST_CHECKED : BST_UNCHECKED);
  }
  return TRUE;
}
HMENU GetSystemMenu(HWND window, BOOL revert) { return Current().GetSystemMenu(window, revert); }
BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, const char* text) {
  return Current().AppendMenu(menu, flags, id, text);
}
BOOL EnableMenuItem(HMENU menu, UINT id, UINT flags) { return Current().EnableMenuItem(menu, id, flags); }
ULONG_PTR SetClassLongPtrA(HWND window, int index, LONG_PTR value) {
  return Current().SetClassLongPtr(window, index, value);
}
HICON LoadIconA(HINSTANCE instance, const char* name) { return Current().LoadIcon(instance, ResourceNumber(name)); }
HBITMAP LoadBitmapA(HINSTANCE instance, const char* name) {
  return Current().LoadBitmap(instance, ResourceNumber(name));
}

BOOL GetMessageA(MSG* message, HWND, UINT, UINT) { return Current().GetMessage(message); }
BOOL IsDialogMessageA(HWND dialog, MSG* message) { return Current().IsDialogMessage(dialog, message); }
BOOL TranslateMessage(const MSG*) { return FALSE; }
LRESULT DispatchMessageA(const MSG* message) {
  Current().DispatchMessage(message);
  return 0;
}
void PostQuitMessage(int exitCode) { Current().PostQuitMessage(exitCode); }

BOOL WinHelpA(HWND window, const char* helpFile, UINT command, ULONG_PTR data) {
  return Current().WinHelp(window, helpFile, command, data);
}
UINT WinExec(const char* commandLine, UINT show) { return Current().WinExec(commandLine, show); }
BOOL Beep(DWORD frequency, DWORD milliseconds) { return Current().Beep(frequency, milliseconds); }
BOOL Ctl3dRegister(HINSTANCE) { return TRUE; }
BOOL Ctl3dAutoSubclass(HINSTANCE) { return TRUE; }

COLORREF GetSysColor(int index) { return Current().GetSysColor(index); }
HBRUSH CreateSolidBrush(COLORREF colour) { return Current().CreateSolidBrush(colour); }
BOOL DeleteObject(HGDIOBJ object) { return Current().DeleteObject(object); }
int FillRect(HDC dc, const RECT* rect, HBRUSH brush) { return Current().FillRect(dc, rect, brush); }
int SetBkMode(HDC dc, int mode) { return Current().SetBkMode(dc, mode); }
COLORREF SetTextColor(HDC dc, COLORREF colour) { return Current().SetTextColor(dc, colour); }
int DrawTextA(HDC dc, const char* text, int length, RECT* rect, UINT format) {
  return Current().DrawText(dc, text, length, rect, format);
}
BOOL DrawFocusRect(HDC dc, const RECT* rect) { return Current().DrawFocusRect(dc, rect); }
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow) {
  return Current().ImageListCreate(cx, cy, flags, initial, grow);
}
int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask) {
  return Current().ImageListAddMasked(list, bitmap, mask);
}
int ImageList_GetImageCount(HIMAGELIST list) { return Current().ImageListGetImageCount(list); }
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
  return Current().ImageListDraw(list, index, dc, x, y, style);
}
