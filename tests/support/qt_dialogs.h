// Driving the program's dialogs on the offscreen platform with real input
// events, and a record of what the program asked of the desktop.
#pragma once

#include <QTest>
#include <QtWidgets>
#include <functional>
#include <map>

#include "platform/windows/qt/qt_windows.h"
#include "platform/windows/windows.h"

namespace testing_support {

// Once per test program: the offscreen platform, the layer installed.
inline void EnsureQtWindows() {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "corvid-test";
  static char* argv[] = {name, nullptr};
  if (!platform::qt::InstallQtWindowSystem(argc, argv)) std::abort();
}

inline QWidget* Control(HWND dialog, int id) { return platform::qt::WidgetOf(GetDlgItem(dialog, id)); }
inline bool Shown(HWND window) { return platform::qt::WidgetOf(window) && platform::qt::WidgetOf(window)->isVisible(); }

inline void Click(HWND dialog, int id) {
  QWidget* widget = Control(dialog, id);
  if (widget == nullptr) return;
  // Check boxes and radio buttons answer on their mark and caption only.
  const bool marked = widget->inherits("QCheckBox") || widget->inherits("QRadioButton");
  QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, marked ? QPoint(6, widget->height() / 2) : widget->rect().center());
}

inline void Click(HWND dialog, std::initializer_list<int> ids) {
  for (int id : ids) Click(dialog, id);
}

// Replaces the field's text as a user would: select all, then type.
inline void Type(HWND dialog, int id, const std::string& text) {
  QWidget* edit = Control(dialog, id);
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, QString::fromStdString(text));
}

inline void Key(HWND dialog, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(platform::qt::WidgetOf(dialog), key, modifiers);
}

inline std::string Text(HWND dialog, int id) {
  char text[1024];
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

// Runs the interface thread's events until `done` holds or time is up.
inline bool PumpUntil(const std::function<bool()>& done, int limitMs = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

// Acts on dialogs as they open, by template id; each action once, in order.
class DialogScript {
 public:
  DialogScript() {
    platform::qt::SetDialogOpenedHook([this](HWND dialog, int id) {
      opened.push_back(id);
      if (auto& queue = actions_[id]; !queue.empty()) {
        auto action = std::move(queue.front());
        queue.erase(queue.begin());
        action(dialog);
      }
    });
  }
  ~DialogScript() { platform::qt::SetDialogOpenedHook(nullptr); }
  void When(int templateId, std::function<void(HWND)> action) { actions_[templateId].push_back(std::move(action)); }
  std::vector<int> opened;

 private:
  std::map<int, std::vector<std::function<void(HWND)>>> actions_;
};

// What the program asked of the desktop, in order, one line a request;
// everything else reaches the layer.
class DesktopRecorder : public platform::WindowsWrapper {
 public:
  DesktopRecorder() : WindowsWrapper(platform::Slot<platform::WindowsService>::Current()), use_(*this) {}
  int MessageBox(HWND, const char* text, const char* caption, UINT type) override {
    return Ask("box [" + std::string(caption ? caption : "(none)") + "] " + text + " " + std::to_string(type), IDOK);
  }
  UINT WinExec(const char* commandLine, UINT) override { return Ask("run " + std::string(commandLine), 33); }
  BOOL WinHelp(HWND, const char* file, UINT command, ULONG_PTR data) override {
    return Ask("help " + std::string(file ? file : "") + " " + std::to_string(command == HELP_CONTEXT ? data : 0), TRUE);
  }
  BOOL Beep(DWORD frequency, DWORD ms) override { return Ask("beep " + std::to_string(frequency) + " " + std::to_string(ms), TRUE); }
  // File dialogs answer `fileAnswer` (empty: cancelled).
  BOOL GetOpenFileName(OPENFILENAMEA* request) override { return Answer(request); }
  BOOL GetSaveFileName(OPENFILENAMEA* request) override { return Answer(request); }
  std::vector<std::string> asked;
  std::string fileAnswer;

 private:
  int Ask(std::string request, int answer) { return asked.push_back(std::move(request)), answer; }
  BOOL Answer(OPENFILENAMEA* r) {
    asked.push_back("file " + std::string(r->lpstrTitle ? r->lpstrTitle : "") + "|" + r->lpstrFile + "|" + std::to_string(r->Flags));
    if (fileAnswer.empty() || fileAnswer.size() >= r->nMaxFile) return FALSE;
    std::snprintf(r->lpstrFile, r->nMaxFile, "%s", fileAnswer.c_str());
    return TRUE;
  }
  platform::Override<platform::WindowsService> use_;
};

}  // namespace testing_support
