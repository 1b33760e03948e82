// The window system on Qt 6 Widgets.
//
// A window handle points to a Window of ours: a dialog (QDialog) built from
// a template of the program module, or one of its controls. Dialog
// procedures see what they would see on Windows: WM_INITDIALOG, WM_COMMAND
// with the control id and notification code, WM_CLOSE, WM_DRAWITEM with a
// device context, WM_SYSCOMMAND from the system menu.
//
// Every call runs on the interface thread; a call from another thread is
// carried there and waits until it was handled, as a sent message does. So a
// worker's SendMessage to a dialog runs the dialog procedure on the interface
// thread and returns when it is done, and a message box opened for a worker
// blocks the worker until it is answered. Handles are checked against the
// live windows, so a message to a window that is gone answers 0.
#include "platform/windows/qt/qt_windows.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/base/text.h"
#include "platform/files/paths.h"
#include "platform/windows/qt/help_viewer.h"
#include "platform/windows/qt/text_viewer.h"

namespace platform::qt {
namespace {

using namespace platform::dlg;

// MulDiv, rounding half away from zero, as dialog units are converted.
int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

QString FromText(const char* text) { return text != nullptr ? QString::fromUtf8(text) : QString(); }

// Copies text into a caller's buffer of `max` bytes: at most max - 1 bytes,
// never half a character, terminated. Returns the bytes copied.
LRESULT CopyText(const QString& text, WPARAM max, LPARAM buffer) {
  if (buffer == 0 || max == 0) return 0;
  const QByteArray utf8 = text.toUtf8();
  const size_t length =
      platform::Utf8Prefix(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())), max - 1);
  char* out = reinterpret_cast<char*>(buffer);
  std::memcpy(out, utf8.constData(), length);
  out[length] = '\0';
  return static_cast<LRESULT>(length);
}

QColor FromColorRef(COLORREF c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
COLORREF ToColorRef(const QColor& c) {
  return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()), static_cast<BYTE>(c.blue()));
}
QRect FromRect(const RECT& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }
RECT ToRect(const QRect& r) { return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

QImage ToImage(const PixelImage& image) {
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

QtWindows* layer = nullptr;

// ---- Controls -------------------------------------------------------------

LRESULT Window::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      widget->setWindowTitle(FromText(reinterpret_cast<const char*>(lParam)));
      return TRUE;
    case WM_GETTEXT:
      return CopyText(widget->windowTitle(), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return widget->windowTitle().toUtf8().size();
    default:
      return 0;
  }
}

class StaticControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* label = static_cast<QLabel*>(widget);
    switch (message) {
      case WM_SETTEXT:
        label->setText(FromText(reinterpret_cast<const char*>(lParam)));
        return TRUE;
      case WM_GETTEXT:
        return CopyText(label->text(), wParam, lParam);
      case WM_GETTEXTLENGTH:
        return label->text().toUtf8().size();
      default:
        return 0;
    }
  }
};

class ButtonControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* button = static_cast<QAbstractButton*>(widget);
    switch (message) {
      case WM_SETTEXT:
        button->setText(FromText(reinterpret_cast<const char*>(lParam)));
        return TRUE;
      case WM_GETTEXT:
        return CopyText(button->text(), wParam, lParam);
      case BM_GETCHECK:
        return button->isCheckable() && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
      case BM_SETCHECK: {
        if (!button->isCheckable()) return 0;
        // An exclusive group will not let its checked button go by itself.
        QButtonGroup* group = button->group();
        const bool exclusive = group != nullptr && group->exclusive();
        if (exclusive) group->setExclusive(false);
        button->setChecked(wParam == BST_CHECKED);
        if (exclusive) group->setExclusive(true);
        return 0;
      }
      case BM_CLICK:
        button->click();
        return 0;
      default:
        return 0;
    }
  }
};

class EditControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* edit = static_cast<QLineEdit*>(widget);
    switch (message) {
      case WM_SETTEXT:
        edit->setText(FromText(reinterpret_cast<const char*>(lParam)));
        return TRUE;
      case WM_GETTEXT:
        return CopyText(edit->text(), wParam, lParam);
      case WM_GETTEXTLENGTH:
        return edit->text().toUtf8().size();
      default:
        return 0;
    }
  }
};

class ComboControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* combo = static_cast<QComboBox*>(widget);
    switch (message) {
      case CB_ADDSTRING:
        combo->addItem(FromText(reinterpret_cast<const char*>(lParam)));
        return combo->count() - 1;
      case CB_GETCOUNT:
        return combo->count();
      case CB_GETCURSEL:
        return combo->currentIndex();
      case CB_SETCURSEL: {
        const int index = static_cast<int>(static_cast<intptr_t>(wParam));
        if (index >= combo->count()) return -1;  // CB_ERR
        combo->setCurrentIndex(index);
        return index;
      }
      default:
        return 0;
    }
  }
};

class ListBoxControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* list = static_cast<QListWidget*>(widget);
    switch (message) {
      case LB_ADDSTRING:
        list->addItem(FromText(reinterpret_cast<const char*>(lParam)));
        return list->count() - 1;
      case LB_GETCOUNT:
        return list->count();
      case LB_GETTEXT: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= list->count() || lParam == 0) return -1;  // LB_ERR
        const QByteArray text = list->item(index)->text().toUtf8();
        std::memcpy(reinterpret_cast<char*>(lParam), text.constData(), static_cast<size_t>(text.size()) + 1);
        return text.size();
      }
      default:
        return 0;
    }
  }
};

class ProgressControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case PBM_SETRANGE: {
        const LRESULT previous = MAKELPARAM(static_cast<WORD>(low_), static_cast<WORD>(high_));
        low_ = LOWORD(static_cast<uintptr_t>(lParam));
        high_ = HIWORD(static_cast<uintptr_t>(lParam));
        position_ = std::clamp(position_, low_, std::max(low_, high_));
        Show();
        return previous;
      }
      case PBM_SETSTEP: {
        const int previous = step_;
        step_ = static_cast<int>(wParam);
        return previous;
      }
      case PBM_SETPOS: {
        const int previous = position_;
        position_ = std::clamp(static_cast<int>(wParam), low_, std::max(low_, high_));
        Show();
        return previous;
      }
      case PBM_STEPIT: {
        const int previous = position_;
        position_ += step_;
        // Past the end the bar starts over from the beginning.
        if (position_ > high_) position_ = high_ > low_ ? low_ + (position_ - low_) % (high_ - low_) : low_;
        Show();
        return previous;
      }
      case PBM_GETPOS:
        return position_;
      case PBM_GETRANGE:
        return wParam != 0 ? low_ : high_;
      default:
        return 0;
    }
  }

 private:
  void Show() {
    auto* bar = static_cast<QProgressBar*>(widget);
    // An empty range is an empty bar here, not Qt's busy indicator.
    bar->setRange(0, std::max(1, high_ - low_));
    bar->setValue(position_ - low_);
    // Painted at once: the threads that move the bar often hold the
    // interface thread away from its event loop.
    bar->repaint();
  }
  int low_ = 0;
  int high_ = 100;
  int position_ = 0;
  int step_ = 10;
};

// The report list view: rows without text of their own, drawn by the
// dialog procedure through WM_DRAWITEM.
class ReportView final : public QTreeWidget {
 public:
  explicit ReportView(QWidget* parent) : QTreeWidget(parent) {}
  Window* window = nullptr;

 protected:
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // Selections still pending from the inserts come before anything the
  // user does to the list.
  bool viewportEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

class ListViewControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* view = static_cast<ReportView*>(widget);
    if (message != LVM_INSERTITEMA) ApplySelections();
    switch (message) {
      case LVM_INSERTCOLUMNA: {
        const auto* column = reinterpret_cast<const LVCOLUMNA*>(lParam);
        if (column == nullptr) return -1;
        const int index = std::min(static_cast<int>(wParam), static_cast<int>(titles_.size()));
        titles_.insert(titles_.begin() + index, (column->mask & LVCF_TEXT) ? FromText(column->pszText) : QString());
        widths_.insert(widths_.begin() + index, (column->mask & LVCF_WIDTH) ? column->cx : 50);
        view->setColumnCount(static_cast<int>(titles_.size()));
        view->setHeaderLabels(QStringList(titles_.begin(), titles_.end()));
        for (size_t i = 0; i < widths_.size(); ++i) view->header()->resizeSection(static_cast<int>(i), widths_[i]);
        return index;
      }
      case LVM_GETCOLUMNWIDTH:
        return static_cast<int>(wParam) < view->columnCount() ? view->header()->sectionSize(static_cast<int>(wParam))
                                                               : 0;
      case LVM_INSERTITEMA: {
        const auto* item = reinterpret_cast<const LVITEMA*>(lParam);
        if (item == nullptr) return -1;
        const int index = std::clamp(item->iItem, 0, view->topLevelItemCount());
        auto* row = new QTreeWidgetItem();
        // Fixed rows, high enough for the 16-pixel images beside the text.
        row->setSizeHint(0, QSize(0, std::max(view->fontMetrics().height() + 3, 17)));
        row->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>((item->mask & LVIF_PARAM) ? item->lParam : 0));
        // Rows inserted before the pending selections move them down.
        for (int& pending : toSelect_)
          if (pending >= index) ++pending;
        view->insertTopLevelItem(index, row);
        if ((item->mask & LVIF_STATE) && (item->stateMask & LVIS_SELECTED) && (item->state & LVIS_SELECTED)) {
          // Selected together once the rows are in: one row at a time, the
          // view lays itself out again for each, and a long list takes
          // minutes instead of milliseconds.
          if (toSelect_.empty()) QTimer::singleShot(0, view, [this] { ApplySelections(); });
          toSelect_.push_back(index);
        }
        return index;
      }
      case LVM_DELETEALLITEMS:
        view->clear();
        return TRUE;
      case LVM_GETITEMCOUNT:
        return view->topLevelItemCount();
      case LVM_GETITEMSTATE: {
        const QTreeWidgetItem* row = view->topLevelItem(static_cast<int>(wParam));
        if (row == nullptr) return 0;
        UINT state = row->isSelected() ? static_cast<UINT>(LVIS_SELECTED) : 0u;
        if (view->currentItem() == row) state |= LVIS_FOCUSED;
        return static_cast<LRESULT>(state & static_cast<UINT>(lParam));
      }
      case LVM_SETITEMSTATE: {
        const auto* item = reinterpret_cast<const LVITEMA*>(lParam);
        if (item == nullptr || !(item->stateMask & LVIS_SELECTED)) return FALSE;
        const int index = static_cast<int>(static_cast<intptr_t>(wParam));
        for (int i = 0; i < view->topLevelItemCount(); ++i)
          if (index == -1 || i == index) view->topLevelItem(i)->setSelected((item->state & LVIS_SELECTED) != 0);
        return TRUE;
      }
      default:
        return 0;
    }
  }

  void ApplySelections() {
    if (toSelect_.empty()) return;
    auto* view = static_cast<ReportView*>(widget);
    std::sort(toSelect_.begin(), toSelect_.end());
    QItemSelection selection;
    const int last = view->columnCount() - 1;
    for (size_t i = 0; i < toSelect_.size();) {
      size_t j = i;
      while (j + 1 < toSelect_.size() && toSelect_[j + 1] <= toSelect_[j] + 1) ++j;
      QModelIndex top = view->model()->index(toSelect_[i], 0);
      QModelIndex bottom = view->model()->index(toSelect_[j], std::max(0, last));
      if (top.isValid() && bottom.isValid()) selection.select(top, bottom);
      i = j + 1;
    }
    toSelect_.clear();
    view->selectionModel()->select(selection, QItemSelectionModel::Select);
  }

 private:
  std::vector<QString> titles_;
  std::vector<int> widths_;
  std::vector<int> toSelect_;
};

