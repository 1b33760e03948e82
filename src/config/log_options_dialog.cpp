#include <string>

#include "config/config_dialogs.h"
#include "common/browse_for_file.h"

namespace corvid {

RunLogOptions LogOptionsCopy;

namespace {

enum : int {
  kPathField = 1029,
  kBrowseButton = 1033,
  kFullLog = 1034,
  kErrorLogOnly = 1035,
  kNoLog = 2036,
  kAppend = 2037,
  kOverwrite = 2038,
  kViewLogButton = 1032,
  kHelpButton = 9,
};

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void TakeRadioButtons(HWND dialog) {
  LogOptionsCopy.appendChoice = Checked(dialog, kAppend) ? 0 : 1;
  LogOptionsCopy.detailLevel = Checked(dialog, kFullLog) ? 0 : Checked(dialog, kErrorLogOnly) ? 1 : 2;
}

std::string FieldText(HWND dialog) {
  char text[261];
  GetDlgItemTextA(dialog, kPathField, text, sizeof text);
  return text;
}

}  // namespace

INT_PTR LogOptionsDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      LogOptionsCopy = RunLogSettings;
      SetDlgItemTextA(dialog, kPathField, LogOptionsCopy.path.c_str());
      CheckDlgButton(dialog,
                     LogOptionsCopy.detailLevel == 0   ? kFullLog
                     : LogOptionsCopy.detailLevel == 1 ? kErrorLogOnly
                                                       : kNoLog,
                     BST_CHECKED);
      CheckDlgButton(dialog, LogOptionsCopy.appendChoice != 0 ? kOverwrite : kAppend, BST_CHECKED);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 1);
      return TRUE;
    case WM_COMMAND:
      // Edit notifications carry their own code; only clicks and menu
      // commands (code 0) take the radio buttons over.
      if (HIWORD(wParam) != 0) return FALSE;
      TakeRadioButtons(dialog);
      switch (LOWORD(wParam)) {
        case IDOK:
          LogOptionsCopy.path = FieldText(dialog);
          RunLogSettings = LogOptionsCopy;
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 1);
          return TRUE;
        case kHelpButton:
          WinHelpA(dialog, Settings.HelpFile.c_str(), HELP_CONTEXT, kLogOptionsHelpContext);
          return TRUE;
        case kBrowseButton: {
          char path[kPathBuffer] = {};
          const std::string proposed = FieldText(dialog);
          proposed.copy(path, kPathBuffer - 1);
          if (BrowseForFile(dialog, "Select Log File", path, 3)) {
            SetDlgItemTextA(dialog, kPathField, path);
            LogOptionsCopy.path = path;
          }
          return TRUE;
        }
        case kViewLogButton: {
          // The path as opened or last picked, not what was typed since;
          // unquoted, blanks and all.
          const std::string command = "Notepad.exe " + LogOptionsCopy.path;
          WinExec(command.c_str(), SW_SHOWDEFAULT);
          return TRUE;
        }
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace corvid
