#include "shell/main_window.h"

#include <cstdlib>

#include "config/config_dialogs.h"
#include "config/data_source.h"
#include "config/settings_store.h"
#include "gather/gather_dialogs.h"
#include "gather/gather_run.h"
#include "netdisc/computer_enumeration.h"
#include "netdisc/list_file.h"
#include "platform/threads/threads.h"
#include "resources/dialogs.h"
#include "resources/images.h"
#include "resources/strings.h"
#include "common/computer_list.h"
#include "common/messages.h"
#include "common/start_state.h"
#include "shell/list_files.h"

namespace corvid {

MainWindowRecord MainWindow;
HIMAGELIST ComputerImages = nullptr;

namespace {

enum : int {
  kComputerView = 1002,
  kGoButton = 1003,
  kExportButton = 1004,
  kImportButton = 1013,
  kFreshListButton = 1014,
  kActionCombo = 1068,
  kLogFileButton = 115,
  kHelpButton = 9,
  kExitButton = 109,
  kAboutOk = 201,
  kAboutText = 65534,
};

constexpr int kNameColumnWidth = 150;
constexpr const char* kVersion = "1.01";

HWND View() { return GetDlgItem(MainWindow.dialog, kComputerView); }

void InsertColumns() {
  LVCOLUMNA column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.cx = kNameColumnWidth;
  column.pszText = const_cast<char*>("Computer");
  column.iSubItem = 0;
  SendMessageA(View(), LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
  // The type takes the rest of the control.
  RECT rect{};
  const int width = GetWindowRect(View(), &rect) ? rect.right - rect.left : 443;
  column.cx = width > kNameColumnWidth ? width - kNameColumnWidth : 293;
  column.pszText = const_cast<char*>("Type");
  column.iSubItem = 1;
  SendMessageA(View(), LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
}

void LoadComputerImages() {
  // The index of each image is the ComputerKind it shows: servers share the
  // backup controller's picture.
  static constexpr UINT kBitmaps[] = {resources::IDB_UNKNOWN, resources::IDB_PRIMARY_CONTROLLER,
                                      resources::IDB_SERVER, resources::IDB_SERVER, resources::IDB_WORKSTATION};
  for (UINT id : kBitmaps) {
    HBITMAP bitmap = LoadBitmapA(Instance, MakeIntResource(id));
    ImageList_AddMasked(ComputerImages, bitmap, RGB(0, 255, 0));
    DeleteObject(bitmap);
  }
}

void Initialise(HWND dialog) {
  MainWindow.dialog = dialog;
  InsertColumns();
  SendDlgItemMessageA(dialog, kActionCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Gather Event Logs"));
  SendDlgItemMessageA(dialog, kActionCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Gather Event Logs..."));
  SendDlgItemMessageA(dialog, kActionCombo, CB_SETCURSEL, 0, 0);
  SetClassLongPtrA(dialog, GCLP_HICON,
                   reinterpret_cast<LONG_PTR>(LoadIconA(Instance, MakeIntResource(resources::IDI_PROGRAM))));
  // The cursor current now is the arrow: nothing has changed it yet.
  NormalCursor = LoadCursorA(nullptr, IDC_ARROW);
  WaitCursor = LoadCursorA(nullptr, IDC_WAIT);
  LoadComputerImages();
  if (!LoadSettings()) {
    ShowErrorMessage(dialog, resources::IDS_NOT_INSTALLED);
    std::exit(0);
  }
  if (Settings.DataSource.dataSourceMissing != 0) CreateDefaultDataSource(&PreparingWindowNotice());
  if (Settings.DataSource.DSN.view().empty()) RequireDataSource(dialog);
  if (ListFilePath.empty()) {
    EnumerateNetworkComputers();
  } else {
    LoadComputerListFile();  // an unreadable file leaves an empty list
  }
  RefreshComputerView();
  MainWindow.AboutText = std::string("Corvid ") + kVersion;
}

// Ends a companion tool that still runs; one the user closed is left alone.
void EndCompanionTool() {
  if (CompanionProcess == nullptr) return;
  DWORD exitCode = 0;
  GetExitCodeProcess(CompanionProcess, &exitCode);
  if (exitCode != STILL_ACTIVE) return;
  TerminateProcess(CompanionProcess, 0);
  CloseHandle(CompanionProcess);
  CompanionProcess = nullptr;
}

bool Go(HWND dialog) {
  if (!ReloadDataSourceSettings()) {
    char text[800];
    LoadStringA(Instance, resources::IDS_UNABLE_TO_READ_REGISTRY, text, sizeof text);
    MessageBoxA(dialog, text, nullptr, MB_OK | MB_ICONHAND);
    return false;
  }
  CopySelectionToEntries();
  if (DialogBoxParamA(Instance, MakeIntResource(resources::IDD_GATHER_SELECTION), dialog, GatherSelectionDialog, 0) >
      0) {
    StartGather(dialog);
  }
  return true;
}

INT_PTR Command(HWND dialog, WORD id, WORD code) {
  switch (id) {
    case kGoButton:
      return Go(dialog) ? TRUE : FALSE;
    case kExportButton:
      CopySelectionToEntries();
      ExportComputerList(dialog);
      return TRUE;
    case kImportButton:
      if (ImportComputerList(dialog)) RefreshComputerView();
      return TRUE;
    case kFreshListButton:
      EnumerateNetworkComputers();
      RefreshComputerView();
      return TRUE;
    case kActionCombo:
      if (code == CBN_SELCHANGE) {
        if (SendDlgItemMessageA(dialog, kActionCombo, CB_GETCURSEL, 0, 0) >= 1) {
          DialogBoxParamA(Instance, MakeIntResource(resources::IDD_SETTINGS), dialog, SettingsDialog, 0);
          SendDlgItemMessageA(dialog, kActionCombo, CB_SETCURSEL, 0, 0);
        }
      }
      return TRUE;
    case kLogFileButton:
      DialogBoxParamA(Instance, MakeIntResource(resources::IDD_LOG_OPTIONS), dialog, LogOptionsDialog, 0);
      return TRUE;
    case kHelpButton:
      WinHelpA(dialog, Settings.HelpFile.c_str(), HELP_CONTEXT, kMainWindowHelpContext);
      return TRUE;
    case kExitButton:
      EndCompanionTool();
      SaveSettings();
      PostQuitMessage(0);
      return TRUE;
    default:
      // Escape (IDCANCEL) among them: the main window does not close on it.
      return FALSE;
  }
}

void DrawComputerRow(const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1)) return;
  if ((item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) == 0) return;
  if (item.itemID >= ComputerList.Count()) return;
  const ComputerEntry& entry = ComputerList.At(item.itemID);
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  const COLORREF background = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
  const COLORREF text = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(item.hDC, &item.rcItem, brush);
  DeleteObject(brush);
  ImageList_Draw(ComputerImages, entry.Kind, item.hDC, item.rcItem.left + 2, item.rcItem.top, ILD_TRANSPARENT);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, text);
  const int w0 = static_cast<int>(SendMessageA(item.hwndItem, LVM_GETCOLUMNWIDTH, 0, 0));
  const int w1 = static_cast<int>(SendMessageA(item.hwndItem, LVM_GETCOLUMNWIDTH, 1, 0));
  // DT_VCENTER alone: without DT_SINGLELINE the text keeps to the top.
  RECT name{item.rcItem.left + 30, item.rcItem.top, item.rcItem.left + w0, item.rcItem.bottom};
  DrawTextA(item.hDC, entry.Name.c_str(), -1, &name, DT_VCENTER);
  RECT type{item.rcItem.left + w0 + 10, item.rcItem.top, item.rcItem.left + w0 + w1, item.rcItem.bottom};
  DrawTextA(item.hDC, entry.TypeText.c_str(), -1, &type, DT_VCENTER);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

}  // namespace

void RefreshComputerView() {
  SetCursor(WaitCursor);
  SendMessageA(View(), LVM_DELETEALLITEMS, 0, 0);
  for (size_t i = 0; i < ComputerList.Count(); ++i) {
    LVITEMA item{};
    item.mask = LVIF_PARAM | LVIF_STATE;
    item.iItem = static_cast<int>(i);
    item.lParam = static_cast<LPARAM>(i);
    item.stateMask = LVIS_SELECTED;
    item.state = ComputerList.At(i).Kind != kKindUnknown ? static_cast<UINT>(LVIS_SELECTED) : 0u;
    SendMessageA(View(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  SetCursor(NormalCursor);
}

void CopySelectionToEntries() {
  for (size_t i = 0; i < ComputerList.Count(); ++i) {
    const LRESULT state = SendMessageA(View(), LVM_GETITEMSTATE, i, LVIS_SELECTED);
    ComputerList.At(i).Selected = (state & LVIS_SELECTED) != 0 ? 1 : 0;
  }
}

INT_PTR AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, kAboutText, MainWindow.AboutText.c_str());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) != kAboutOk) return FALSE;
      EndDialog(dialog, 1);
      return TRUE;
    case WM_CLOSE:
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR MainWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      Initialise(dialog);
      return TRUE;
    case WM_COMMAND:
      return Command(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_DRAWITEM:
      DrawComputerRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_SYSCOMMAND:
      // Windows keeps the low four bits of a system command for itself.
      if ((wParam & 0xFFF0) != (kAboutCommand & 0xFFF0)) return FALSE;
      DialogBoxParamA(Instance, MakeIntResource(resources::IDD_ABOUT), dialog, AboutBoxProc, 0);
      return TRUE;
    case WM_CLOSE:
      // Unlike "E&xit", closing does not save the settings.
      EndCompanionTool();
      PostQuitMessage(0);
      return TRUE;
    default:
      return FALSE;
  }
}

HWND CreateMainWindow() {
  loadingDisplay = &LoadingWindowDisplay();
  if (ComputerImages == nullptr) ComputerImages = ImageList_Create(19, 16, ILC_MASK | ILC_COLOR4, 18, 0);
  HWND dialog = CreateDialogParamA(Instance, MakeIntResource(resources::IDD_MAIN), nullptr, MainWindowProc, 0);
  MainWindow.dialog = dialog;
  HMENU menu = GetSystemMenu(dialog, FALSE);
  char about[100];
  LoadStringA(Instance, resources::IDS_ABOUT, about, sizeof about);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kAboutCommand, about);
  EnableMenuItem(menu, SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
  EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
  return dialog;
}

}  // namespace corvid