bool ReportView::viewportEvent(QEvent* event) {
  if (window != nullptr) static_cast<ListViewControl*>(window)->ApplySelections();
  return QTreeWidget::viewportEvent(event);
}

void ReportView::keyPressEvent(QKeyEvent* event) {
  if (window != nullptr) static_cast<ListViewControl*>(window)->ApplySelections();
  QTreeWidget::keyPressEvent(event);
}

void ReportView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  if (window == nullptr || window->dialog == nullptr) return;
  static_cast<ListViewControl*>(window)->ApplySelections();
  DeviceContext dc{painter, palette().color(QPalette::Text)};
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_LISTVIEW;
  item.CtlID = static_cast<UINT>(window->id);
  item.itemID = static_cast<UINT>(index.row());
  item.itemAction = ODA_DRAWENTIRE;
  // The view works out selection per cell; the row is the unit here.
  if (selectionModel() != nullptr && selectionModel()->isRowSelected(index.row(), index.parent()))
    item.itemState |= ODS_SELECTED;
  if ((option.state & QStyle::State_HasFocus) || (hasFocus() && currentIndex().row() == index.row()))
    item.itemState |= ODS_FOCUS;
  item.hwndItem = window;
  item.hDC = &dc;
  // The whole row, both columns: Windows hands the row over in one piece.
  const QRect row(0, option.rect.top(), std::max(viewport()->width(), header()->length()), option.rect.height());
  item.rcItem = ToRect(row);
  item.itemData = static_cast<ULONG_PTR>(index.data(Qt::UserRole).toLongLong());
  painter->save();
  window->dialog->Dispatch(WM_DRAWITEM, static_cast<WPARAM>(window->id), reinterpret_cast<LPARAM>(&item));
  painter->restore();
}

// ---- Dialogs --------------------------------------------------------------

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  const INT_PTR handled = procedure != nullptr ? procedure(this, message, wParam, lParam) : FALSE;
  if (handled != FALSE || destroyed) return handled;
  // What the default dialog procedure does with what the procedure left.
  if (message == WM_CLOSE) {
    QWidget* cancel = nullptr;
    for (const auto& control : controls)
      if (control->id == IDCANCEL) cancel = control->widget;
    if (cancel != nullptr && !cancel->isEnabled()) {
      QApplication::beep();
    } else {
      Command(IDCANCEL, BN_CLICKED, nullptr);
    }
  } else if (message == WM_SYSCOMMAND) {
    switch (wParam & 0xFFF0) {
      case SC_CLOSE: Dispatch(WM_CLOSE, 0, 0); break;
      case SC_MINIMIZE: qdialog->showMinimized(); break;
      case SC_RESTORE: qdialog->showNormal(); break;
      default: break;
    }
  }
  return handled;
}

LRESULT Dialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
      return Window::Handle(message, wParam, lParam);
    default:
      return Dispatch(message, wParam, lParam);
  }
}

void Dialog::ShowSystemMenu(const QPoint& where) {
  QMenu menu(qdialog);
  for (const MenuItem& item : systemMenu) {
    if (item.flags & MF_SEPARATOR) {
      menu.addSeparator();
      continue;
    }
    QAction* action = menu.addAction(item.text);
    action->setEnabled((item.flags & (MF_GRAYED | MF_DISABLED)) == 0);
    action->setData(item.id);
  }
  // Whichever way the item was chosen: mouse, keys or its action.
  QAction* chosen = nullptr;
  QObject::connect(&menu, &QMenu::triggered, [&chosen](QAction* action) { chosen = action; });
  menu.exec(where);
  if (chosen != nullptr) Dispatch(WM_SYSCOMMAND, chosen->data().toUInt(), 0);
}

void DialogWidget::keyPressEvent(QKeyEvent* event) {
  if (owner_.destroyed || owner_.ended) return;
  const int key = event->key();
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
    // A push button with the focus answers Enter; else the default button.
    int id = owner_.defaultId;
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button != nullptr) {
      if (HWND handle = layer->Handle(button); handle != nullptr) id = static_cast<Window*>(handle)->id;
    }
    owner_.Command(id, BN_CLICKED, nullptr);
    return;
  }
  if (key == Qt::Key_Escape) {
    reject();
    return;
  }
  if (key == Qt::Key_Space && event->modifiers() == Qt::AltModifier && !owner_.systemMenu.empty()) {
    owner_.ShowSystemMenu(mapToGlobal(QPoint(0, 0)));
    return;
  }
  QWidget::keyPressEvent(event);
}

