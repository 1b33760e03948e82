#include <gtest/gtest.h>

#include "resources/strings.h"
#include "common/messages.h"
#include "common/start_state.h"
#include "support/recording_windows.h"

namespace {

// The texts and captions of known ids show in the interactive tests.
TEST(Messages, AnIdWithoutAStringShowsUnknownErrorAndLoadStringCutsWhole) {
  corvid::Instance = resources::ProgramInstance();
  testing_support::RecordingWindows windows;
  EXPECT_EQ(corvid::ShowErrorMessage(nullptr, 9999), IDOK);
  EXPECT_EQ(windows.boxes, std::vector<std::string>{"Error!|Unknown Error|" + std::to_string(MB_OK | MB_ICONHAND)});
  // LoadString cuts on a character boundary and says when there is none.
  char buffer[8];
  EXPECT_EQ(LoadStringA(resources::ProgramInstance(), resources::IDS_COMPLETED, buffer, 8), 7);
  EXPECT_STREQ(buffer, "COMPLET");
  EXPECT_EQ(LoadStringA(resources::ProgramInstance(), 12, buffer, 8), 0);
  EXPECT_STREQ(buffer, "");
}

}  // namespace
