// Export and import of computer lists through a file dialog that answers on
// cue, as a user would pick or type a name.
#include <gtest/gtest.h>

#include "common/computer_list.h"
#include "netdisc/computer_enumeration.h"
#include "platform/windows/windows.h"
#include "shell/list_files.h"
#include "support/temp_machine.h"

namespace {

using corvid::ComputerList;

// Answers every file dialog with `answer`, or cancels it when empty, and
// keeps the name each dialog proposed.
class FileDialogs : public platform::WindowsService {
 public:
  int MessageBox(HWND, const char*, const char*, UINT) override { return IDOK; }
  HCURSOR LoadCursor(HINSTANCE, const char*) override { return nullptr; }
  HCURSOR SetCursor(HCURSOR) override { return nullptr; }
  BOOL GetOpenFileName(OPENFILENAMEA* request) override { return Answer(request); }
  BOOL GetSaveFileName(OPENFILENAMEA* request) override { return Answer(request); }
  std::string answer;
  std::vector<std::string> shown;

 private:
  BOOL Answer(OPENFILENAMEA* r) {
    shown.push_back(r->lpstrFile);
    return !answer.empty() && std::snprintf(r->lpstrFile, r->nMaxFile, "%s", answer.c_str()) > 0;
  }
};

class ListFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ComputerList.Clear();
    for (const char* name : {"PDC01", "WS04", "SRV03"}) {
      corvid::ComputerEntry entry = corvid::MakeComputerEntry(name);
      entry.TypeText = std::string("Windows NT Server (4.0) ") + name;
      ComputerList.Append(entry);
    }
    machine.Write("drives/c/Lists/old.exp", "OLD\n");
  }
  void TearDown() override { ComputerList.Clear(); }
  testing_support::TempMachine machine;
  FileDialogs dialogs;
  platform::Override<platform::WindowsService> use{dialogs};
};

TEST_F(ListFilesTest, ExportWritesTheSelectedThenImportReadsThemBack) {
  dialogs.answer = "C:\\Lists\\old.exp";
  ASSERT_TRUE(corvid::ExportComputerList(nullptr));
  EXPECT_EQ(machine.Read("drives/c/Lists/old.exp"), "") << "nothing selected still empties the file";
  ComputerList.At(0).Selected = 1;
  ComputerList.At(2).Selected = 1;
  dialogs.answer = "C:\\Lists\\domain";  // no extension: used as typed
  ASSERT_TRUE(corvid::ExportComputerList(nullptr));
  EXPECT_EQ(machine.Read("drives/c/Lists/domain"),
            "PDC01\tWindows NT Server (4.0) PDC01\nSRV03\tWindows NT Server (4.0) SRV03\n");
  ASSERT_TRUE(corvid::ImportComputerList(nullptr));
  ASSERT_EQ(ComputerList.Count(), 2u);
  EXPECT_EQ(ComputerList.At(0).Name, "PDC01");
  EXPECT_EQ(ComputerList.At(1).Name, "SRV03");
  EXPECT_EQ(ComputerList.At(0).TypeText, "Unknown") << "types are asked anew; these computers are not on";
  EXPECT_EQ(dialogs.shown, (std::vector<std::string>{"*.exp", "*.exp", "*.imp;*.exp"}));
}

TEST_F(ListFilesTest, ACancelledOrUnreadableImportLeavesTheListABlankOneEmptiesIt) {
  EXPECT_FALSE(corvid::ImportComputerList(nullptr));  // cancelled
  dialogs.answer = "C:\\Lists\\missing.imp";
  EXPECT_FALSE(corvid::ImportComputerList(nullptr));
  EXPECT_EQ(ComputerList.Count(), 3u);
  dialogs.answer = "C:\\Lists\\blank.imp";
  machine.Write("drives/c/Lists/blank.imp", "\n  \n\t\n");
  EXPECT_TRUE(corvid::ImportComputerList(nullptr));
  EXPECT_EQ(ComputerList.Count(), 0u);
  // A log file is asked for by its own name.
  char path[corvid::kPathBuffer] = "Corvid.log";
  dialogs.answer.clear();
  EXPECT_FALSE(corvid::BrowseForFile(nullptr, "Log file", path, 3));
  EXPECT_EQ(dialogs.shown.back(), "Corvid.log");
}

}  // namespace
