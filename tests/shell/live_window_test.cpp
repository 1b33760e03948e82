// The windowed program on the live network: the computers that answer their
// server service's type query are selected, Go gathers them, and Fresh list
// gives the workgroup's browse list as its master browser keeps it.
#include "resources/dialogs.h"
#include "shell/main_window.h"
#include "support/live_gather.h"
#include "support/qt_dialogs.h"

using testing_support::LiveGather;

TEST_F(LiveGather, TheWindowedProgramGathersThroughGo) {
  testing_support::EnsureQtWindows();
  ASSERT_TRUE(pdc.Write("System", Records("LIVEPDC", 0, 30)));
  ASSERT_TRUE(ws.Write("Application", Records("LIVEWS", 0, 10)));
  machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"" + dsn +
                        "\"\n\"Type\"=dword:00000001\n\"Description\"=\"Corvid SQLite3\"\n\"User\"=\"\"\n"
                        "\"Password\"=\"\"\n\"RegAccess\"=dword:00000000\n");
  machine.Write("drives/c/Corvid/Corvid.hlp", "@1001 Main\n");
  machine.Write("live.imp", "LIVEPDC\nLIVEWS\nLIVEOFF\n");
  corvid::ComputerList.Clear();
  corvid::ListFilePath = (machine.root() / "live.imp").string();
  testing_support::DialogScript script;
  HWND main = corvid::CreateMainWindow();
  ASSERT_NE(main, nullptr);
  platform::qt::WidgetOf(main)->show();
  constexpr int kComputerView = 1002;
  constexpr int kGo = 1003;
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(SendDlgItemMessageA(main, kComputerView, LVM_GETITEMSTATE, row, LVIS_SELECTED) != 0, row < 2)
        << "the computers that answered their type query are selected, LIVEOFF is not: row " << row;
  }
  script.When(resources::IDD_GATHER_SELECTION, [](HWND dialog) { testing_support::Click(dialog, IDOK); });
  testing_support::Click(main, kGo);
  EXPECT_EQ(Result("LIVEPDC", 0).Status, corvid::kStatusCompleted);
  EXPECT_EQ(Result("LIVEWS", 2).Status, corvid::kStatusCompleted);
  EXPECT_EQ(Stored("System", "LIVEPDC").size(), 30u);
  EXPECT_EQ(Stored("Application", "LIVEWS").size(), 10u);

  ASSERT_TRUE(pdc.Lists({"LIVEPDC", "LIVEWS"})) << "LIVEPDC's nmbd kept no browse list naming LIVEWS";
  constexpr int kFreshList = 1014;
  testing_support::Click(main, kFreshList);
  std::vector<std::string> listed;
  for (const auto& entry : corvid::ComputerList) listed.push_back(entry.Name + ": " + entry.TypeText);
  EXPECT_EQ(listed, (std::vector<std::string>{"LIVEPDC: Windows NT Server (6.1)", "LIVEWS: Windows NT Server (6.1)"}));
  EXPECT_EQ(SendDlgItemMessageA(main, kComputerView, LVM_GETITEMCOUNT, 0, 0), 2);
  DestroyWindow(main);
  corvid::ListFilePath.clear();
}
