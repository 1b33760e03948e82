// Dialog templates as the window layer reads them: what a Win32 dialog
// resource holds (caption, size and font of the dialog, and for every control
// its id, class, text, rectangle in dialog units and style), as plain data.
#pragma once

#include <cstdint>
#include <vector>

namespace platform::dlg {

// Win32 style bits, under their Win32 names and with their Win32 values, so
// that a table reads like the resource script it stands for.
inline constexpr uint32_t WS_POPUP = 0x80000000;
inline constexpr uint32_t WS_CHILD = 0x40000000;
inline constexpr uint32_t WS_VISIBLE = 0x10000000;
inline constexpr uint32_t WS_CAPTION = 0x00C00000;
inline constexpr uint32_t WS_BORDER = 0x00800000;
inline constexpr uint32_t WS_VSCROLL = 0x00200000;
inline constexpr uint32_t WS_SYSMENU = 0x00080000;
inline constexpr uint32_t WS_THICKFRAME = 0x00040000;
inline constexpr uint32_t WS_GROUP = 0x00020000;
inline constexpr uint32_t WS_MINIMIZEBOX = 0x00020000;
inline constexpr uint32_t WS_MAXIMIZEBOX = 0x00010000;
inline constexpr uint32_t WS_TABSTOP = 0x00010000;

inline constexpr uint32_t DS_SYSMODAL = 0x0002;
inline constexpr uint32_t DS_SETFONT = 0x0040;
inline constexpr uint32_t DS_MODALFRAME = 0x0080;
inline constexpr uint32_t DS_CENTER = 0x0800;

inline constexpr uint32_t BS_PUSHBUTTON = 0x0000;
inline constexpr uint32_t BS_DEFPUSHBUTTON = 0x0001;
inline constexpr uint32_t BS_AUTOCHECKBOX = 0x0003;
inline constexpr uint32_t BS_GROUPBOX = 0x0007;
inline constexpr uint32_t BS_AUTORADIOBUTTON = 0x0009;

inline constexpr uint32_t SS_LEFT = 0x0000;
inline constexpr uint32_t SS_CENTER = 0x0001;
inline constexpr uint32_t SS_ICON = 0x0003;
inline constexpr uint32_t SS_ETCHEDHORZ = 0x0010;

inline constexpr uint32_t ES_CENTER = 0x0001;
inline constexpr uint32_t ES_AUTOHSCROLL = 0x0080;

inline constexpr uint32_t CBS_DROPDOWNLIST = 0x0003;

inline constexpr uint32_t LBS_NOINTEGRALHEIGHT = 0x0100;
inline constexpr uint32_t LBS_MULTICOLUMN = 0x0200;

inline constexpr uint32_t LVS_REPORT = 0x0001;
inline constexpr uint32_t LVS_OWNERDRAWFIXED = 0x0400;
inline constexpr uint32_t LVS_NOSORTHEADER = 0x8000;

// The id of static controls that the program never addresses.
inline constexpr int IDC_STATIC = -1;

enum class ControlClass {
  StaticText,
  PushButton,
  DefPushButton,
  CheckBox,
  RadioButton,
  GroupBox,
  Edit,
  ComboBox,
  ListBox,
  ListView,
  ProgressBar,
  Icon,
  EtchedLine,
};

struct ControlTemplate {
  int id;
  ControlClass kind;
  // For an icon, the icon resource in Win32's ordinal form ("#108").
  const char* text;
  int x, y, cx, cy;  // dialog units
  uint32_t style;    // complete window style, WS_CHILD included
};

struct DialogTemplate {
  int id;
  const char* caption;  // nullptr when the dialog has no caption
  int x, y;             // dialog units; 0, 0 when placed by the program
  int cx, cy;           // client area, dialog units
  const char* font;
  int pointSize;
  uint32_t style;
  std::vector<ControlTemplate> controls;
};

}  // namespace platform::dlg
