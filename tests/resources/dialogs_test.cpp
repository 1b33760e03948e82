// What every dialog template must hold for the window layer to build it;
// where the controls land and what they do is the window layer's tests'.
#include "resources/dialogs.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using namespace resources;

TEST(DialogTemplates, EightWellFormedDialogsEachWithItsOneDefaultButton) {
  // Enter activates the default push button; the progress and helper windows have none.
  const std::map<int, std::vector<int>> defaults = {{100, {9}}, {104, {1032}}, {106, {1}}, {111, {}},
                                                    {112, {1}}, {115, {}},     {117, {}}, {200, {201}}};
  EXPECT_EQ(AllDialogTemplates().size(), defaults.size());
  EXPECT_EQ(FindDialogTemplate(101), nullptr);
  for (const auto& [id, expected] : defaults) {
    SCOPED_TRACE("dialog " + std::to_string(id));
    const DialogTemplate* dialog = FindDialogTemplate(id);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ((dialog->style & WS_VISIBLE) != 0, id == 100) << "only the main window shows at once";
    EXPECT_TRUE((dialog->style & WS_POPUP) && (dialog->style & DS_SETFONT));
    // A caption style without a text would draw an empty title bar.
    EXPECT_EQ((dialog->style & WS_CAPTION) == WS_CAPTION, dialog->caption != nullptr);
    std::set<int> seen;
    std::vector<int> found;
    for (const auto& control : dialog->controls) {
      SCOPED_TRACE("control " + std::to_string(control.id));
      EXPECT_TRUE(control.id == IDC_STATIC || seen.insert(control.id).second) << "ids unique";
      EXPECT_EQ(control.style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
      EXPECT_NE(control.text, nullptr);
      const bool isDefault = control.kind == ControlClass::DefPushButton;
      if (isDefault || control.kind == ControlClass::PushButton) {
        EXPECT_EQ(isDefault, (control.style & 0xF) == BS_DEFPUSHBUTTON);
      }
      if (isDefault) found.push_back(control.id);
    }
    EXPECT_EQ(found, expected);
  }
}

}  // namespace
