#include "shell/base/notice_window.h"

#include "shell/base/start_state.h"

namespace corvid {

HWND OpenNoticeWindow(int templateId, HWND owner, DLGPROC procedure) {
  HWND window = CreateDialogParamA(Instance, MakeIntResource(static_cast<UINT>(templateId)), owner, procedure, 0);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return window;
}

}  // namespace corvid
