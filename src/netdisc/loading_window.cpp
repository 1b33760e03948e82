// The "Loading, please wait..." window (template 117) over the type
// queries of a list load or an import. Its procedure handles nothing.
#include "netdisc/computer_enumeration.h"
#include "platform/windows/windows.h"
#include "resources/dialogs.h"
#include "shell/base/notice_window.h"

namespace corvid {
namespace {

constexpr int kProgressBar = 1068;

INT_PTR LoadingWindowProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class LoadingWindow final : public LoadingDisplay {
 public:
  void Open(HWND owner, DWORD total) override {
    window_ = OpenNoticeWindow(resources::IDD_LOADING, owner, LoadingWindowProc);
    // The bar's range is 16 bits wide.
    SendDlgItemMessageA(window_, kProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(total)));
    SendDlgItemMessageA(window_, kProgressBar, PBM_SETSTEP, 1, 0);
    SendDlgItemMessageA(window_, kProgressBar, PBM_SETPOS, 0, 0);
  }
  void Step() override { SendDlgItemMessageA(window_, kProgressBar, PBM_STEPIT, 0, 0); }
  void Close() override {
    DestroyWindow(window_);
    window_ = nullptr;
  }

 private:
  HWND window_ = nullptr;
};

}  // namespace

LoadingDisplay& LoadingWindowDisplay() {
  static LoadingWindow window;
  return window;
}

}  // namespace corvid
