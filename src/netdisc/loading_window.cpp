// The "Loading, please wait..." window (template 117) over the type
// queries of a list load or an import. Its procedure handles nothing.
#include "netdisc/computer_enumeration.h"
#include "platform/windows/windows.h"
#include "resources/dialogs.h"
#include "common/notice_window.h"

namespace corvid {
namespace {

constexpr int kProgressBar = 1068;

INT_PTR LoadingWindowProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class LoadingWindow final : public LoadingDisplay {
 public:
  void Open(HWND owner, DWORD total) override {
    window_.Open(resources::IDD_LOADING, owner, LoadingWindowProc);
    // The bar's range is 16 bits wide.
    Send(PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(total)));
    Send(PBM_SETSTEP, 1, 0);
    Send(PBM_SETPOS, 0, 0);
  }
  void Step() override { Send(PBM_STEPIT, 0, 0); }
  void Close() override { window_.Close(); }

 private:
  void Send(UINT message, WPARAM wParam, LPARAM lParam) {
    SendDlgItemMessageA(window_.handle(), kProgressBar, message, wParam, lParam);
  }
  NoticeWindow window_;
};

}  // namespace

LoadingDisplay& LoadingWindowDisplay() {
  static LoadingWindow window;
  return window;
}

}  // namespace corvid
