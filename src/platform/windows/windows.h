// Window system: dialogs from templates and their controls, message boxes,
// cursors, the common file dialogs, help, owner drawing, and the program's
// own resources, under their Win32 names.
//
// The default implementation has no window system: a message box is told on
// standard error and answered IDOK, dialogs fail to open, file dialogs are
// cancelled. The interactive program installs the Qt layer
// (platform/windows/qt) at start. Tests install fakes, or the Qt layer on the
// offscreen platform.
//
// Threads: any thread may call. The Qt layer runs every call on the interface
// thread and returns when it was handled there, as SendMessage does across
// threads on Windows; a box opened from a worker blocks that worker until it
// is answered.
#pragma once

#include <map>
#include <string_view>
#include <vector>

#include "platform/base/service.h"
#include "platform/base/win32.h"
#include "platform/windows/dialog_template.h"

enum : UINT {
  MB_OK = 0x00000000,
  MB_OKCANCEL = 0x00000001,
  MB_YESNO = 0x00000004,
  MB_ICONHAND = 0x00000010,
  MB_ICONERROR = MB_ICONHAND,
  MB_ICONQUESTION = 0x00000020,
  MB_ICONEXCLAMATION = 0x00000030,
  MB_ICONWARNING = MB_ICONEXCLAMATION,
  MB_ICONASTERISK = 0x00000040,
  MB_ICONINFORMATION = MB_ICONASTERISK,
};

enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

typedef void* HMENU;
typedef void* HICON;
typedef void* HBITMAP;
typedef void* HBRUSH;
typedef void* HDC;
typedef void* HGDIOBJ;
typedef void* HIMAGELIST;
typedef DWORD COLORREF;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

inline constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
inline constexpr WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
inline constexpr WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
inline constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
  return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}
inline constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
  return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}

struct RECT {
  LONG left, top, right, bottom;
};
struct POINT {
  LONG x, y;
};
struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

// Messages.
enum : UINT {
  WM_NULL = 0x0000,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_SETTEXT = 0x000C,
  WM_GETTEXT = 0x000D,
  WM_GETTEXTLENGTH = 0x000E,
  WM_DRAWITEM = 0x002B,
  WM_INITDIALOG = 0x0110,
  WM_COMMAND = 0x0111,
  WM_SYSCOMMAND = 0x0112,
  BM_GETCHECK = 0x00F0,
  BM_SETCHECK = 0x00F1,
  BM_CLICK = 0x00F5,
  CB_ADDSTRING = 0x0143,
  CB_GETCOUNT = 0x0146,
  CB_GETCURSEL = 0x0147,
  CB_SETCURSEL = 0x014E,
  LB_ADDSTRING = 0x0180,
  LB_GETTEXT = 0x0189,
  LB_GETCOUNT = 0x018B,
  PBM_SETRANGE = 0x0401,
  PBM_SETPOS = 0x0402,
  PBM_SETSTEP = 0x0404,
  PBM_STEPIT = 0x0405,
  PBM_GETRANGE = 0x0407,
  PBM_GETPOS = 0x0408,
  LVM_GETITEMCOUNT = 0x1004,
  LVM_DELETEALLITEMS = 0x1009,
  LVM_GETCOLUMNWIDTH = 0x101D,
  LVM_SETITEMSTATE = 0x102B,
  LVM_GETITEMSTATE = 0x102C,
  LVM_INSERTITEMA = 0x1007,
  LVM_INSERTCOLUMNA = 0x101B,
};

// Notification codes, in the high word of WM_COMMAND's wParam.
enum : WORD { BN_CLICKED = 0, CBN_SELCHANGE = 1, EN_CHANGE = 0x0300 };

enum : WPARAM { BST_UNCHECKED = 0, BST_CHECKED = 1 };

// System commands.
enum : UINT {
  SC_SIZE = 0xF000,
  SC_MOVE = 0xF010,
  SC_MINIMIZE = 0xF020,
  SC_MAXIMIZE = 0xF030,
  SC_CLOSE = 0xF060,
  SC_RESTORE = 0xF120,
};
enum : UINT {
  MF_BYCOMMAND = 0x0000,
  MF_STRING = 0x0000,
  MF_GRAYED = 0x0001,
  MF_DISABLED = 0x0002,
  MF_SEPARATOR = 0x0800,
};

enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5, SW_SHOWDEFAULT = 10 };
enum : int { SM_CXSCREEN = 0, SM_CYSCREEN = 1 };
#define GCLP_HICON (-14)

// Owner drawing.
enum : UINT { ODT_LISTVIEW = 102 };
enum : UINT { ODA_DRAWENTIRE = 0x1, ODA_SELECT = 0x2, ODA_FOCUS = 0x4 };
enum : UINT { ODS_SELECTED = 0x1, ODS_FOCUS = 0x10 };
struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;  // -1 for an empty control
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
};

// System colours.
enum : int { COLOR_WINDOW = 5, COLOR_WINDOWTEXT = 8, COLOR_HIGHLIGHT = 13, COLOR_HIGHLIGHTTEXT = 14 };
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : UINT { DT_LEFT = 0x0, DT_CENTER = 0x1, DT_VCENTER = 0x4, DT_SINGLELINE = 0x20 };

// Image lists.
enum : UINT { ILC_MASK = 0x0001, ILC_COLOR4 = 0x0004 };
enum : UINT { ILD_NORMAL = 0x0000, ILD_TRANSPARENT = 0x0001 };

// List views.
enum : UINT { LVCF_FMT = 0x1, LVCF_WIDTH = 0x2, LVCF_TEXT = 0x4, LVCF_SUBITEM = 0x8 };
enum : int { LVCFMT_LEFT = 0 };
enum : UINT { LVIF_TEXT = 0x1, LVIF_PARAM = 0x4, LVIF_STATE = 0x8 };
enum : UINT { LVIS_FOCUSED = 0x1, LVIS_SELECTED = 0x2 };
struct LVCOLUMNA {
  UINT mask;
  int fmt;
  int cx;
  char* pszText;
  int cchTextMax;
  int iSubItem;
};
struct LVITEMA {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  char* pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
};

// Help.
enum : UINT { HELP_CONTEXT = 0x0001, HELP_QUIT = 0x0002 };

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

