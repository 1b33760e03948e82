#include "resources/dialogs.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

using resources::ControlClass;
using resources::ControlTemplate;
using resources::DialogTemplate;
using resources::FindDialogTemplate;

const int kDialogIds[] = {100, 104, 106, 111, 112, 115, 117, 200};

const ControlTemplate* FindControl(const DialogTemplate& dialog, int id) {
  for (const auto& control : dialog.controls)
    if (control.id == id) return &control;
  return nullptr;
}

const DialogTemplate& Dialog(int id) {
  const DialogTemplate* dialog = FindDialogTemplate(id);
  if (dialog == nullptr) throw std::runtime_error("no dialog " + std::to_string(id));
  return *dialog;
}

TEST(DialogTemplates, AllEightExistAndNoOthers) {
  for (int id : kDialogIds) {
    const DialogTemplate* dialog = FindDialogTemplate(id);
    ASSERT_NE(dialog, nullptr) << id;
    EXPECT_EQ(dialog->id, id);
  }
  EXPECT_EQ(resources::AllDialogTemplates().size(), std::size(kDialogIds));
  EXPECT_EQ(FindDialogTemplate(101), nullptr);
}

TEST(DialogTemplates, ControlIdsAreUniqueWithinEachDialog) {
  for (const auto& dialog : resources::AllDialogTemplates()) {
    std::set<int> seen;
    for (const auto& control : dialog.controls) {
      if (control.id == resources::IDC_STATIC) continue;
      EXPECT_TRUE(seen.insert(control.id).second)
          << "dialog " << dialog.id << " control " << control.id;
    }
  }
}

TEST(DialogTemplates, ControlsLieInsideTheClientArea) {
  for (const auto& dialog : resources::AllDialogTemplates()) {
    for (const auto& control : dialog.controls) {
      SCOPED_TRACE("dialog " + std::to_string(dialog.id) + " control \"" +
                   control.text + "\"");
      EXPECT_GE(control.x, 0);
      EXPECT_GE(control.y, 0);
      EXPECT_GT(control.cx, 0);
      EXPECT_GT(control.cy, 0);
      EXPECT_LE(control.x + control.cx, dialog.cx);
      EXPECT_LE(control.y + control.cy, dialog.cy);
    }
  }
}

TEST(DialogTemplates, EveryControlIsAVisibleChildAndEveryDialogAPopupInTheFont) {
  for (const auto& dialog : resources::AllDialogTemplates()) {
    EXPECT_STREQ(dialog.font, "MS Sans Serif") << dialog.id;
    EXPECT_EQ(dialog.pointSize, 8) << dialog.id;
    EXPECT_TRUE(dialog.style & resources::WS_POPUP) << dialog.id;
    EXPECT_TRUE(dialog.style & resources::DS_SETFONT) << dialog.id;
    // A caption style without a caption text, or the reverse, would draw
    // an empty title bar or lose the title.
    EXPECT_EQ((dialog.style & resources::WS_CAPTION) == resources::WS_CAPTION,
              dialog.caption != nullptr)
        << dialog.id;
    for (const auto& control : dialog.controls) {
      EXPECT_EQ(control.style & (resources::WS_CHILD | resources::WS_VISIBLE),
                resources::WS_CHILD | resources::WS_VISIBLE)
          << dialog.id << " " << control.id;
      EXPECT_NE(control.text, nullptr);
    }
  }
}

TEST(DialogTemplates, CaptionsAreTheExactTexts) {
  EXPECT_STREQ(Dialog(100).caption, "Ravelin");
  EXPECT_STREQ(Dialog(104).caption, "Options");
  EXPECT_STREQ(Dialog(106).caption, "Gather Event Logs");
  EXPECT_STREQ(Dialog(111).caption, "Gathering in progress");
  EXPECT_STREQ(Dialog(112).caption, "Ravelin Settings");
  EXPECT_EQ(Dialog(115).caption, nullptr);
  EXPECT_EQ(Dialog(117).caption, nullptr);
  EXPECT_STREQ(Dialog(200).caption, "About Corvid");
}

TEST(DialogTemplates, OnlyTheMainWindowIsVisibleAtCreation) {
  for (const auto& dialog : resources::AllDialogTemplates())
    EXPECT_EQ((dialog.style & resources::WS_VISIBLE) != 0, dialog.id == 100) << dialog.id;
}

