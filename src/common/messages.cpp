#include "common/messages.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/windows/windows.h"
#include "resources/strings.h"
#include "common/start_state.h"

namespace corvid {

HCURSOR WaitCursor = nullptr;
HCURSOR NormalCursor = nullptr;

namespace {

constexpr int kMessageBuffer = 800;

int ShowMessage(HWND owner, UINT id, UINT icon, std::va_list args) {
  char format[kMessageBuffer];
  if (LoadStringA(Instance, id, format, kMessageBuffer) == 0) {
    LoadStringA(Instance, resources::IDS_UNKNOWN_ERROR, format, kMessageBuffer);
  }
  // Formatted in full first, so the cut to the box's 800 bytes can respect
  // character boundaries.
  std::va_list measure;
  va_copy(measure, args);
  const int needed = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::vector<char> full(needed > 0 ? static_cast<size_t>(needed) + 1 : 1, '\0');
  if (needed > 0) std::vsnprintf(full.data(), full.size(), format, args);
  const std::string text(platform::Utf8Cut(full.data(), kMessageBuffer - 1));
  return MessageBoxA(owner, text.c_str(), "Error!", MB_OK | icon);
}

}  // namespace

int ShowErrorMessage(HWND owner, UINT id, ...) {
  std::va_list args;
  va_start(args, id);
  const int result = ShowMessage(owner, id, MB_ICONHAND, args);
  va_end(args);
  return result;
}

int ShowWarningMessage(HWND owner, UINT id, ...) {
  std::va_list args;
  va_start(args, id);
  const int result = ShowMessage(owner, id, MB_ICONEXCLAMATION, args);
  va_end(args);
  return result;
}

}  // namespace corvid
