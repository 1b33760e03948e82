// The "Preparing Data Source..." window (template 115), shown while the
// default data source is made on the first interactive start.
#include "config/data_source.h"
#include "platform/windows/windows.h"
#include "resources/dialogs.h"
#include "common/notice_window.h"

namespace corvid {
namespace {

// Centred on the screen by its client size.
INT_PTR PreparingWindowProc(HWND window, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  RECT client{};
  GetClientRect(window, &client);
  const int left = GetSystemMetrics(SM_CXSCREEN) / 2 - client.right / 2;
  const int top = GetSystemMetrics(SM_CYSCREEN) / 2 - client.bottom / 2;
  MoveWindow(window, left, top, client.right, client.bottom, FALSE);
  return TRUE;
}

class PreparingWindow final : public PreparingNotice {
 public:
  void Show() override { window_.Open(resources::IDD_PREPARING, nullptr, PreparingWindowProc); }
  void Close() override { window_.Close(); }

 private:
  NoticeWindow window_;
};

}  // namespace

PreparingNotice& PreparingWindowNotice() {
  static PreparingWindow window;
  return window;
}

}  // namespace corvid
