// Inside the window layer on Qt: what its three files share. qt_windows.cpp
// holds the dialogs, the messages and the service; qt_controls.cpp the
// controls; qt_drawing.cpp owner drawing, GDI objects and image lists.
// Interface thread only, but for QtWindows::OnInterfaceThread itself.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QButtonGroup>
#include <QColor>
#include <QDialog>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QRect>
#include <QString>
#include <QThread>
#include <QCoreApplication>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/base/text.h"
#include "platform/windows/qt/qt_windows.h"
#include "platform/windows/windows.h"

namespace platform::qt::detail {

using namespace platform::dlg;

// MulDiv, rounding half away from zero, as dialog units are converted.
inline int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

inline QString FromText(const char* text) { return text != nullptr ? QString::fromUtf8(text) : QString(); }

// Copies text into a caller's buffer of `max` bytes: at most max - 1 bytes,
// never half a character, terminated. Returns the bytes copied.
inline LRESULT CopyText(const QString& text, WPARAM max, LPARAM buffer) {
  if (buffer == 0 || max == 0) return 0;
  const QByteArray utf8 = text.toUtf8();
  const size_t length =
      platform::Utf8Prefix(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())), max - 1);
  char* out = reinterpret_cast<char*>(buffer);
  std::memcpy(out, utf8.constData(), length);
  out[length] = '\0';
  return static_cast<LRESULT>(length);
}

inline QColor FromColorRef(COLORREF c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
inline COLORREF ToColorRef(const QColor& c) {
  return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()), static_cast<BYTE>(c.blue()));
}
inline QRect FromRect(const RECT& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }
inline RECT ToRect(const QRect& r) { return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

inline QImage ToImage(const PixelImage& image) {
  QImage out(image.width, image.height, QImage::Format_ARGB32);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      out.setPixel(x, y, image.pixels[static_cast<size_t>(y * image.width + x)]);
  return out;
}

// GDI objects: brushes, bitmaps and icons behind their handles.
struct GdiObject {
  enum Kind { Brush, Bitmap, Icon } kind;
  QColor colour;
  QImage image;
};

struct ImageList {
  int cx = 0;
  int cy = 0;
  std::vector<QImage> images;
};

// The device context of one WM_DRAWITEM: valid while the row is drawn.
struct DeviceContext {
  QPainter* painter;
  QColor textColour;
  int backgroundMode = OPAQUE;
};

class Dialog;

// One window handle's target.
class Window {
 public:
  virtual ~Window() = default;
  virtual LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  QWidget* widget = nullptr;
  Dialog* dialog = nullptr;  // the dialog a control belongs to
  int id = 0;
};

// A push button drawn as the default one when its dialog says so: Windows
// moves the default frame with the focus, which Qt's autoDefault would do
// only by taking over Enter as well.
class PushButton final : public QPushButton {
 public:
  using QPushButton::QPushButton;
  void SetLooksDefault(bool looks) {
    if (looks == looksDefault_) return;
    looksDefault_ = looks;
    update();
  }

 protected:
  void initStyleOption(QStyleOptionButton* option) const override {
    QPushButton::initStyleOption(option);
    // The style draws the dark frame only round a bevel inset for it.
    constexpr auto frame = QStyleOptionButton::DefaultButton | QStyleOptionButton::AutoDefaultButton;
    option->features &= ~frame;
    if (looksDefault_) option->features |= frame;
  }

 private:
  bool looksDefault_ = false;
};

struct MenuItem {
  UINT id;
  QString text;
  UINT flags;
};

class DialogWidget;

class Dialog final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Runs the dialog procedure; the default handling of what it leaves.
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  void Command(int controlId, WORD code, HWND control) {
    Dispatch(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(controlId), code), reinterpret_cast<LPARAM>(control));
  }
  void ShowSystemMenu(const QPoint& where);
  // The system menu's items as they stand now, into `menu`.
  void FillSystemMenu(QMenu& menu) const;
  // A menu bar above the client area holding the system menu.
  void AddMenuBar();
  // The default frame on the push button with the focus, else on the
  // default button.
  void ShowDefault(const QWidget* focus);

  DialogWidget* qdialog = nullptr;
  const DialogTemplate* tmpl = nullptr;
  DLGPROC procedure = nullptr;
  bool modal = false;
  bool ended = false;
  bool destroyed = false;
  INT_PTR result = 0;
  int defaultId = IDOK;
  std::vector<std::unique_ptr<Window>> controls;
  std::vector<MenuItem> systemMenu;
  QMenuBar* menuBar = nullptr;
  int clientTop = 0;  // the menu bar's height: where the client area starts
};

class DialogWidget final : public QDialog {
 public:
  DialogWidget(Dialog& owner, QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags), owner_(owner) {}
  bool framed = true;

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (owner_.destroyed || owner_.ended) return;
    owner_.Dispatch(WM_CLOSE, 0, 0);
  }
  // Escape: IDCANCEL to the procedure, which decides.
  void reject() override {
    if (!owner_.destroyed && !owner_.ended) owner_.Command(IDCANCEL, BN_CLICKED, nullptr);
  }
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override {
    if (!owner_.systemMenu.empty()) owner_.ShowSystemMenu(event->globalPos());
  }
  void paintEvent(QPaintEvent* event) override {
    QDialog::paintEvent(event);
    if (framed) return;
    // A caption-less window keeps the dialog frame Windows drew around it.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
  }

 private:
  Dialog& owner_;
};

