// The modeless notices the interface thread shows while it keeps itself
// busy ("Preparing Data Source...", "Loading, please wait..."): shown and
// painted at once, since no message loop runs to paint them later.
#pragma once

#include "platform/windows/windows.h"

namespace corvid {

class NoticeWindow {
 public:
  void Open(int templateId, HWND owner, DLGPROC procedure);
  void Close();
  HWND handle() const { return window_; }

 private:
  HWND window_ = nullptr;
};

}  // namespace corvid