// Exactly one default push button per dialog that has buttons, because Enter
// activates it; the progress and helper windows have none.
TEST(DialogTemplates, DefaultButtons) {
  const std::pair<int, int> expected[] = {
      {100, 9}, {104, 1032}, {106, 1}, {112, 1}, {200, 201}};
  for (auto [dialogId, buttonId] : expected) {
    int defaults = 0;
    for (const auto& control : Dialog(dialogId).controls) {
      bool isDefault = control.kind == ControlClass::DefPushButton;
      if (isDefault || control.kind == ControlClass::PushButton) {
        EXPECT_EQ(isDefault, (control.style & 0xF) == resources::BS_DEFPUSHBUTTON)
            << dialogId << " " << control.id;
      }
      if (isDefault) {
        ++defaults;
        EXPECT_EQ(control.id, buttonId) << dialogId;
      }
    }
    EXPECT_EQ(defaults, 1) << dialogId;
  }
  for (int dialogId : {111, 115, 117})
    for (const auto& control : Dialog(dialogId).controls)
      EXPECT_NE(control.kind, ControlClass::DefPushButton) << dialogId;
}

TEST(DialogTemplates, MainWindowControlsTheLogicAddresses) {
  const auto& main = Dialog(100);
  EXPECT_EQ(main.x, 55);
  EXPECT_EQ(main.y, 49);
  const ControlTemplate* list = FindControl(main, 1002);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->kind, ControlClass::ListView);
  EXPECT_EQ(list->style & 0x3, resources::LVS_REPORT);
  EXPECT_TRUE(list->style & resources::LVS_OWNERDRAWFIXED);
  EXPECT_TRUE(list->style & resources::LVS_NOSORTHEADER);
  const ControlTemplate* action = FindControl(main, 1068);
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->kind, ControlClass::ComboBox);
  EXPECT_EQ(action->style & 0x3, resources::CBS_DROPDOWNLIST);
  for (int id : {1014, 1013, 1004, 1003, 115, 9, 109})
    EXPECT_NE(FindControl(main, id), nullptr) << id;
  EXPECT_TRUE(main.style & resources::WS_MINIMIZEBOX);
  EXPECT_TRUE(main.style & resources::WS_SYSMENU);
}

TEST(DialogTemplates, ProgressDialogIds) {
  const auto& progress = Dialog(111);
  const ControlTemplate* text = FindControl(progress, 1025);
  const ControlTemplate* bar = FindControl(progress, 1024);
  const ControlTemplate* cancel = FindControl(progress, 2);
  ASSERT_NE(text, nullptr);
  ASSERT_NE(bar, nullptr);
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(text->kind, ControlClass::StaticText);
  EXPECT_EQ(bar->kind, ControlClass::ProgressBar);
  EXPECT_STREQ(cancel->text, "Cancel");
}

TEST(DialogTemplates, LoadingWindowProgressBar) {
  const ControlTemplate* bar = FindControl(Dialog(117), 1068);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->kind, ControlClass::ProgressBar);
}

TEST(DialogTemplates, AboutBoxTextTargetAndModality) {
  const auto& about = Dialog(200);
  const ControlTemplate* text = FindControl(about, 65534);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->kind, ControlClass::StaticText);
  EXPECT_EQ(text->style & 0xF, resources::SS_CENTER);
  EXPECT_TRUE(about.style & resources::DS_SYSMODAL);
  EXPECT_TRUE(about.style & resources::DS_CENTER);
  EXPECT_FALSE(about.style & resources::WS_SYSMENU);
}

// The dialogs' procedures set and read these by id; a radio button that
// does not behave as one would break the choices they stand for.
TEST(DialogTemplates, SettingsAndLogOptionsChoices) {
  const auto& settings = Dialog(112);
  for (int id : {1030, 1031})
    EXPECT_EQ(FindControl(settings, id)->style & 0xF, resources::BS_AUTORADIOBUTTON) << id;
  EXPECT_EQ(FindControl(settings, 1029)->style & 0xF, resources::BS_AUTOCHECKBOX);
  EXPECT_NE(FindControl(settings, 57670), nullptr);
  const auto& log = Dialog(104);
  for (int id : {1034, 1035, 2036, 2037, 2038})
    EXPECT_EQ(FindControl(log, id)->style & 0xF, resources::BS_AUTORADIOBUTTON) << id;
  // The two sets of radio buttons must fall into separate groups.
  EXPECT_TRUE(FindControl(log, 1034)->style & resources::WS_GROUP);
  EXPECT_TRUE(FindControl(log, 2037)->style & resources::WS_GROUP);
  EXPECT_FALSE(log.style & resources::WS_SYSMENU);
}

}  // namespace