// The service and its state; touched on the interface thread only.
class QtWindows final : public WindowsService {
 public:
  int MessageBox(HWND owner, const char* text, const char* caption, UINT type) override;
  HCURSOR LoadCursor(HINSTANCE, const char* cursorName) override { return const_cast<char*>(cursorName); }
  HCURSOR SetCursor(HCURSOR cursor) override;
  BOOL GetOpenFileName(OPENFILENAMEA* request) override { return FileDialog(request, false); }
  BOOL GetSaveFileName(OPENFILENAMEA* request) override { return FileDialog(request, true); }
  INT_PTR DialogBoxParam(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure,
                         LPARAM parameter) override;
  HWND CreateDialogParam(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure,
                         LPARAM parameter) override;
  BOOL EndDialog(HWND dialog, INT_PTR result) override;
  BOOL DestroyWindow(HWND window) override;
  LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  HWND GetDlgItem(HWND dialog, int id) override;
  LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL ShowWindow(HWND window, int command) override;
  BOOL UpdateWindow(HWND window) override;
  BOOL EnableWindow(HWND window, BOOL enable) override;
  BOOL IsWindowEnabled(HWND window) override;
  BOOL GetClientRect(HWND window, RECT* rect) override;
  BOOL GetWindowRect(HWND window, RECT* rect) override;
  BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) override;
  int GetSystemMetrics(int index) override;
  HMENU GetSystemMenu(HWND window, BOOL revert) override;
  BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char* text) override;
  BOOL EnableMenuItem(HMENU menu, UINT id, UINT flags) override;
  ULONG_PTR SetClassLongPtr(HWND window, int index, LONG_PTR value) override;
  HICON LoadIcon(HINSTANCE instance, UINT id) override;
  HBITMAP LoadBitmap(HINSTANCE instance, UINT id) override;
  BOOL GetMessage(MSG* message) override;
  void PostQuitMessage(int exitCode) override;
  BOOL IsDialogMessage(HWND, MSG*) override { return FALSE; }
  void DispatchMessage(const MSG*) override {}
  BOOL WinHelp(HWND window, const char* helpFile, UINT command, ULONG_PTR data) override;
  UINT WinExec(const char* commandLine, UINT show) override;
  BOOL Beep(DWORD, DWORD) override {
    return OnInterfaceThread([] {
      QApplication::beep();
      return TRUE;
    });
  }
  COLORREF GetSysColor(int index) override;
  HBRUSH CreateSolidBrush(COLORREF colour) override {
    return new GdiObject{GdiObject::Brush, FromColorRef(colour), {}};
  }
  BOOL DeleteObject(HGDIOBJ object) override {
    auto* gdi = static_cast<GdiObject*>(object);
    if (gdi == nullptr || gdi->kind == GdiObject::Icon) return FALSE;  // icons are shared
    delete gdi;
    return TRUE;
  }
  int FillRect(HDC dc, const RECT* rect, HBRUSH brush) override;
  int SetBkMode(HDC dc, int mode) override;
  COLORREF SetTextColor(HDC dc, COLORREF colour) override;
  int DrawText(HDC dc, const char* text, int length, RECT* rect, UINT format) override;
  BOOL DrawFocusRect(HDC dc, const RECT* rect) override;
  HIMAGELIST ImageListCreate(int cx, int cy, UINT, int, int) override { return new ImageList{cx, cy, {}}; }
  int ImageListAddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask) override;
  int ImageListGetImageCount(HIMAGELIST list) override {
    return list != nullptr ? static_cast<int>(static_cast<ImageList*>(list)->images.size()) : 0;
  }
  BOOL ImageListDraw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) override;

  // Runs f on the interface thread and returns its result.
  template <class F>
  static auto OnInterfaceThread(F f) -> decltype(f()) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) return f();
    decltype(f()) result{};
    QMetaObject::invokeMethod(app, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
  }

  Window* Find(HWND window) const {
    auto* w = static_cast<Window*>(window);
    return live_.count(w) != 0 ? w : nullptr;
  }
  Dialog* FindDialog(HWND window) const { return dynamic_cast<Dialog*>(Find(window)); }
  Window* Control(HWND dialog, int id) const;
  HWND Handle(const QWidget* widget) const {
    auto it = byWidget_.find(widget);
    return it != byWidget_.end() ? it->second : nullptr;
  }
  void Register(Window* window) {
    live_.insert(window);
    byWidget_[window->widget] = window;
  }

  DialogOpenedHook hook;

 private:
  Dialog* Create(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure, bool modal);
  void Initialise(Dialog* dialog, LPARAM parameter);
  void Forget(Dialog* dialog);
  BOOL FileDialog(OPENFILENAMEA* request, bool save);

  std::unordered_set<Window*> live_;
  std::unordered_map<const QWidget*, HWND> byWidget_;
  std::unordered_map<UINT, std::unique_ptr<GdiObject>> icons_;
  bool quit_ = false;
  HCURSOR cursor_ = const_cast<char*>(IDC_ARROW);
};

// The one installed layer.
extern QtWindows* layer;

// Sets a control's text a little narrower when it would overrun the
// control at the dialog's font: the stand-in face runs wider than the one
// the templates were laid out for in places.
void FitText(QWidget* control);

// A control of a dialog from its template line: its widget (a child of
// `host`, not yet placed) and its window. Consecutive radio buttons share
// `radios` until a WS_GROUP starts a new set.
std::unique_ptr<Window> MakeControl(const ControlTemplate& c, QWidget* host, HINSTANCE instance, Dialog* dialog,
                                    QButtonGroup*& radios);

}  // namespace platform::qt::detail
