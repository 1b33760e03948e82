#include "config/config_dialogs.h"
#include "config/data_source.h"
#include "config/setting_numbers.h"
#include "platform/threads/threads.h"
#include "common/messages.h"
#include "common/start_state.h"
#include "resources/strings.h"

namespace corvid {
namespace {

enum : int {
  kTimeOutField = 1010,
  kTransactionField = 1011,
  kClearLogs = 1029,
  kRemoteComputer = 1030,
  kLocalComputer = 1031,
  kHelpButton = 57670,
  kDataSourceButton = 1023,
};

// Up to 259 characters of a field, as one number; "Invalid value" when it
// is not one, and the dialog stays open.
bool ReadNumberField(HWND dialog, int id, DWORD& out) {
  char text[260];
  GetDlgItemTextA(dialog, id, text, sizeof text);
  if (ReadSettingNumber(text, out)) return true;
  ShowWarningMessage(dialog, resources::IDS_INVALID_VALUE);
  return false;
}

void Accept(HWND dialog) {
  DWORD number = 0;
  if (!ReadNumberField(dialog, kTimeOutField, number)) return;
  // Taken at once: a bad transaction period below leaves the new time-out
  // in memory, where a later save finds it.
  Settings.TimeOut = number;
  if (!ReadNumberField(dialog, kTransactionField, number)) return;
  Settings.TransactionPeriod = number;
  Settings.EraseLogs = IsDlgButtonChecked(dialog, kClearLogs) == BST_CHECKED ? 1 : 0;
  Settings.LoadDescriptions = IsDlgButtonChecked(dialog, kRemoteComputer) == BST_CHECKED ? 1 : 0;
  // The companion tool may have chosen another data source meanwhile.
  ReloadDataSourceSettings();
  SaveSettings();
  EndDialog(dialog, 1);
}

void StartCompanionTool(HWND dialog) {
  if (CompanionProcess != nullptr) {
    DWORD exitCode = 0;
    GetExitCodeProcess(CompanionProcess, &exitCode);
    if (exitCode == STILL_ACTIVE) {
      Beep(400, 100);
      return;
    }
    CloseHandle(CompanionProcess);
    CompanionProcess = nullptr;
  }
  LaunchDataSourceTool(dialog);
}

}  // namespace

INT_PTR SettingsDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // Unsigned, so a stored -5 shows as 4294967291.
      SetDlgItemInt(dialog, kTimeOutField, Settings.TimeOut, FALSE);
      SetDlgItemInt(dialog, kTransactionField, Settings.TransactionPeriod, FALSE);
      CheckDlgButton(dialog, kClearLogs, Settings.EraseLogs != 0 ? BST_CHECKED : BST_UNCHECKED);
      CheckRadioButton(dialog, kRemoteComputer, kLocalComputer,
                       Settings.LoadDescriptions != 0 ? kRemoteComputer : kLocalComputer);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          Accept(dialog);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 1);
          return TRUE;
        case kHelpButton:
          WinHelpA(dialog, Settings.HelpFile.c_str(), HELP_CONTEXT, kSettingsHelpContext);
          return TRUE;
        case kDataSourceButton:
          StartCompanionTool(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace corvid
