#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/windows/windows.h"
#include "resources/strings.h"
#include "common/messages.h"
#include "common/start_state.h"

namespace {

// Records the boxes that would have been shown.
class RecordingWindows : public platform::WindowsService {
 public:
  struct Box {
    std::string text;
    std::string caption;
    UINT type;
  };
  int MessageBox(HWND, const char* text, const char* caption, UINT type) override {
    boxes.push_back({text, caption, type});
    return IDOK;
  }
  HCURSOR LoadCursor(HINSTANCE, const char*) override { return nullptr; }
  HCURSOR SetCursor(HCURSOR) override { return nullptr; }
  std::vector<Box> boxes;
};

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { corvid::Instance = resources::ProgramInstance(); }
  RecordingWindows windows;
  platform::Override<platform::WindowsService> use{windows};
};

// The texts and captions of known ids show in the interactive tests.
TEST_F(MessagesTest, AnIdWithoutAStringShowsUnknownError) {
  EXPECT_EQ(corvid::ShowErrorMessage(nullptr, 9999), IDOK);
  ASSERT_EQ(windows.boxes.size(), 1u);
  EXPECT_EQ(windows.boxes[0].text, "Unknown Error");
  EXPECT_EQ(windows.boxes[0].caption, "Error!");
  EXPECT_EQ(windows.boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONHAND));
}

TEST(LoadString, CutsOnACharacterBoundaryAndSaysWhenThereIsNone) {
  char buffer[8];
  EXPECT_EQ(LoadStringA(resources::ProgramInstance(), resources::IDS_COMPLETED, buffer, 8), 7);
  EXPECT_STREQ(buffer, "COMPLET");
  EXPECT_EQ(LoadStringA(resources::ProgramInstance(), 12, buffer, 8), 0);
  EXPECT_STREQ(buffer, "");
}

}  // namespace
