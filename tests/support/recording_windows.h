// The message boxes a test's code would have shown, as "caption|text|type"
// ("(default)" for no caption), each answered with OK.
#pragma once

#include <string>
#include <vector>

#include "platform/windows/windows.h"

namespace testing_support {

class RecordingWindows : public platform::WindowsService {
 public:
  int MessageBox(HWND, const char* text, const char* caption, UINT type) override {
    boxes.push_back(std::string(caption != nullptr ? caption : "(default)") + "|" + text + "|" + std::to_string(type));
    return IDOK;
  }
  HCURSOR LoadCursor(HINSTANCE, const char*) override { return nullptr; }
  HCURSOR SetCursor(HCURSOR) override { return nullptr; }
  std::vector<std::string> boxes;
  platform::Override<platform::WindowsService> use{*this};
};

}  // namespace testing_support
