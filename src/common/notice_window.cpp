#include "common/notice_window.h"

#include "common/start_state.h"

namespace corvid {

void NoticeWindow::Open(int templateId, HWND owner, DLGPROC procedure) {
  window_ = CreateDialogParamA(Instance, MakeIntResource(static_cast<UINT>(templateId)), owner, procedure, 0);
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
}

void NoticeWindow::Close() {
  DestroyWindow(window_);
  window_ = nullptr;
}

}  // namespace corvid
