// What every dialog template must hold for the window layer to build it;
// the controls' texts and ids are exercised by the interactive tests.
#include "resources/dialogs.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>
#include <utility>

namespace {

using resources::ControlClass;
using resources::ControlTemplate;
using resources::DialogTemplate;
using resources::FindDialogTemplate;

const ControlTemplate* FindControl(const DialogTemplate& dialog, int id) {
  for (const auto& control : dialog.controls)
    if (control.id == id) return &control;
  return nullptr;
}

TEST(DialogTemplates, EightWellFormedDialogsOnlyTheMainOneVisible) {
  const int ids[] = {100, 104, 106, 111, 112, 115, 117, 200};
  for (int id : ids) ASSERT_NE(FindDialogTemplate(id), nullptr) << id;
  EXPECT_EQ(resources::AllDialogTemplates().size(), std::size(ids));
  EXPECT_EQ(FindDialogTemplate(101), nullptr);
  for (const auto& dialog : resources::AllDialogTemplates()) {
    SCOPED_TRACE("dialog " + std::to_string(dialog.id));
    EXPECT_EQ((dialog.style & resources::WS_VISIBLE) != 0, dialog.id == 100);
    EXPECT_TRUE(dialog.style & resources::WS_POPUP);
    EXPECT_TRUE(dialog.style & resources::DS_SETFONT);
    // A caption style without a text would draw an empty title bar.
    EXPECT_EQ((dialog.style & resources::WS_CAPTION) == resources::WS_CAPTION, dialog.caption != nullptr);
    std::set<int> seen;
    for (const auto& control : dialog.controls) {
      SCOPED_TRACE("control " + std::to_string(control.id));
      EXPECT_TRUE(control.id == resources::IDC_STATIC || seen.insert(control.id).second);
      EXPECT_EQ(control.style & (resources::WS_CHILD | resources::WS_VISIBLE),
                resources::WS_CHILD | resources::WS_VISIBLE);
      EXPECT_NE(control.text, nullptr);
      EXPECT_TRUE(control.x >= 0 && control.y >= 0 && control.cx > 0 && control.cy > 0);
      EXPECT_LE(control.x + control.cx, dialog.cx);
      EXPECT_LE(control.y + control.cy, dialog.cy);
    }
  }
}

// Enter activates the one default push button; the progress and helper
// windows have none.
TEST(DialogTemplates, DefaultButtons) {
  const std::pair<int, int> expected[] = {{100, 9}, {104, 1032}, {106, 1}, {111, 0}, {112, 1}, {115, 0},
                                          {117, 0}, {200, 201}};
  for (auto [dialogId, buttonId] : expected) {
    std::vector<int> defaults;
    for (const auto& control : FindDialogTemplate(dialogId)->controls) {
      const bool isDefault = control.kind == ControlClass::DefPushButton;
      if (isDefault || control.kind == ControlClass::PushButton) {
        EXPECT_EQ(isDefault, (control.style & 0xF) == resources::BS_DEFPUSHBUTTON) << dialogId;
      }
      if (isDefault) defaults.push_back(control.id);
    }
    EXPECT_EQ(defaults, buttonId == 0 ? std::vector<int>{} : std::vector<int>{buttonId}) << dialogId;
  }
}

// The log options' two sets of radio buttons must fall into separate groups.
TEST(DialogTemplates, LogOptionsChoicesInTwoGroups) {
  const DialogTemplate& log = *FindDialogTemplate(104);
  for (int id : {1034, 1035, 2036, 2037, 2038})
    EXPECT_EQ(FindControl(log, id)->style & 0xF, resources::BS_AUTORADIOBUTTON) << id;
  EXPECT_TRUE(FindControl(log, 1034)->style & resources::WS_GROUP);
  EXPECT_TRUE(FindControl(log, 2037)->style & resources::WS_GROUP);
}

}  // namespace
