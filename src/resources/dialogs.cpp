#include "resources/dialogs.h"

#include <algorithm>

namespace resources {
namespace {

using enum ControlClass;

constexpr const char* kFont = "MS Sans Serif";
constexpr int kPointSize = 8;

// Every control is a visible child; those the user works with take the tab
// stop that a resource compiler gives them by default.
constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kTab = kChild | WS_TABSTOP;

constexpr uint32_t kModal = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION;
// The icon resource every window with the program icon shows.
constexpr const char* kProgramIcon = "#108";

DialogTemplate MainWindow() {
  return {IDD_MAIN, "Ravelin", 55, 49, 315, 239, kFont, kPointSize,
          DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE,
          {
              {1002, ListView, "", 10, 10, 295, 130,
               kTab | WS_BORDER | LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_NOSORTHEADER},
              {1014, PushButton, "&Fresh list", 135, 145, 50, 14, kTab | BS_PUSHBUTTON},
              {1013, PushButton, "&Import list...", 195, 145, 50, 14, kTab | BS_PUSHBUTTON},
              {1004, PushButton, "&Export list...", 255, 145, 50, 15, kTab | BS_PUSHBUTTON},
              {IDC_STATIC, GroupBox, "Action", 10, 165, 295, 40, kChild | BS_GROUPBOX},
              {1068, ComboBox, "", 20, 180, 200, 33, kTab | WS_VSCROLL | CBS_DROPDOWNLIST},
              {1003, PushButton, "&Go", 245, 180, 50, 14, kTab | BS_PUSHBUTTON},
              {115, PushButton, "&Log File...", 135, 215, 50, 15, kTab | BS_PUSHBUTTON},
              {9, DefPushButton, "&Help", 195, 215, 50, 15, kTab | BS_DEFPUSHBUTTON},
              {109, PushButton, "E&xit", 255, 215, 50, 15, kTab | BS_PUSHBUTTON},
          }};
}

// WS_GROUP on the first radio button of each set and on the control after
// it keeps the two sets of automatic radio buttons apart.
DialogTemplate LogOptions() {
  return {IDD_LOG_OPTIONS, "Options", 0, 0, 247, 204, kFont, kPointSize, kModal,
          {
              {IDC_STATIC, GroupBox, "Log File:", 5, 7, 235, 43, kChild | BS_GROUPBOX},
              {1029, Edit, "", 15, 25, 195, 15, kTab | WS_BORDER | ES_AUTOHSCROLL},
              {1033, PushButton, "...", 215, 25, 15, 15, kTab | BS_PUSHBUTTON},
              {IDC_STATIC, GroupBox, "Log Options", 5, 55, 235, 45, kChild | BS_GROUPBOX},
              {1034, RadioButton, "Full Log", 15, 75, 41, 10,
               kTab | WS_GROUP | BS_AUTORADIOBUTTON},
              {1035, RadioButton, "Error Log Only", 95, 75, 61, 10, kTab | BS_AUTORADIOBUTTON},
              {2036, RadioButton, "No Log", 180, 75, 39, 10, kTab | BS_AUTORADIOBUTTON},
              {IDC_STATIC, GroupBox, "Append/Overwrite", 5, 105, 170, 50,
               kChild | BS_GROUPBOX},
              {2037, RadioButton, "Append to Log", 15, 130, 63, 10,
               kTab | WS_GROUP | BS_AUTORADIOBUTTON},
              {2038, RadioButton, "Overwrite Log", 95, 130, 60, 10, kTab | BS_AUTORADIOBUTTON},
              {1032, DefPushButton, "&View Log", 190, 140, 50, 15,
               kTab | WS_GROUP | BS_DEFPUSHBUTTON},
              {1, PushButton, "OK", 70, 180, 50, 14, kTab | BS_PUSHBUTTON},
              {2, PushButton, "Cancel", 130, 180, 50, 14, kTab | BS_PUSHBUTTON},
              {9, PushButton, "&Help", 190, 180, 50, 14, kTab | BS_PUSHBUTTON},
          }};
}

DialogTemplate GatherSelection() {
  return {IDD_GATHER_SELECTION, "Gather Event Logs", 0, 0, 245, 133, kFont, kPointSize,
          kModal | WS_SYSMENU,
          {
              {IDC_STATIC, StaticText, "Gather event logs from computers:", 10, 10, 125, 8,
               kChild | SS_LEFT},
              // Unsorted: the names keep the order of the computer list.
              {1002, ListBox, "", 10, 25, 225, 70,
               kTab | WS_BORDER | WS_VSCROLL | LBS_MULTICOLUMN | LBS_NOINTEGRALHEIGHT},
              {1, DefPushButton, "OK", 65, 110, 50, 14, kTab | BS_DEFPUSHBUTTON},
              {9, PushButton, "&Help", 125, 110, 50, 14, kTab | BS_PUSHBUTTON},
              {2, PushButton, "Cancel", 185, 110, 50, 14, kTab | BS_PUSHBUTTON},
          }};
}

DialogTemplate GatherProgress() {
  return {IDD_GATHER_PROGRESS, "Gathering in progress", 0, 0, 187, 64, kFont, kPointSize,
          kModal,
          {
              {1025, StaticText, "Static", 7, 7, 173, 13, kChild | SS_CENTER},
              {1024, ProgressBar, "", 7, 26, 173, 14, kChild},
              {2, PushButton, "Cancel", 71, 43, 50, 14, kTab | BS_PUSHBUTTON},
          }};
}

DialogTemplate Settings() {
  constexpr uint32_t kNumberField = kTab | WS_BORDER | ES_CENTER | ES_AUTOHSCROLL;
  return {IDD_SETTINGS, "Ravelin Settings", 0, 0, 179, 150, kFont, kPointSize,
          kModal | WS_SYSMENU,
          {
              {IDC_STATIC, GroupBox, "Timeout value (min):", 5, 10, 100, 29,
               kChild | BS_GROUPBOX},
              {1010, Edit, "", 18, 21, 73, 12, kNumberField},
              {IDC_STATIC, GroupBox, "Transaction period (entries):", 5, 40, 100, 29,
               kChild | BS_GROUPBOX},
              {1011, Edit, "", 18, 51, 73, 12, kNumberField},
              {1029, CheckBox, "Clear Logs", 10, 75, 90, 10, kTab | BS_AUTOCHECKBOX},
              {IDC_STATIC, GroupBox, "Load Descriptions from:", 5, 90, 100, 50,
               kChild | BS_GROUPBOX},
              {1030, RadioButton, "Remote Computer", 10, 105, 90, 10,
               kTab | WS_GROUP | BS_AUTORADIOBUTTON},
              {1031, RadioButton, "Local Computer", 10, 120, 90, 10, kTab | BS_AUTORADIOBUTTON},
              {1, DefPushButton, "OK", 120, 15, 50, 14, kTab | WS_GROUP | BS_DEFPUSHBUTTON},
              {2, PushButton, "Cancel", 120, 35, 50, 14, kTab | BS_PUSHBUTTON},
              {57670, PushButton, "&Help", 120, 55, 50, 14, kTab | BS_PUSHBUTTON},
              {1023, PushButton, "&Data source..", 120, 125, 50, 14, kTab | BS_PUSHBUTTON},
          }};
}

// The two helper windows have a frame but no caption, and are shown by the
// code that opens them, so they are not visible at creation.
DialogTemplate Preparing() {
  return {IDD_PREPARING, nullptr, 0, 0, 141, 42, kFont, kPointSize,
          DS_SETFONT | DS_MODALFRAME | WS_POPUP,
          {
              {IDC_STATIC, Icon, kProgramIcon, 7, 7, 20, 20, kChild | SS_ICON},
              {IDC_STATIC, StaticText, "Ravelin\nPreparing Data Source...", 39, 7, 95, 28,
               kChild | SS_LEFT},
          }};
}

DialogTemplate Loading() {
  return {IDD_LOADING, nullptr, 0, 0, 187, 54, kFont, kPointSize,
          DS_SETFONT | DS_MODALFRAME | WS_POPUP,
          {
              {IDC_STATIC, Icon, kProgramIcon, 7, 7, 20, 20, kChild | SS_ICON},
              {IDC_STATIC, StaticText, "Loading, please wait...", 27, 7, 153, 17,
               kChild | SS_CENTER},
              {1068, ProgressBar, "", 7, 33, 173, 14, kChild},
          }};
}

// Only the OK button's place is fixed; the rest is laid out around it. The
// program sets the text of 65534 at run time.
DialogTemplate About() {
  return {IDD_ABOUT, "About Corvid", 0, 0, 183, 92, kFont, kPointSize,
          DS_SETFONT | DS_SYSMODAL | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION,
          {
              {IDC_STATIC, GroupBox, "", 7, 3, 169, 66, kChild | BS_GROUPBOX},
              {IDC_STATIC, Icon, kProgramIcon, 15, 13, 20, 20, kChild | SS_ICON},
              {65534, StaticText, "", 40, 13, 128, 20, kChild | SS_CENTER},
              {IDC_STATIC, EtchedLine, "", 15, 38, 153, 1, kChild | SS_ETCHEDHORZ},
              {IDC_STATIC, StaticText,
               "Event log gathering for Windows networks\nUpdates: https://corvid.invalid/updates",
               15, 43, 153, 20, kChild | SS_CENTER},
              {201, DefPushButton, "OK", 67, 74, 50, 14, kTab | BS_DEFPUSHBUTTON},
          }};
}

}  // namespace

const std::vector<DialogTemplate>& AllDialogTemplates() {
  static const std::vector<DialogTemplate> templates = {
      MainWindow(), LogOptions(), GatherSelection(), GatherProgress(),
      Settings(),   Preparing(),  Loading(),         About(),
  };
  return templates;
}

const DialogTemplate* FindDialogTemplate(int id) {
  const auto& templates = AllDialogTemplates();
  auto it = std::find_if(templates.begin(), templates.end(),
                         [id](const DialogTemplate& t) { return t.id == id; });
  return it == templates.end() ? nullptr : &*it;
}

}  // namespace resources
