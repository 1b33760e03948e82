// Driving the program's dialogs in tests: the Qt window layer on the
// offscreen platform, real mouse and key events on the controls, actions on
// modal dialogs as they open, and a record of what the program asked of the
// desktop (message boxes, help, the text viewer, beeps, file dialogs).
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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

inline void Click(HWND dialog, int id) {
  QWidget* widget = Control(dialog, id);
  if (widget == nullptr) return;
  // Check boxes and radio buttons answer on their mark and caption only,
  // which start at the left edge.
  const bool marked = widget->inherits("QCheckBox") || widget->inherits("QRadioButton");
  const QPoint where = marked ? QPoint(6, widget->height() / 2) : widget->rect().center();
  QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, where);
}

// Replaces the field's text as a user would: select all, then type.
inline void Type(HWND dialog, int id, const std::string& text) {
  auto* edit = qobject_cast<QLineEdit*>(Control(dialog, id));
  if (edit == nullptr) return;
  edit->setFocus();
  edit->selectAll();
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
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Acts on dialogs as they open, by template id; each action once, in the
// order given for that id.
class DialogScript {
 public:
  DialogScript() {
    platform::qt::SetDialogOpenedHook([this](HWND dialog, int id) {
      auto& queue = actions_[id];
      opened_.push_back(id);
      if (queue.empty()) return;
      auto action = std::move(queue.front());
      queue.erase(queue.begin());
      action(dialog);
    });
  }
  ~DialogScript() { platform::qt::SetDialogOpenedHook(nullptr); }
  void When(int templateId, std::function<void(HWND)> action) { actions_[templateId].push_back(std::move(action)); }
  const std::vector<int>& opened() const { return opened_; }

 private:
  std::map<int, std::vector<std::function<void(HWND)>>> actions_;
  std::vector<int> opened_;
};

// What the program asked of the desktop; everything else reaches the layer.
class DesktopRecorder : public platform::WindowsWrapper {
 public:
  struct Box {
    std::string text;
    std::string caption;  // "(none)" when the program gave none
    UINT type;
  };
  DesktopRecorder() : WindowsWrapper(platform::Slot<platform::WindowsService>::Current()), use_(*this) {}

  int MessageBox(HWND, const char* text, const char* caption, UINT type) override {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes.push_back({text != nullptr ? text : "", caption != nullptr ? caption : "(none)", type});
    return IDOK;
  }
  UINT WinExec(const char* commandLine, UINT) override {
    commands.push_back(commandLine);
    return 33;
  }
  BOOL WinHelp(HWND, const char* file, UINT command, ULONG_PTR data) override {
    helps.push_back({file != nullptr ? file : "", command == HELP_CONTEXT ? data : 0});
    return TRUE;
  }
  BOOL Beep(DWORD frequency, DWORD milliseconds) override {
    beeps.push_back({frequency, milliseconds});
    return TRUE;
  }
  // The next file dialog answers `path` (empty: cancelled) and records
  // what it was asked.
  BOOL GetOpenFileName(OPENFILENAMEA* request) override { return Answer(request); }
  BOOL GetSaveFileName(OPENFILENAMEA* request) override { return Answer(request); }

  std::vector<Box> Boxes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes;
  }

  std::vector<Box> boxes;
  std::vector<std::string> commands;
  std::vector<std::pair<std::string, ULONG_PTR>> helps;
  std::vector<std::pair<DWORD, DWORD>> beeps;
  std::string fileAnswer;
  std::vector<std::string> fileTitles;
  std::vector<std::string> fileShown;
  std::vector<DWORD> fileFlags;

 private:
  BOOL Answer(OPENFILENAMEA* request) {
    fileTitles.push_back(request->lpstrTitle != nullptr ? request->lpstrTitle : "");
    fileShown.push_back(request->lpstrFile);
    fileFlags.push_back(request->Flags);
    if (fileAnswer.empty() || fileAnswer.size() >= request->nMaxFile) return FALSE;
    fileAnswer.copy(request->lpstrFile, fileAnswer.size());
    request->lpstrFile[fileAnswer.size()] = '\0';
    return TRUE;
  }
  std::mutex mutex_;
  platform::Override<platform::WindowsService> use_;
};

}  // namespace testing_support