QFont TemplateFont(const char* face, int pointSize) {
  QFont font;
  // "MS Sans Serif" is not on Linux: the closest sans faces stand in.
  font.setFamilies({FromText(face), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                    QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
  // Points at Windows' 96 logical dots an inch, whatever the screen says,
  // so that a template has the same size on every display.
  font.setPixelSize(MulDiv(pointSize, 96, 72));
  return font;
}

Qt::WindowFlags FlagsFor(const DialogTemplate& t) {
  Qt::WindowFlags flags = Qt::Dialog;
  if ((t.style & WS_CAPTION) == WS_CAPTION) {
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (t.style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (t.style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
  } else {
    flags |= Qt::FramelessWindowHint;
  }
  if (t.style & DS_SYSMODAL) flags |= Qt::WindowStaysOnTopHint;
  return flags;
}

Dialog* QtWindows::Create(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure, bool modal) {
  const auto* module = static_cast<const ResourceModule*>(instance);
  if (module == nullptr) return nullptr;
  const auto found = module->dialogs.find(templateId);
  if (found == module->dialogs.end() || found->second == nullptr) return nullptr;
  const DialogTemplate& t = *found->second;

  auto* dialog = new Dialog();
  dialog->tmpl = &t;
  dialog->procedure = procedure;
  dialog->modal = modal;
  dialog->dialog = dialog;
  Window* ownerWindow = Find(owner);
  QWidget* parent = ownerWindow != nullptr ? ownerWindow->widget->window() : nullptr;
  dialog->qdialog = new DialogWidget(*dialog, parent, FlagsFor(t));
  dialog->widget = dialog->qdialog;
  dialog->qdialog->framed = (t.style & WS_CAPTION) == WS_CAPTION;
  dialog->qdialog->setWindowTitle(FromText(t.caption));
  dialog->qdialog->setSizeGripEnabled(false);
  const QFont font = TemplateFont(t.font, t.pointSize);
  dialog->qdialog->setFont(font);
  const BaseUnits units = DialogBaseUnits(t.font, t.pointSize);
  auto px = [&](int dlu) { return MulDiv(dlu, units.x, 4); };
  auto py = [&](int dlu) { return MulDiv(dlu, units.y, 8); };
  dialog->qdialog->setFixedSize(px(t.cx), py(t.cy));
  if (modal) dialog->qdialog->setWindowModality(Qt::ApplicationModal);
  Register(dialog);

  QButtonGroup* radios = nullptr;
  for (const ControlTemplate& c : t.controls) {
    std::unique_ptr<Window> control;
    QWidget* widget = nullptr;
    QWidget* host = dialog->qdialog;
    const QString text = FromText(c.text);
    if (c.kind != ControlClass::RadioButton || (c.style & WS_GROUP)) radios = nullptr;
    switch (c.kind) {
      case ControlClass::StaticText: {
        auto* label = new QLabel(text, host);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(((c.style & 0xF) == SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        widget = label;
        control = std::make_unique<StaticControl>();
        break;
      }
      case ControlClass::PushButton:
      case ControlClass::DefPushButton: {
        auto* button = new QPushButton(text, host);
        // Enter is the dialog's to route, as on Windows.
        button->setAutoDefault(false);
        if (c.kind == ControlClass::DefPushButton) {
          button->setDefault(true);
          dialog->defaultId = c.id;
        }
        widget = button;
        control = std::make_unique<ButtonControl>();
        break;
      }
      case ControlClass::CheckBox:
        widget = new QCheckBox(text, host);
        control = std::make_unique<ButtonControl>();
        break;
      case ControlClass::RadioButton: {
        auto* radio = new QRadioButton(text, host);
        radio->setAutoExclusive(false);
        if (radios == nullptr) {
          radios = new QButtonGroup(host);
          radios->setExclusive(true);
        }
        radios->addButton(radio);
        widget = radio;
        control = std::make_unique<ButtonControl>();
        break;
      }
      case ControlClass::GroupBox: {
        auto* group = new QGroupBox(text, host);
        group->setAttribute(Qt::WA_TransparentForMouseEvents);
        widget = group;
        control = std::make_unique<Window>();
        break;
      }
      case ControlClass::Edit: {
        auto* edit = new QLineEdit(host);
        if (c.style & ES_CENTER) edit->setAlignment(Qt::AlignHCenter);
        edit->setFrame((c.style & WS_BORDER) != 0);
        widget = edit;
        control = std::make_unique<EditControl>();
        break;
      }
      case ControlClass::ComboBox:
        widget = new QComboBox(host);
        control = std::make_unique<ComboControl>();
        break;
      case ControlClass::ListBox: {
        auto* list = new QListWidget(host);
        if (c.style & LBS_MULTICOLUMN) {
          list->setFlow(QListView::TopToBottom);
          list->setWrapping(true);
          list->setResizeMode(QListView::Adjust);
        }
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        widget = list;
        control = std::make_unique<ListBoxControl>();
        break;
      }
      case ControlClass::ListView: {
        auto* view = new ReportView(host);
        view->setRootIsDecorated(false);
        view->setIndentation(0);
        view->setUniformRowHeights(true);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSortingEnabled(false);
        view->header()->setSectionsClickable((c.style & LVS_NOSORTHEADER) == 0);
        view->header()->setStretchLastSection(false);
        view->header()->setSectionsMovable(false);
        widget = view;
        control = std::make_unique<ListViewControl>();
        view->window = control.get();
        break;
      }
      case ControlClass::ProgressBar: {
        auto* bar = new QProgressBar(host);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        widget = bar;
        control = std::make_unique<ProgressControl>();
        break;
      }
      case ControlClass::Icon: {
        auto* label = new QLabel(host);
        const UINT iconId = c.text != nullptr && c.text[0] == '#' ? static_cast<UINT>(std::atoi(c.text + 1)) : 0;
        if (auto* icon = static_cast<GdiObject*>(LoadIcon(instance, iconId)); icon != nullptr)
          label->setPixmap(QPixmap::fromImage(icon->image));
        widget = label;
        control = std::make_unique<StaticControl>();
        break;
      }
      case ControlClass::EtchedLine: {
        auto* line = new QFrame(host);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        widget = line;
        control = std::make_unique<Window>();
        break;
      }
    }
    int height = py(c.cy);
    // A combo box's template height is that of its dropped list; closed, it
    // is as high as its font makes it.
    if (c.kind == ControlClass::ComboBox) height = widget->sizeHint().height();
    // An icon control takes the icon's size, whatever the template says.
    if (c.kind == ControlClass::Icon) {
      widget->setGeometry(px(c.x), py(c.y), 32, 32);
    } else if (c.kind == ControlClass::EtchedLine) {
      widget->setGeometry(px(c.x), py(c.y), px(c.cx), 2);
    } else {
      widget->setGeometry(px(c.x), py(c.y), px(c.cx), height);
    }
    if (!(c.style & WS_TABSTOP)) widget->setFocusPolicy(Qt::NoFocus);
    control->widget = widget;
    control->dialog = dialog;
    control->id = c.id;
    Register(control.get());
    HWND handle = control.get();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      QObject::connect(button, &QAbstractButton::clicked, [dialog, handle, id = c.id] {
        if (!dialog->destroyed) dialog->Command(id, BN_CLICKED, handle);
      });
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      QObject::connect(combo, &QComboBox::activated, [dialog, handle, id = c.id] {
        if (!dialog->destroyed) dialog->Command(id, CBN_SELCHANGE, handle);
      });
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      QObject::connect(edit, &QLineEdit::textChanged, [dialog, handle, id = c.id] {
        if (!dialog->destroyed) dialog->Command(id, EN_CHANGE, handle);
      });
    }
    dialog->controls.push_back(std::move(control));
  }
  // Group boxes are frames behind the controls they hold.
  for (const auto& control : dialog->controls)
    if (qobject_cast<QGroupBox*>(control->widget) != nullptr) control->widget->lower();

  // Where the template says, from the screen's corner; centred when the
  // template asks for it or gives no place.
  const QRect screen = QGuiApplication::primaryScreen() != nullptr
                           ? QGuiApplication::primaryScreen()->availableGeometry()
                           : QRect(0, 0, 1024, 768);
  if ((t.style & DS_CENTER) || (t.x == 0 && t.y == 0)) {
    const QRect around = parent != nullptr ? parent->frameGeometry() : screen;
    dialog->qdialog->move(around.center() - QPoint(px(t.cx) / 2, py(t.cy) / 2));
  } else {
    dialog->qdialog->move(screen.topLeft() + QPoint(px(t.x), py(t.y)));
  }
  return dialog;
}

void QtWindows::Initialise(Dialog* dialog, LPARAM parameter) {
  const INT_PTR focus = dialog->Dispatch(WM_INITDIALOG, 0, parameter);
  if (dialog->destroyed || dialog->ended) return;
  if (focus != FALSE) {
    // The first control that takes the focus gets it.
    for (const auto& control : dialog->controls) {
      if (control->widget->focusPolicy() != Qt::NoFocus && control->widget->isEnabled()) {
        control->widget->setFocus(Qt::OtherFocusReason);
        break;
      }
    }
  }
}

void QtWindows::Forget(Dialog* dialog) {
  dialog->destroyed = true;
  for (const auto& control : dialog->controls) {
    live_.erase(control.get());
    byWidget_.erase(control->widget);
  }
  live_.erase(dialog);
  byWidget_.erase(dialog->widget);
  dialog->qdialog->hide();
  // Deleted once whatever is running in it has returned.
  QTimer::singleShot(0, [dialog] {
    delete dialog->qdialog;
    delete dialog;
  });
}

INT_PTR QtWindows::DialogBoxParam(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure,
                                  LPARAM parameter) {
  return OnInterfaceThread([&]() -> INT_PTR {
    Dialog* dialog = Create(instance, templateId, owner, procedure, true);
    if (dialog == nullptr) return -1;
    Initialise(dialog, parameter);
    if (!dialog->ended && !dialog->destroyed) {
      if (hook) {
        HWND handle = dialog;
        QTimer::singleShot(0, dialog->qdialog, [this, handle, templateId] {
          if (Find(handle) != nullptr && hook) hook(handle, templateId);
        });
      }
      dialog->qdialog->exec();
    }
    const INT_PTR result = dialog->result;
    if (!dialog->destroyed) Forget(dialog);
    return result;
  });
}

HWND QtWindows::CreateDialogParam(HINSTANCE instance, int templateId, HWND owner, DLGPROC procedure,
                                  LPARAM parameter) {
  return OnInterfaceThread([&]() -> HWND {
    Dialog* dialog = Create(instance, templateId, owner, procedure, false);
    if (dialog == nullptr) return nullptr;
    Initialise(dialog, parameter);
    if (dialog->destroyed) return nullptr;
    if (dialog->tmpl->style & WS_VISIBLE) dialog->qdialog->show();
    if (hook) hook(dialog, templateId);
    return dialog;
  });
}

BOOL QtWindows::EndDialog(HWND window, INT_PTR result) {
  return OnInterfaceThread([&]() -> BOOL {
    Dialog* dialog = FindDialog(window);
    if (dialog == nullptr) return FALSE;
    dialog->ended = true;
    dialog->result = result;
    if (dialog->modal) {
      dialog->qdialog->done(0);
    } else {
      dialog->qdialog->hide();
    }
    return TRUE;
  });
}

BOOL QtWindows::DestroyWindow(HWND window) {
  return OnInterfaceThread([&]() -> BOOL {
    Dialog* dialog = FindDialog(window);
    if (dialog == nullptr) return FALSE;
    if (dialog->modal && dialog->qdialog->isVisible()) dialog->qdialog->done(0);
    Forget(dialog);
    return TRUE;
  });
}

LRESULT QtWindows::SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return OnInterfaceThread([&]() -> LRESULT {
    Window* target = Find(window);
    return target != nullptr ? target->Handle(message, wParam, lParam) : 0;
  });
}

Window* QtWindows::Control(HWND window, int id) const {
  Dialog* dialog = FindDialog(window);
  if (dialog == nullptr) return nullptr;
  for (const auto& control : dialog->controls)
    if (control->id == id) return control.get();
  return nullptr;
}

HWND QtWindows::GetDlgItem(HWND window, int id) {
  return OnInterfaceThread([&]() -> HWND { return Control(window, id); });
}

LRESULT QtWindows::SendDlgItemMessage(HWND window, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return OnInterfaceThread([&]() -> LRESULT {
    Window* control = Control(window, id);
    return control != nullptr ? control->Handle(message, wParam, lParam) : 0;
  });
}

BOOL QtWindows::ShowWindow(HWND window, int command) {
  return OnInterfaceThread([&]() -> BOOL {
    Window* target = Find(window);
    if (target == nullptr) return FALSE;
    const BOOL wasVisible = target->widget->isVisible();
    target->widget->setVisible(command != SW_HIDE);
    return wasVisible;
  });
}

BOOL QtWindows::UpdateWindow(HWND window) {
  return OnInterfaceThread([&]() -> BOOL {
    Window* target = Find(window);
    if (target == nullptr) return FALSE;
    // The window is painted now, even when the caller then keeps the
    // interface thread busy for a while.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    target->widget->repaint();
    return TRUE;
  });
}

BOOL QtWindows::EnableWindow(HWND window, BOOL enable) {
  return OnInterfaceThread([&]() -> BOOL {
    Window* target = Find(window);
    if (target == nullptr) return FALSE;
    const BOOL wasDisabled = !target->widget->isEnabled();
    target->widget->setEnabled(enable != FALSE);
    return wasDisabled;
  });
}

BOOL QtWindows::IsWindowEnabled(HWND window) {
  return OnInterfaceThread([&]() -> BOOL {
    Window* target = Find(window);
    return target != nullptr && target->widget->isEnabled();
  });
}

BOOL QtWindows::GetClientRect(HWND window, RECT* rect) {
  return OnInterfaceThread([&]() -> BOOL {
    Window* target = Find(window);
    if (target == nullptr || rect == nullptr) return FALSE;
    *rect = RECT{0, 0, target->widget->width(), target->widget->height()};
    return TRUE;
  });
}

BOOL QtWindows::GetWindowRect(HWND window, RECT* rect) {
  return OnInterfaceThread([&]() -> BOOL {
    Window* target = Find(window);
    if (target == nullptr || rect == nullptr) return FALSE;
    QWidget* w = target->widget;
    *rect = w->isWindow() ? ToRect(w->frameGeometry()) : ToRect(QRect(w->mapToGlobal(QPoint(0, 0)), w->size()));
    return TRUE;
  });
}

BOOL QtWindows::MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
  return OnInterfaceThread([&]() -> BOOL {
    Window* target = Find(window);
    if (target == nullptr) return FALSE;
    target->widget->move(x, y);
    if (target->widget->isWindow()) {
      target->widget->setFixedSize(width, height);
    } else {
      target->widget->resize(width, height);
    }
    return TRUE;
  });
}

int QtWindows::GetSystemMetrics(int index) {
  return OnInterfaceThread([&]() -> int {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return 0;
    if (index == SM_CXSCREEN) return screen->geometry().width();
    if (index == SM_CYSCREEN) return screen->geometry().height();
    return 0;
  });
}

HMENU QtWindows::GetSystemMenu(HWND window, BOOL revert) {
  return OnInterfaceThread([&]() -> HMENU {
    Dialog* dialog = FindDialog(window);
    if (dialog == nullptr || !(dialog->tmpl->style & WS_SYSMENU)) return nullptr;
    if (dialog->systemMenu.empty() || revert) {
      dialog->systemMenu = {
          {SC_RESTORE, QStringLiteral("&Restore"), MF_GRAYED},
          {SC_MOVE, QStringLiteral("&Move"), MF_GRAYED},
          {SC_SIZE, QStringLiteral("&Size"), MF_GRAYED},
          {SC_MINIMIZE, QStringLiteral("Mi&nimize"),
           (dialog->tmpl->style & WS_MINIMIZEBOX) ? MF_STRING : MF_GRAYED},
          {SC_MAXIMIZE, QStringLiteral("Ma&ximize"), MF_GRAYED},
          {0, QString(), MF_SEPARATOR},
          {SC_CLOSE, QStringLiteral("&Close\tAlt+F4"), MF_STRING},
      };
    }
    return revert ? nullptr : &dialog->systemMenu;
  });
}

BOOL QtWindows::AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char* text) {
  return OnInterfaceThread([&]() -> BOOL {
    if (menu == nullptr) return FALSE;
    static_cast<std::vector<MenuItem>*>(menu)->push_back({static_cast<UINT>(id), FromText(text), flags});
    return TRUE;
  });
}

BOOL QtWindows::EnableMenuItem(HMENU menu, UINT id, UINT flags) {
  return OnInterfaceThread([&]() -> BOOL {
    if (menu == nullptr) return -1;
    for (MenuItem& item : *static_cast<std::vector<MenuItem>*>(menu)) {
      if (item.id == id && !(item.flags & MF_SEPARATOR)) {
        const UINT previous = item.flags & (MF_GRAYED | MF_DISABLED);
        item.flags = (item.flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
        return static_cast<BOOL>(previous);
      }
    }
    return -1;
  });
}

ULONG_PTR QtWindows::SetClassLongPtr(HWND window, int index, LONG_PTR value) {
  return OnInterfaceThread([&]() -> ULONG_PTR {
    Window* target = Find(window);
    auto* icon = reinterpret_cast<GdiObject*>(value);
    if (target == nullptr || index != GCLP_HICON || icon == nullptr) return 0;
    // Every window of the program shares the class icon.
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(icon->image)));
    target->widget->setWindowIcon(QApplication::windowIcon());
    return 0;
  });
}

HICON QtWindows::LoadIcon(HINSTANCE instance, UINT id) {
  return OnInterfaceThread([&]() -> HICON {
    const auto* module = static_cast<const ResourceModule*>(instance);
    if (module == nullptr) return nullptr;
    const auto found = module->icons.find(id);
    if (found == module->icons.end() || found->second == nullptr) return nullptr;
    auto& icon = icons_[id];
    if (!icon) icon = std::make_unique<GdiObject>(GdiObject{GdiObject::Icon, {}, ToImage(*found->second)});
    return icon.get();
  });
}

HBITMAP QtWindows::LoadBitmap(HINSTANCE instance, UINT id) {
  const auto* module = static_cast<const ResourceModule*>(instance);
  if (module == nullptr) return nullptr;
  const auto found = module->bitmaps.find(id);
  if (found == module->bitmaps.end() || found->second == nullptr) return nullptr;
  return new GdiObject{GdiObject::Bitmap, {}, ToImage(*found->second)};
}

BOOL QtWindows::GetMessage(MSG* message) {
  if (message != nullptr) *message = MSG{};
  if (quit_) return FALSE;
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  return quit_ ? FALSE : TRUE;
}

void QtWindows::PostQuitMessage(int) {
  OnInterfaceThread([this] {
    quit_ = true;
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) dispatcher->wakeUp();
    return 0;
  });
}