// An image of the program's resources: width by height pixels, 0xAARRGGBB,
// rows from the top. Bitmaps are opaque (their transparent colour is chosen
// when they join an image list); icons carry alpha.
struct PixelImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

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

  // Dialogs and windows. Without a window system no dialog opens:
  // DialogBoxParam answers -1, CreateDialogParam nullptr, and a message to
  // no window answers 0.
  virtual INT_PTR DialogBoxParam(HINSTANCE, int templateId, HWND owner, DLGPROC, LPARAM) {
    (void)templateId, (void)owner;
    return -1;
  }
  virtual HWND CreateDialogParam(HINSTANCE, int templateId, HWND owner, DLGPROC, LPARAM) {
    (void)templateId, (void)owner;
    return nullptr;
  }
  virtual BOOL EndDialog(HWND dialog, INT_PTR result) { (void)dialog, (void)result; return FALSE; }
  virtual BOOL DestroyWindow(HWND window) { (void)window; return FALSE; }
  virtual LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)window, (void)message, (void)wParam, (void)lParam;
    return 0;
  }
  virtual HWND GetDlgItem(HWND dialog, int id) { (void)dialog, (void)id; return nullptr; }
  // GetDlgItem and SendMessage in one: one trip to the interface thread
  // where two would be made.
  virtual LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? SendMessage(control, message, wParam, lParam) : 0;
  }
  virtual BOOL ShowWindow(HWND window, int command) { (void)window, (void)command; return FALSE; }
  virtual BOOL UpdateWindow(HWND window) { (void)window; return FALSE; }
  virtual BOOL EnableWindow(HWND window, BOOL enable) { (void)window, (void)enable; return FALSE; }
  virtual BOOL IsWindowEnabled(HWND window) { (void)window; return FALSE; }
  virtual BOOL GetClientRect(HWND window, RECT* rect) { (void)window, (void)rect; return FALSE; }
  virtual BOOL GetWindowRect(HWND window, RECT* rect) { (void)window, (void)rect; return FALSE; }
  virtual BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    (void)window, (void)x, (void)y, (void)width, (void)height, (void)repaint;
    return FALSE;
  }
  virtual int GetSystemMetrics(int index) { (void)index; return 0; }
  virtual HMENU GetSystemMenu(HWND window, BOOL revert) { (void)window, (void)revert; return nullptr; }
  virtual BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char* text) {
    (void)menu, (void)flags, (void)id, (void)text;
    return FALSE;
  }
  virtual BOOL EnableMenuItem(HMENU menu, UINT id, UINT flags) { (void)menu, (void)id, (void)flags; return FALSE; }
  virtual ULONG_PTR SetClassLongPtr(HWND window, int index, LONG_PTR value) {
    (void)window, (void)index, (void)value;
    return 0;
  }
  virtual HICON LoadIcon(HINSTANCE instance, UINT id) { (void)instance, (void)id; return nullptr; }
  virtual HBITMAP LoadBitmap(HINSTANCE instance, UINT id) { (void)instance, (void)id; return nullptr; }

  // The message loop: GetMessage answers 0 once PostQuitMessage was called.
  virtual BOOL GetMessage(MSG* message) { (void)message; return 0; }
  virtual void PostQuitMessage(int exitCode) { (void)exitCode; }
  virtual BOOL IsDialogMessage(HWND dialog, MSG* message) { (void)dialog, (void)message; return FALSE; }
  virtual void DispatchMessage(const MSG* message) { (void)message; }

  // The help file (our own format, see docs/design.md) at a context number.
  virtual BOOL WinHelp(HWND window, const char* helpFile, UINT command, ULONG_PTR data) {
    (void)window, (void)helpFile, (void)command, (void)data;
    return FALSE;
  }
  // Only "Notepad.exe PATH" is known: the user's text viewer opens PATH.
  // Above 31 when started, as Win32 answers; 2 for an unknown program.
  virtual UINT WinExec(const char* commandLine, UINT show) { (void)commandLine, (void)show; return 2; }
  virtual BOOL Beep(DWORD frequency, DWORD milliseconds) { (void)frequency, (void)milliseconds; return TRUE; }

  // Drawing, for owner-drawn rows: the device context a WM_DRAWITEM hands over.
  virtual COLORREF GetSysColor(int index) { (void)index; return 0; }
  virtual HBRUSH CreateSolidBrush(COLORREF colour) { (void)colour; return nullptr; }
  virtual BOOL DeleteObject(HGDIOBJ object) { (void)object; return FALSE; }
  virtual int FillRect(HDC dc, const RECT* rect, HBRUSH brush) { (void)dc, (void)rect, (void)brush; return 0; }
  virtual int SetBkMode(HDC dc, int mode) { (void)dc, (void)mode; return 0; }
  virtual COLORREF SetTextColor(HDC dc, COLORREF colour) { (void)dc, (void)colour; return 0; }
  virtual int DrawText(HDC dc, const char* text, int length, RECT* rect, UINT format) {
    (void)dc, (void)text, (void)length, (void)rect, (void)format;
    return 0;
  }
  virtual BOOL DrawFocusRect(HDC dc, const RECT* rect) { (void)dc, (void)rect; return FALSE; }
  virtual HIMAGELIST ImageListCreate(int cx, int cy, UINT flags, int initial, int grow) {
    (void)cx, (void)cy, (void)flags, (void)initial, (void)grow;
    return nullptr;
  }
  virtual int ImageListAddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask) {
    (void)list, (void)bitmap, (void)mask;
    return -1;
  }
  virtual int ImageListGetImageCount(HIMAGELIST list) { (void)list; return 0; }
  virtual BOOL ImageListDraw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
    (void)list, (void)index, (void)dc, (void)x, (void)y, (void)style;
    return FALSE;
  }

  static WindowsService& Default();
};

// The resources that a module of ours carries; an HINSTANCE of the program
// points to one.
struct ResourceModule {
  std::map<UINT, std::string_view> strings;
  std::map<int, const dlg::DialogTemplate*> dialogs;
  std::map<UINT, const PixelImage*> bitmaps;
  std::map<UINT, const PixelImage*> icons;
};

