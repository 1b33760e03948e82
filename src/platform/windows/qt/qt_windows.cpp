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
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
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
#include "platform/windows/qt/qt_layer.h"

namespace platform::qt {
namespace detail {

QtWindows* layer = nullptr;

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
      case SC_MOVE:
        if (QWindow* window = qdialog->windowHandle()) window->startSystemMove();
        break;
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

void Dialog::FillSystemMenu(QMenu& menu) const {
  menu.clear();
  for (const MenuItem& item : systemMenu) {
    if (item.flags & MF_SEPARATOR) {
      menu.addSeparator();
      continue;
    }
    QAction* action = menu.addAction(item.text);
    bool enabled = (item.flags & (MF_GRAYED | MF_DISABLED)) == 0;
    // Restore follows the window's state, as Windows keeps it.
    if (item.id == SC_RESTORE) enabled = qdialog->isMinimized() || qdialog->isMaximized();
    action->setEnabled(enabled);
    action->setData(item.id);
  }
}

void Dialog::ShowSystemMenu(const QPoint& where) {
  QMenu menu(qdialog);
  FillSystemMenu(menu);
  // Whichever way the item was chosen: mouse, keys or its action.
  QAction* chosen = nullptr;
  QObject::connect(&menu, &QMenu::triggered, [&chosen](QAction* action) { chosen = action; });
  menu.exec(where);
  if (chosen != nullptr) Dispatch(WM_SYSCOMMAND, chosen->data().toUInt(), 0);
}

void Dialog::AddMenuBar() {
  if (menuBar != nullptr) return;
  menuBar = new QMenuBar(qdialog);
  menuBar->setNativeMenuBar(false);
  QString title = qdialog->windowTitle();
  QMenu* menu = menuBar->addMenu(QStringLiteral("&") + title.replace('&', QStringLiteral("&&")));
  QObject::connect(menu, &QMenu::aboutToShow, [this, menu] { FillSystemMenu(*menu); });
  QObject::connect(menu, &QMenu::triggered, [this](QAction* action) {
    if (!destroyed) Dispatch(WM_SYSCOMMAND, action->data().toUInt(), 0);
  });
  clientTop = menuBar->sizeHint().height();
  menuBar->setGeometry(0, 0, qdialog->width(), clientTop);
  for (const auto& control : controls) control->widget->move(control->widget->pos() + QPoint(0, clientTop));
  qdialog->setFixedSize(qdialog->width(), qdialog->height() + clientTop);
  menuBar->show();
}

void Dialog::ShowDefault(const QWidget* focus) {
  const auto* focused = dynamic_cast<const PushButton*>(focus);
  for (const auto& control : controls)
    if (auto* button = dynamic_cast<PushButton*>(control->widget))
      button->SetLooksDefault(focused != nullptr ? button == focused : control->id == defaultId);
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
    // A disabled default button is not pressed by Enter either.
    for (const auto& control : owner_.controls)
      if (control->id == id && !control->widget->isEnabled()) return;
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
    std::unique_ptr<Window> control = MakeControl(c, dialog->qdialog, instance, dialog, radios);
    QWidget* widget = control->widget;
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
    FitText(widget);
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
  dialog->ShowDefault(nullptr);
  // Focus moving to another window leaves the frame where it was.
  QObject::connect(qApp, &QApplication::focusChanged, dialog->qdialog, [dialog](QWidget*, QWidget* now) {
    if (!dialog->destroyed && now != nullptr && now->window() == dialog->qdialog) dialog->ShowDefault(now);
  });
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
  } else if (dialog->qdialog->focusWidget() == nullptr) {
    // No control gets the focus: the dialog keeps it, or Qt would hand it
    // to the first control (a Cancel button that Space would press).
    dialog->qdialog->setFocus(Qt::OtherFocusReason);
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

// How long UpdateWindow waits for a window manager that never shows the
// window, as a hidden or unmanaged display might.
constexpr qint64 kExposeWait = 3000;

BOOL QtWindows::UpdateWindow(HWND window) {
  return OnInterfaceThread([&]() -> BOOL {
    Window* target = Find(window);
    if (target == nullptr) return FALSE;
    // Painted on the screen when this returns, even when the caller then
    // keeps the interface thread busy: a window manager maps a new window in
    // its own time, and what is painted before that is lost.
    QWindow* top = target->widget->window()->windowHandle();
    if (top != nullptr && top->isVisible()) {
      QElapsedTimer waited;
      waited.start();
      while (!top->isExposed() && waited.elapsed() < kExposeWait) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(2);
      }
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    target->widget->repaint();
    QGuiApplication::sync();
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
    const int top = target->dialog == target ? target->dialog->clientTop : 0;
    *rect = RECT{0, 0, target->widget->width(), target->widget->height() - top};
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
    const int top = target->dialog != nullptr ? target->dialog->clientTop : 0;
    if (target->widget->isWindow()) {
      target->widget->move(x, y);
      target->widget->setFixedSize(width, height + top);
    } else {
      target->widget->setGeometry(x, y + top, width, height);
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
          {SC_RESTORE, QStringLiteral("&Restore"), MF_STRING},
          {SC_MOVE, QStringLiteral("&Move"), MF_STRING},
          {SC_SIZE, QStringLiteral("&Size"), (dialog->tmpl->style & WS_THICKFRAME) ? MF_STRING : MF_GRAYED},
          {SC_MINIMIZE, QStringLiteral("Mi&nimize"),
           (dialog->tmpl->style & WS_MINIMIZEBOX) ? MF_STRING : MF_GRAYED},
          {SC_MAXIMIZE, QStringLiteral("Ma&ximize"), (dialog->tmpl->style & WS_MAXIMIZEBOX) ? MF_STRING : MF_GRAYED},
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
    // The program's own items would be out of reach on a Linux desktop,
    // whose window manager draws the title bar and keeps its menu: the
    // window shows its system menu in a menu bar.
    if (!(flags & MF_SEPARATOR)) {
      for (Window* window : live_) {
        auto* dialog = dynamic_cast<Dialog*>(window);
        if (dialog != nullptr && &dialog->systemMenu == menu) dialog->AddMenuBar();
      }
    }
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

namespace {

bool IsPattern(const QString& name) { return name.contains('*') || name.contains('?'); }

// Qt's file dialog with Windows' name field: a pattern typed there (or
// given as the initial name) filters the folder's view instead of naming a
// file.
class WindowsFileDialog final : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;
  QLineEdit* nameField() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

  void Filter(const QString& patterns) {
    if (auto* model = findChild<QFileSystemModel*>()) model->setNameFilters(patterns.split(';', Qt::SkipEmptyParts));
  }

 protected:
  void accept() override {
    QLineEdit* field = nameField();
    if (field != nullptr && IsPattern(field->text())) {
      Filter(field->text());
      return;
    }
    QFileDialog::accept();
  }
};

}  // namespace

BOOL QtWindows::FileDialog(OPENFILENAMEA* request, bool save) {
  return OnInterfaceThread([&]() -> BOOL {
    if (request == nullptr || request->lpstrFile == nullptr || request->nMaxFile == 0) return FALSE;
    // The filter comes as pairs of texts; Qt matches "Text (*.a *.b)" and
    // shows the program's own text in its place.
    QStringList filters;
    QStringList labels;
    for (const char* p = request->lpstrFilter; p != nullptr && *p != '\0';) {
      const char* label = p;
      p += std::strlen(p) + 1;
      if (*p == '\0') break;
      QString patterns = FromText(p).replace(';', ' ');
      QString name = FromText(label);
      labels << name;
      const qsizetype open = name.indexOf('(');
      if (open >= 0) name = name.left(open).trimmed();
      filters << QStringLiteral("%1 (%2)").arg(name, patterns);
      p += std::strlen(p) + 1;
    }
    Window* ownerWindow = Find(request->hwndOwner);
    WindowsFileDialog dialog(ownerWindow != nullptr ? ownerWindow->widget->window() : nullptr,
                             FromText(request->lpstrTitle));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(filters);
    if (request->nFilterIndex >= 1 && static_cast<qsizetype>(request->nFilterIndex) <= filters.size())
      dialog.selectNameFilter(filters[request->nFilterIndex - 1]);
    if (auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
      for (int i = 0; i < combo->count() && i < labels.size(); ++i) combo->setItemText(i, labels[i]);
    }
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
    // The initial name and folder are Windows paths: the dialog opens in the
    // host folder they stand for, the name in its field.
    const std::string initial = request->lpstrFile;
    const size_t cut = initial.find_last_of("\\/:");
    std::string folder = cut == std::string::npos ? std::string() : initial.substr(0, cut + 1);
    if (folder.empty() && request->lpstrInitialDir != nullptr) folder = request->lpstrInitialDir;
    if (!folder.empty()) {
      const QString hostFolder = QString::fromStdString(platform::MapPath(folder));
      if (QFileInfo(hostFolder).isDir()) dialog.setDirectory(hostFolder);
    }
    const QString name = FromText(initial.c_str() + (cut == std::string::npos ? 0 : cut + 1));
    if (IsPattern(name)) {
      dialog.Filter(name);
      if (QLineEdit* field = dialog.nameField()) field->setText(name);
    } else if (!name.isEmpty()) {
      dialog.selectFile(name);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return FALSE;
    // The answer in the Windows form the program keeps.
    const std::string chosen = platform::WindowsPath(dialog.selectedFiles().first().toStdString());
    if (chosen.size() >= request->nMaxFile) return FALSE;
    std::memcpy(request->lpstrFile, chosen.c_str(), chosen.size() + 1);
    const size_t slash = chosen.find_last_of("\\/");
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    request->nFileOffset = static_cast<WORD>(nameStart);
    const size_t dot = chosen.find_last_of('.');
    request->nFileExtension = static_cast<WORD>(dot != std::string::npos && dot >= nameStart ? dot + 1 : 0);
    if (request->lpstrFileTitle != nullptr && request->nMaxFileTitle > 0) {
      CopyText(QString::fromStdString(chosen.substr(nameStart)), request->nMaxFileTitle,
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

}  // namespace detail

using namespace detail;

BaseUnits DialogBaseUnits(const char* font, int pointSize) {
  const QFont face = TemplateFont(font, pointSize);
  const QFontMetrics metrics(face);
  // Windows' rule: the average width of the 52 Latin letters, rounded, and
  // the font's height, its ascent and descent each in whole pixels rounded
  // up as Windows rounds them; rounded to the nearest a line of text would
  // not fit a control one line high.
  const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const QFontMetricsF exact(face);
  return BaseUnits{(width / 26 + 1) / 2, static_cast<int>(std::ceil(exact.ascent()) + std::ceil(exact.descent()))};
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