int QtWindows::MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  return OnInterfaceThread([&]() -> int {
    Window* ownerWindow = Find(owner);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & 0xF0) {
      case MB_ICONHAND: icon = QMessageBox::Critical; break;
      case MB_ICONQUESTION: icon = QMessageBox::Question; break;
      case MB_ICONEXCLAMATION: icon = QMessageBox::Warning; break;
      case MB_ICONASTERISK: icon = QMessageBox::Information; break;
      default: break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    if ((type & 0xF) == MB_OKCANCEL) buttons = QMessageBox::Ok | QMessageBox::Cancel;
    if ((type & 0xF) == MB_YESNO) buttons = QMessageBox::Yes | QMessageBox::No;
    // Windows' own caption when the program gives none.
    QMessageBox box(icon, caption != nullptr ? FromText(caption) : QStringLiteral("Error"), FromText(text), buttons,
                    ownerWindow != nullptr ? ownerWindow->widget->window() : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    switch (box.exec()) {
      case QMessageBox::Cancel: return IDCANCEL;
      case QMessageBox::Yes: return IDYES;
      case QMessageBox::No: return IDNO;
      default: return IDOK;
    }
  });
}

HCURSOR QtWindows::SetCursor(HCURSOR cursor) {
  return OnInterfaceThread([&]() -> HCURSOR {
    HCURSOR previous = cursor_;
    cursor_ = cursor;
    const bool wait = cursor == IDC_WAIT;
    if (wait && QApplication::overrideCursor() == nullptr) QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!wait) {
      while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
    }
    return previous;
  });
}

