#include "platform/windows/windows.h"

#include <cstdio>
#include <cstring>

#include "platform/base/text.h"

namespace platform {
namespace {

class ConsoleWindows final : public WindowsService {
 public:
  int MessageBox(HWND, const char* text, const char* caption, UINT) override {
    std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "",
                 text != nullptr ? text : "");
    return IDOK;
  }
  HCURSOR LoadCursor(HINSTANCE, const char* cursorName) override {
    return const_cast<char*>(cursorName);  // an id stands for itself
  }
  HCURSOR SetCursor(HCURSOR cursor) override {
    HCURSOR previous = current_;
    current_ = cursor;
    return previous;
  }

 private:
  HCURSOR current_ = nullptr;
};

}  // namespace

WindowsService& WindowsService::Default() {
  static ConsoleWindows* windows = new ConsoleWindows();
  return *windows;
}

}  // namespace platform

using platform::Slot;
using platform::WindowsService;

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  return Slot<WindowsService>::Current().MessageBox(owner, text, caption, type);
}
HCURSOR LoadCursorA(HINSTANCE instance, const char* cursorName) {
  return Slot<WindowsService>::Current().LoadCursor(instance, cursorName);
}
HCURSOR SetCursor(HCURSOR cursor) { return Slot<WindowsService>::Current().SetCursor(cursor); }
BOOL GetOpenFileNameA(OPENFILENAMEA* request) { return Slot<WindowsService>::Current().GetOpenFileName(request); }
BOOL GetSaveFileNameA(OPENFILENAMEA* request) { return Slot<WindowsService>::Current().GetSaveFileName(request); }

int LoadStringA(HINSTANCE instance, UINT id, char* buffer, int bufferMax) {
  if (instance == nullptr || buffer == nullptr || bufferMax <= 0) return 0;
  const auto* module = static_cast<const platform::ResourceModule*>(instance);
  const auto it = module->strings.find(id);
  if (it == module->strings.end()) {
    buffer[0] = '\0';
    return 0;
  }
  const size_t length = platform::Utf8Prefix(it->second, static_cast<size_t>(bufferMax) - 1);
  std::memcpy(buffer, it->second.data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}
