#include "gather/gather_dialogs.h"

#include "config/settings_store.h"
#include "gather/gather_run.h"
#include "gather/run_log.h"
#include "platform/threads/threads.h"
#include "common/computer_list.h"

namespace corvid {
namespace {

enum : int { kNameList = 1002, kHelpButton = 9, kProgressText = 1025, kProgressBar = 1024 };

// The worker's view of the progress dialog. Every call is a sent message:
// it runs on the interface thread and returns when it was handled there.
class ProgressDialogSink final : public GatherProgress {
 public:
  HWND dialog = nullptr;
  HWND Window() override { return dialog; }
  void SetText(const char* text) override { SetDlgItemTextA(dialog, kProgressText, text); }
  void SetRange(WORD maximum) override {
    SendDlgItemMessageA(dialog, kProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, maximum));
  }
  void SetStep(DWORD step) override { SendDlgItemMessageA(dialog, kProgressBar, PBM_SETSTEP, step, 0); }
  void SetPosition(DWORD position) override { SendDlgItemMessageA(dialog, kProgressBar, PBM_SETPOS, position, 0); }
  // Sent, not posted: the run log is written and the dialog ended before
  // the worker goes on to destroy its readers.
  void Finished() override { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }
};

// One run at a time, and it outlives the dialog: the worker still holds it
// while it tidies up after its last message.
ProgressDialogSink progressSink;

}  // namespace

INT_PTR GatherSelectionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      int added = 0;
      for (const ComputerEntry& entry : ComputerList) {
        if (entry.Selected == 0) continue;
        SendDlgItemMessageA(dialog, kNameList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.Name.c_str()));
        ++added;
      }
      if (added == 0) EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kHelpButton:
          WinHelpA(dialog, Settings.HelpFile.c_str(), HELP_CONTEXT, kGatherSelectionHelpContext);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CLOSE:
      // The close box does nothing: OK, Cancel or Escape end the dialog.
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR GatherProgressDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      cancelRequested = 0;
      progressSink.dialog = dialog;
      workerThread = CreateThread(nullptr, 0, GatherWorker, &progressSink, 0, nullptr);
      // No control takes the focus.
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        CloseHandle(workerThread);
        workerThread = nullptr;
        WriteRunReport();
        EndDialog(dialog, 0);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        // The dialog stays until the worker has seen it and finished.
        cancelRequested = 1;
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace corvid