BOOL QtWindows::FileDialog(OPENFILENAMEA* request, bool save) {
  return OnInterfaceThread([&]() -> BOOL {
    if (request == nullptr || request->lpstrFile == nullptr || request->nMaxFile == 0) return FALSE;
    // The filter comes as pairs of texts; Qt wants "Text (*.a *.b)".
    QStringList filters;
    for (const char* p = request->lpstrFilter; p != nullptr && *p != '\0';) {
      const char* label = p;
      p += std::strlen(p) + 1;
      if (*p == '\0') break;
      QString patterns = FromText(p).replace(';', ' ');
      QString name = FromText(label);
      const qsizetype open = name.indexOf('(');
      if (open >= 0) name = name.left(open).trimmed();
      filters << QStringLiteral("%1 (%2)").arg(name, patterns);
      p += std::strlen(p) + 1;
    }
    Window* ownerWindow = Find(request->hwndOwner);
    QFileDialog dialog(ownerWindow != nullptr ? ownerWindow->widget->window() : nullptr, FromText(request->lpstrTitle));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(filters);
    if (request->nFilterIndex >= 1 && static_cast<qsizetype>(request->nFilterIndex) <= filters.size())
      dialog.selectNameFilter(filters[request->nFilterIndex - 1]);
    if (save) {
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      if (!(request->Flags & OFN_OVERWRITEPROMPT)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode((request->Flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    }
    // A name typed without extension is used as typed.
    dialog.setDefaultSuffix(QString());
    const QString initial = FromText(request->lpstrFile);
    // A pattern in the name field is a filter on Windows, not a name.
    if (!initial.isEmpty() && !initial.contains('*') && !initial.contains('?')) dialog.selectFile(initial);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return FALSE;
    const QByteArray chosen = dialog.selectedFiles().first().toUtf8();
    if (static_cast<DWORD>(chosen.size()) >= request->nMaxFile) return FALSE;
    std::memcpy(request->lpstrFile, chosen.constData(), static_cast<size_t>(chosen.size()) + 1);
    const qsizetype slash = chosen.lastIndexOf('/');
    request->nFileOffset = static_cast<WORD>(slash + 1);
    const qsizetype dot = chosen.lastIndexOf('.');
    request->nFileExtension = static_cast<WORD>(dot > slash ? dot + 1 : 0);
    if (request->lpstrFileTitle != nullptr && request->nMaxFileTitle > 0) {
      CopyText(QString::fromUtf8(chosen.mid(slash + 1)), request->nMaxFileTitle,
               reinterpret_cast<LPARAM>(request->lpstrFileTitle));
    }
    return TRUE;
  });
}

BOOL QtWindows::WinHelp(HWND window, const char* helpFile, UINT command, ULONG_PTR data) {
  return OnInterfaceThread([&]() -> BOOL {
    if (command == HELP_QUIT) {
      CloseHelp();
      return TRUE;
    }
    Window* owner = Find(window);
    const std::string path = platform::MapPath(helpFile != nullptr ? helpFile : "");
    return ShowHelpTopic(owner != nullptr ? owner->widget->window() : nullptr, path,
                         command == HELP_CONTEXT ? static_cast<unsigned long>(data) : 0)
               ? TRUE
               : FALSE;
  });
}

UINT QtWindows::WinExec(const char* commandLine, UINT) {
  return OnInterfaceThread([&]() -> UINT {
    const std::string line = commandLine != nullptr ? commandLine : "";
    // The program is the first word; the rest, as it stands, is its argument.
    const size_t space = line.find(' ');
    std::string program = line.substr(0, space);
    const size_t slash = program.find_last_of("\\/");
    if (slash != std::string::npos) program.erase(0, slash + 1);
    if (!platform::EqualsIgnoreCase(program, "Notepad.exe") && !platform::EqualsIgnoreCase(program, "Notepad"))
      return 2;  // ERROR_FILE_NOT_FOUND
    const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
    const std::string path = platform::MapPath(argument);
    return OpenInTextViewer(path) ? 33 : 2;
  });
}

COLORREF QtWindows::GetSysColor(int index) {
  return OnInterfaceThread([&]() -> COLORREF {
    const QPalette palette = QApplication::palette();
    switch (index) {
      case COLOR_WINDOW: return ToColorRef(palette.color(QPalette::Base));
      case COLOR_WINDOWTEXT: return ToColorRef(palette.color(QPalette::Text));
      case COLOR_HIGHLIGHT: return ToColorRef(palette.color(QPalette::Highlight));
      case COLOR_HIGHLIGHTTEXT: return ToColorRef(palette.color(QPalette::HighlightedText));
      default: return ToColorRef(palette.color(QPalette::Window));
    }
  });
}

int QtWindows::FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  auto* context = static_cast<DeviceContext*>(dc);
  auto* gdi = static_cast<GdiObject*>(brush);
  if (context == nullptr || rect == nullptr || gdi == nullptr || gdi->kind != GdiObject::Brush) return 0;
  context->painter->fillRect(FromRect(*rect), gdi->colour);
  return 1;
}

int QtWindows::SetBkMode(HDC dc, int mode) {
  auto* context = static_cast<DeviceContext*>(dc);
  if (context == nullptr) return 0;
  const int previous = context->backgroundMode;
  context->backgroundMode = mode;
  return previous;
}

COLORREF QtWindows::SetTextColor(HDC dc, COLORREF colour) {
  auto* context = static_cast<DeviceContext*>(dc);
  if (context == nullptr) return 0xFFFFFFFF;  // CLR_INVALID
  const COLORREF previous = ToColorRef(context->textColour);
  context->textColour = FromColorRef(colour);
  return previous;
}

int QtWindows::DrawText(HDC dc, const char* text, int length, RECT* rect, UINT format) {
  auto* context = static_cast<DeviceContext*>(dc);
  if (context == nullptr || text == nullptr || rect == nullptr) return 0;
  const QString string = length < 0 ? QString::fromUtf8(text) : QString::fromUtf8(text, length);
  int flags = (format & DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
  // DT_VCENTER centres single-line text only; otherwise text starts at the top.
  const bool single = (format & DT_SINGLELINE) != 0;
  flags |= single && (format & DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
  QPainter& painter = *context->painter;
  painter.save();
  painter.setClipRect(FromRect(*rect));
  painter.setPen(context->textColour);
  QRect bounds;
  painter.drawText(FromRect(*rect), flags, single ? QString(string).replace('\n', ' ') : string, &bounds);
  painter.restore();
  return bounds.height();
}

BOOL QtWindows::DrawFocusRect(HDC dc, const RECT* rect) {
  auto* context = static_cast<DeviceContext*>(dc);
  if (context == nullptr || rect == nullptr) return FALSE;
  QPainter& painter = *context->painter;
  painter.save();
  QPen pen(context->textColour, 1, Qt::DotLine);
  painter.setPen(pen);
  painter.drawRect(FromRect(*rect).adjusted(0, 0, -1, -1));
  painter.restore();
  return TRUE;
}

int QtWindows::ImageListAddMasked(HIMAGELIST handle, HBITMAP bitmap, COLORREF mask) {
  auto* list = static_cast<ImageList*>(handle);
  auto* gdi = static_cast<GdiObject*>(bitmap);
  if (list == nullptr || gdi == nullptr || gdi->kind != GdiObject::Bitmap || list->cx <= 0) return -1;
  const int first = static_cast<int>(list->images.size());
  const QRgb transparent = qRgb(mask & 0xFF, (mask >> 8) & 0xFF, (mask >> 16) & 0xFF);
  // One image for every whole cx columns of the bitmap; what is left over
  // at the right is dropped, as the image list does.
  for (int left = 0; left + list->cx <= gdi->image.width(); left += list->cx) {
    QImage image = gdi->image.copy(left, 0, list->cx, list->cy).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if ((image.pixel(x, y) & 0xFFFFFF) == (transparent & 0xFFFFFF)) image.setPixel(x, y, 0);
    list->images.push_back(image);
  }
  return static_cast<int>(list->images.size()) > first ? first : -1;
}

BOOL QtWindows::ImageListDraw(HIMAGELIST handle, int index, HDC dc, int x, int y, UINT) {
  auto* list = static_cast<ImageList*>(handle);
  auto* context = static_cast<DeviceContext*>(dc);
  if (list == nullptr || context == nullptr || index < 0 || index >= static_cast<int>(list->images.size()))
    return FALSE;
  context->painter->drawImage(QPoint(x, y), list->images[static_cast<size_t>(index)]);
  return TRUE;
}

}  // namespace

BaseUnits DialogBaseUnits(const char* font, int pointSize) {
  const QFontMetrics metrics(TemplateFont(font, pointSize));
  // Windows' rule: the average width of the 52 Latin letters, rounded, and
  // the font's height.
  const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return BaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

bool InstallQtWindowSystem(int& argc, char** argv) {
  if (layer != nullptr) return true;
  const char* platformName = std::getenv("QT_QPA_PLATFORM");
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  auto set = [](const char* v) { return v != nullptr && v[0] != '\0'; };
  if (!set(platformName) && !set(display) && !set(wayland)) return false;
  if (QApplication::instance() == nullptr) {
    // Kept for the life of the process, as the windows it serves are.
    static QApplication* application = new QApplication(argc, argv);
    (void)application;
  }
  QApplication::setQuitOnLastWindowClosed(false);
  // The classic look: group boxes with their titles on the frame, sunken
  // fields, the controls the templates were drawn for.
  QApplication::setStyle(QStringLiteral("Windows"));
  layer = new QtWindows();
  Slot<WindowsService>::Exchange(layer);
  return true;
}

QWidget* WidgetOf(HWND window) {
  if (layer == nullptr) return nullptr;
  return QtWindows::OnInterfaceThread([&]() -> QWidget* {
    Window* target = layer->Find(window);
    return target != nullptr ? target->widget : nullptr;
  });
}

HWND WindowOf(const QWidget* widget) {
  if (layer == nullptr) return nullptr;
  return QtWindows::OnInterfaceThread([&]() -> HWND { return layer->Handle(widget); });
}

void SetDialogOpenedHook(DialogOpenedHook hook) {
  if (layer != nullptr) layer->hook = std::move(hook);
}

}  // namespace platform::qt