// Forwards every call to a target, so a test overrides just the calls it
// wants and leaves the rest to the real layer.
class WindowsWrapper : public WindowsService {
 public:
  explicit WindowsWrapper(WindowsService& target) : target_(target) {}
  int MessageBox(HWND o, const char* t, const char* c, UINT type) override { return target_.MessageBox(o, t, c, type); }
  HCURSOR LoadCursor(HINSTANCE i, const char* n) override { return target_.LoadCursor(i, n); }
  HCURSOR SetCursor(HCURSOR c) override { return target_.SetCursor(c); }
  BOOL GetOpenFileName(OPENFILENAMEA* r) override { return target_.GetOpenFileName(r); }
  BOOL GetSaveFileName(OPENFILENAMEA* r) override { return target_.GetSaveFileName(r); }
  INT_PTR DialogBoxParam(HINSTANCE i, int t, HWND o, DLGPROC p, LPARAM l) override {
    return target_.DialogBoxParam(i, t, o, p, l);
  }
  HWND CreateDialogParam(HINSTANCE i, int t, HWND o, DLGPROC p, LPARAM l) override {
    return target_.CreateDialogParam(i, t, o, p, l);
  }
  BOOL EndDialog(HWND d, INT_PTR r) override { return target_.EndDialog(d, r); }
  BOOL DestroyWindow(HWND w) override { return target_.DestroyWindow(w); }
  LRESULT SendMessage(HWND w, UINT m, WPARAM wp, LPARAM lp) override { return target_.SendMessage(w, m, wp, lp); }
  HWND GetDlgItem(HWND d, int id) override { return target_.GetDlgItem(d, id); }
  LRESULT SendDlgItemMessage(HWND d, int id, UINT m, WPARAM wp, LPARAM lp) override {
    return target_.SendDlgItemMessage(d, id, m, wp, lp);
  }
  BOOL ShowWindow(HWND w, int c) override { return target_.ShowWindow(w, c); }
  BOOL UpdateWindow(HWND w) override { return target_.UpdateWindow(w); }
  BOOL EnableWindow(HWND w, BOOL e) override { return target_.EnableWindow(w, e); }
  BOOL IsWindowEnabled(HWND w) override { return target_.IsWindowEnabled(w); }
  BOOL GetClientRect(HWND w, RECT* r) override { return target_.GetClientRect(w, r); }
  BOOL GetWindowRect(HWND w, RECT* r) override { return target_.GetWindowRect(w, r); }
  BOOL MoveWindow(HWND w, int x, int y, int cx, int cy, BOOL p) override { return target_.MoveWindow(w, x, y, cx, cy, p); }
  int GetSystemMetrics(int i) override { return target_.GetSystemMetrics(i); }
  HMENU GetSystemMenu(HWND w, BOOL r) override { return target_.GetSystemMenu(w, r); }
  BOOL AppendMenu(HMENU m, UINT f, UINT_PTR id, const char* t) override { return target_.AppendMenu(m, f, id, t); }
  BOOL EnableMenuItem(HMENU m, UINT id, UINT f) override { return target_.EnableMenuItem(m, id, f); }
  ULONG_PTR SetClassLongPtr(HWND w, int i, LONG_PTR v) override { return target_.SetClassLongPtr(w, i, v); }
  HICON LoadIcon(HINSTANCE i, UINT id) override { return target_.LoadIcon(i, id); }
  HBITMAP LoadBitmap(HINSTANCE i, UINT id) override { return target_.LoadBitmap(i, id); }
  BOOL GetMessage(MSG* m) override { return target_.GetMessage(m); }
  void PostQuitMessage(int c) override { target_.PostQuitMessage(c); }
  BOOL IsDialogMessage(HWND d, MSG* m) override { return target_.IsDialogMessage(d, m); }
  void DispatchMessage(const MSG* m) override { target_.DispatchMessage(m); }
  BOOL WinHelp(HWND w, const char* f, UINT c, ULONG_PTR d) override { return target_.WinHelp(w, f, c, d); }
  UINT WinExec(const char* c, UINT s) override { return target_.WinExec(c, s); }
  BOOL Beep(DWORD f, DWORD ms) override { return target_.Beep(f, ms); }
  COLORREF GetSysColor(int i) override { return target_.GetSysColor(i); }
  HBRUSH CreateSolidBrush(COLORREF c) override { return target_.CreateSolidBrush(c); }
  BOOL DeleteObject(HGDIOBJ o) override { return target_.DeleteObject(o); }
  int FillRect(HDC dc, const RECT* r, HBRUSH b) override { return target_.FillRect(dc, r, b); }
  int SetBkMode(HDC dc, int m) override { return target_.SetBkMode(dc, m); }
  COLORREF SetTextColor(HDC dc, COLORREF c) override { return target_.SetTextColor(dc, c); }
  int DrawText(HDC dc, const char* t, int n, RECT* r, UINT f) override { return target_.DrawText(dc, t, n, r, f); }
  BOOL DrawFocusRect(HDC dc, const RECT* r) override { return target_.DrawFocusRect(dc, r); }
  HIMAGELIST ImageListCreate(int cx, int cy, UINT f, int n, int g) override {
    return target_.ImageListCreate(cx, cy, f, n, g);
  }
  int ImageListAddMasked(HIMAGELIST l, HBITMAP b, COLORREF m) override { return target_.ImageListAddMasked(l, b, m); }
  int ImageListGetImageCount(HIMAGELIST l) override { return target_.ImageListGetImageCount(l); }
  BOOL ImageListDraw(HIMAGELIST l, int i, HDC dc, int x, int y, UINT s) override {
    return target_.ImageListDraw(l, i, dc, x, y, s);
  }

