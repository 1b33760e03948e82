// Export and import of computer lists through a file dialog that answers on
// cue. The main window's own use of them is the interactive tests'.
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
  BOOL Answer(OPENFILENAMEA* r) {
    shown += std::string(" ") + r->lpstrFile;
    return !answer.empty() && std::snprintf(r->lpstrFile, r->nMaxFile, "%s", answer.c_str()) > 0;
  }
  std::string answer, shown;
};

// The list: each computer's name and type, "*" before a selected one.
std::string Listed() {
  std::string all;
  for (const auto& entry : ComputerList) all += (entry.Selected ? " *" : " ") + entry.Name + "=" + entry.TypeText;
  return all;
}

TEST(ListFiles, ExportWritesTheSelectedImportReadsThemBackAndNeitherTouchesTheListOnFailure) {
  testing_support::TempMachine machine;
  FileDialogs dialogs;
  platform::Override<platform::WindowsService> use{dialogs};
  ComputerList.Clear();
  for (const char* name : {"PDC01", "WS04", "SRV03"}) {
    corvid::ComputerEntry entry = corvid::MakeComputerEntry(name);
    entry.TypeText = std::string("NT ") + name;
    ComputerList.Append(entry);
  }
  machine.Write("drives/c/Lists/old.exp", "OLD\n");
  dialogs.answer = "C:\\Lists\\old.exp";
  ASSERT_TRUE(corvid::ExportComputerList(nullptr));
  EXPECT_EQ(machine.Read("drives/c/Lists/old.exp"), "") << "nothing selected still empties the file";
  ComputerList.At(0).Selected = ComputerList.At(2).Selected = 1;
  dialogs.answer = "C:\\Lists\\domain";  // no extension: used as typed
  ASSERT_TRUE(corvid::ExportComputerList(nullptr));
  EXPECT_EQ(machine.Read("drives/c/Lists/domain"), "PDC01\tNT PDC01\nSRV03\tNT SRV03\n");
  dialogs.answer = "C:\\Lists\\missing.imp";
  EXPECT_FALSE(corvid::ImportComputerList(nullptr));
  dialogs.answer.clear();
  EXPECT_FALSE(corvid::ImportComputerList(nullptr));  // cancelled
  EXPECT_EQ(Listed(), " *PDC01=NT PDC01 WS04=NT WS04 *SRV03=NT SRV03");
  dialogs.answer = "C:\\Lists\\domain";
  ASSERT_TRUE(corvid::ImportComputerList(nullptr));
  EXPECT_EQ(Listed(), " PDC01=Unknown SRV03=Unknown") << "types are asked anew; these computers are not on";
  EXPECT_EQ(dialogs.shown, " *.exp *.exp *.imp;*.exp *.imp;*.exp *.imp;*.exp");
  ComputerList.Clear();
}

}  // namespace
