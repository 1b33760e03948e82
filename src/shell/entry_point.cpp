#include "shell/entry_point.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/settings_store.h"
#include "gather/gather_run.h"
#include "netdisc/list_file.h"
#include "platform/base/last_error.h"
#include "platform/threads/threads.h"
#include "common/computer_list.h"
#include "common/start_state.h"
#include "common/command_line.h"
#include "shell/main_window.h"
#include "platform/windows/windows.h"

namespace corvid {
namespace {

constexpr const char kInstanceName[] = "Corvid";

// Releases what the process owns at its orderly end.
int EndProcess(HANDLE marker) {
  ComputerList.Clear();
  ListFilePath.clear();
  if (marker != nullptr) CloseHandle(marker);
  return 0;
}

void RunSilentRoad() {
  if (!LoadSettings()) return;
  if (!LoadComputerListFile()) return;
  if (!RunSilentGather()) {
    // The worker was cut off at the time-out and may be anywhere, even in a
    // driver call: end at once rather than tear down what it still uses.
    // The run log is written and closed; the marker goes with the process.
    std::_Exit(0);
  }
}

void RunInteractiveRoad() {
  // Without the three-dimensional look the dialogs just look flatter.
  if (Ctl3dRegister(Instance)) Ctl3dAutoSubclass(Instance);
  HWND mainWindow = CreateMainWindow();
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) {
    if (!IsDialogMessageA(mainWindow, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  DestroyWindow(mainWindow);
}

}  // namespace

int CorvidMain(HINSTANCE instance, const char* commandLine, OpenWindowSystem openWindowSystem) {
  // Another instance running: end at once, touching nothing.
  if (HANDLE running = OpenSemaphoreA(SYNCHRONIZE, FALSE, kInstanceName); running != nullptr) {
    CloseHandle(running);
    return 0;
  }
  HANDLE marker = CreateSemaphoreA(nullptr, 0, 1, kInstanceName);
  // Two starts at the same moment both find no marker; the one whose
  // creation finds it taken is the second and ends as well.
  if (marker != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(marker);
    return 0;
  }

  CompanionProcess = nullptr;
  Instance = instance;
  SilentMode = 0;
  std::string token;
  while (NextCommandLineToken(commandLine, token)) {
    // Byte for byte: "-s" is a file name, not the switch.
    if (token == "-S" || token == "/S") {
      SilentMode = 1;
    } else {
      ListFilePath = token;
    }
  }

  if (SilentMode == 1) {
    RunSilentRoad();
    return EndProcess(marker);
  }

  if (openWindowSystem == nullptr || !openWindowSystem()) {
    std::fprintf(stderr,
                 "corvid: no display to open the main window on (neither DISPLAY nor WAYLAND_DISPLAY "
                 "is set); run \"corvid -S LISTFILE\" to gather without windows\n");
    return EndProcess(marker);
  }
  RunInteractiveRoad();
  return EndProcess(marker);
}

}  // namespace corvid