 private:
  WindowsService& target_;
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

// Dialogs, by template id as Win32's MAKEINTRESOURCE(id) names them.
INT_PTR DialogBoxParamA(HINSTANCE instance, const char* templateName, HWND owner, DLGPROC procedure,
                        LPARAM parameter);
HWND CreateDialogParamA(HINSTANCE instance, const char* templateName, HWND owner, DLGPROC procedure,
                        LPARAM parameter);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL DestroyWindow(HWND window);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
HWND GetDlgItem(HWND dialog, int id);
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
int GetSystemMetrics(int index);
BOOL SetWindowTextA(HWND window, const char* text);
BOOL SetDlgItemTextA(HWND dialog, int id, const char* text);
// Copies at most max - 1 bytes, never half a character, and terminates.
UINT GetDlgItemTextA(HWND dialog, int id, char* buffer, int max);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
BOOL CheckRadioButton(HWND dialog, int first, int last, int check);
HMENU GetSystemMenu(HWND window, BOOL revert);
BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR id, const char* text);
BOOL EnableMenuItem(HMENU menu, UINT id, UINT flags);
ULONG_PTR SetClassLongPtrA(HWND window, int index, LONG_PTR value);
HICON LoadIconA(HINSTANCE instance, const char* name);
HBITMAP LoadBitmapA(HINSTANCE instance, const char* name);

BOOL GetMessageA(MSG* message, HWND window, UINT first, UINT last);
BOOL IsDialogMessageA(HWND dialog, MSG* message);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageA(const MSG* message);
void PostQuitMessage(int exitCode);

BOOL WinHelpA(HWND window, const char* helpFile, UINT command, ULONG_PTR data);
UINT WinExec(const char* commandLine, UINT show);
BOOL Beep(DWORD frequency, DWORD milliseconds);
// The three-dimensional control library: Qt draws its controls in the style
// of the desktop, so there is nothing to register; both succeed.
BOOL Ctl3dRegister(HINSTANCE instance);
BOOL Ctl3dAutoSubclass(HINSTANCE instance);

COLORREF GetSysColor(int index);
HBRUSH CreateSolidBrush(COLORREF colour);
BOOL DeleteObject(HGDIOBJ object);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
int SetBkMode(HDC dc, int mode);
COLORREF SetTextColor(HDC dc, COLORREF colour);
int DrawTextA(HDC dc, const char* text, int length, RECT* rect, UINT format);
BOOL DrawFocusRect(HDC dc, const RECT* rect);
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask);
int ImageList_GetImageCount(HIMAGELIST list);
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
