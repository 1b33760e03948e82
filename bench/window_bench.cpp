// What the window layer costs the interactive program.
//
// 1. A sent message from a worker thread: the gather sends its progress
//    (text, range, step, position) once per bufferful, and each send waits
//    for the interface thread. Prints round trips per second.
// 2. The main window's list: RefreshComputerView over N computers, and one
//    full paint of the window, every row drawn through WM_DRAWITEM.
// Usage: window_bench [computers]   (default 2000), on QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QEventLoop>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench_memory.h"
#include "platform/windows/qt/qt_windows.h"
#include "resources/dialogs.h"
#include "resources/strings.h"
#include "common/computer_list.h"
#include "common/start_state.h"
#include "shell/main_window.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

INT_PTR Quiet(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

int main(int argc, char** argv) {
  const long computers = argc > 1 ? std::atol(argv[1]) : 2000;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!platform::qt::InstallQtWindowSystem(argc, argv)) return 1;
  corvid::Instance = resources::ProgramInstance();

  HWND progress = CreateDialogParamA(corvid::Instance, MakeIntResource(resources::IDD_GATHER_PROGRESS), nullptr,
                                     Quiet, 0);
  constexpr long kSends = 20000;
  const auto sendStart = Clock::now();
  // The interface thread sleeps in its loop between messages, as in a
  // modal dialog.
  QEventLoop loop;
  std::thread worker([&] {
    for (long i = 0; i < kSends; ++i) SendDlgItemMessageA(progress, 1024, PBM_SETPOS, i & 0xFF, 0);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  const double sendSeconds = Seconds(sendStart);
  std::printf("sent progress messages from a worker: %.0f round trips/s (%.1f us each)\n", kSends / sendSeconds,
              sendSeconds / kSends * 1e6);
  DestroyWindow(progress);

  const char* kinds[] = {"Windows NT Primary Domain Controller (4.0)", "Windows NT Server (4.0)",
                         "Windows NT Workstation (4.0)", "Unknown"};
  for (long i = 0; i < computers; ++i) {
    corvid::ComputerEntry entry = corvid::MakeComputerEntry("WS" + std::to_string(i));
    entry.TypeText = kinds[i % 4];
    entry.Kind = static_cast<corvid::ComputerKind>(i % 4 == 3 ? 0 : 1 + i % 4);
    corvid::ComputerList.Append(entry);
  }
  // A machine of the bench's own, installed, with an empty list file: the
  // window starts with nothing, and the list is filled here.
  char folder[] = "/tmp/corvid-window-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  ::setenv("CORVID_HOME", folder, 1);
  const std::string base = folder;
  FILE* registry = std::fopen((base + "/registry.reg").c_str(), "w");
  FILE* list = std::fopen((base + "/empty.imp").c_str(), "w");
  if (registry == nullptr || list == nullptr) return 1;
  std::fputs("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qentro\\Corvid\\CurrentVersion]\n"
             "\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"Ravelin\"\n\n",
             registry);
  std::fclose(registry);
  std::fclose(list);
  corvid::ListFilePath = base + "/empty.imp";
  std::vector<corvid::ComputerEntry> entries(corvid::ComputerList.begin(), corvid::ComputerList.end());
  corvid::CreateMainWindow();
  for (auto& entry : entries) corvid::ComputerList.Append(entry);
  const auto refreshStart = Clock::now();
  corvid::RefreshComputerView();
  const double refresh = Seconds(refreshStart);
  QWidget* window = platform::qt::WidgetOf(corvid::MainWindow.dialog);
  const auto paintStart = Clock::now();
  constexpr int kPaints = 50;
  for (int i = 0; i < kPaints; ++i) window->grab();
  const double paint = Seconds(paintStart) / kPaints;
  std::printf("list of %ld computers: refresh %.1f ms, one paint of the window %.2f ms, peak RSS %ld kB\n",
              computers, refresh * 1e3, paint * 1e3, bench::StatusKib("VmHWM"));
  DestroyWindow(corvid::MainWindow.dialog);
  std::error_code ignored;
  std::filesystem::remove_all(base, ignored);
  return 0;
}
