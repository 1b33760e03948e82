// The interactive program driven as a user drives it, offscreen: its dialogs, export and
// import through the main window, whole gathers of the sample domain behind the progress dialog.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/computer_list.h"
#include "common/start_state.h"
#include "config/config_dialogs.h"
#include "config/settings_store.h"
#include "gather/gather_run.h"
#include "platform/threads/threads.h"
#include "resources/dialogs.h"
#include "resources/strings.h"
#include "shell/main_window.h"
#include "support/fake_odbc.h"
#include "support/qt_dialogs.h"
#include "support/sample_gather.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using namespace resources;
using Names = std::vector<std::string>;
using Ids = std::vector<int>;
// What the desktop is asked: boxes end with their type, file dialogs with their flags
// (here a save with the overwrite question).
const std::string kInvalid = "box [Error!] Invalid value 48", kSaveFlags = "|524294";

// The settings of an installation with `dsn` as its data source.
void Install(const TempMachine& machine, const std::string& dsn, const std::string& period) {
  machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"" + dsn +
                        "\"\n\"Type\"=dword:00000001\n\"Description\"=\"Corvid SQLite3\"\n\"User\"=\"\"\n"
                        "\"Password\"=\"\"\n\"RegAccess\"=dword:00000000\n\"TransactionPeriod\"=dword:" + period + "\n");
}

INT_PTR Open(int id, DLGPROC procedure) { return DialogBoxParamA(corvid::Instance, MakeIntResource(id), nullptr, procedure, 0); }

// The named numbers as stored, "-" for one not there.
std::string Saved(std::initializer_list<const char*> names) {
  std::string all;
  for (const char* name : names) {
    DWORD value = 0, type = 0, size = sizeof value;
    all += (all.empty() ? "" : " ") + (corvid::ReadSettingValue(name, &type, &value, &size) == 0 ? std::to_string(value) : "-");
  }
  return all;
}

// The companion tool "runs" from its start until the test says otherwise.
class CompanionTool : public platform::ThreadsWrapper {
 public:
  BOOL CreateProcess(const char* application, char*, void*, void*, BOOL, DWORD, void*, const char*, STARTUPINFOA*,
                     PROCESS_INFORMATION* process) override {
    started.push_back(application);
    *process = {&running, nullptr, 0, 0};
    return TRUE;
  }
  BOOL GetExitCodeProcess(HANDLE, DWORD* code) override { return *code = running ? DWORD(STILL_ACTIVE) : 0u, TRUE; }
  BOOL CloseHandle(HANDLE h) override { return h == &running || h == nullptr ? TRUE : ThreadsWrapper::CloseHandle(h); }
  BOOL TerminateProcess(HANDLE, UINT) override { return ++terminated, running = false, TRUE; }
  ~CompanionTool() override { corvid::CompanionProcess = nullptr; }
  Names started;
  bool running = true;
  int terminated = 0;
  platform::Override<platform::ThreadsService> use{*this};
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corvid::Instance = ProgramInstance();
    Install(machine, "Ravelin", "00000064");
    ASSERT_TRUE(corvid::LoadSettings());
  }
  TempMachine machine;
  bool layer = (EnsureQtWindows(), true);  // before the recorder, which wraps it
  DesktopRecorder desktop;
  DialogScript script;
};

TEST_F(DialogTest, SettingsTakeWholeNumbersOnlyOkSavesThemAllAndTheDataSourceButtonBeepsWhileTheToolRuns) {
  {
    CompanionTool tool;
    script.When(IDD_SETTINGS, [&](HWND dialog) {
      Click(dialog, {1023, 1023});
      tool.running = false;  // the user closed it
      Click(dialog, {1023, IDCANCEL});
    });
    Open(IDD_SETTINGS, corvid::SettingsDialog);
    EXPECT_EQ(tool.started, (Names{"C:\\Corvid\\Dsnsmith.exe", "C:\\Corvid\\Dsnsmith.exe"}));
    EXPECT_EQ(desktop.asked, Names{"beep 400 100"});
  }
  struct Case { const char *timeOut, *period, *shown; DWORD timeOutAfter; };  // after OK; accepted when the period is 0
  // The number rules themselves are the setting numbers' own tests; -5 comes back unsigned.
  corvid::Settings.TimeOut = 180;
  for (const Case& c : {Case{"-5", "0", "180", 0xFFFFFFFBu}, Case{"12345678901234567890", "7", "4294967291", 0xFFFFFFFBu},
                        Case{"30", "x", "4294967291", 30}}) {  // the time-out is taken before the period fails
    SCOPED_TRACE(std::string(c.timeOut) + " / " + c.period);
    const bool accepted = std::string(c.period) == "0";
    corvid::Settings.TransactionPeriod = 100, corvid::Settings.EraseLogs = 0, corvid::Settings.LoadDescriptions = 1;
    desktop.asked.clear();
    script.When(IDD_SETTINGS, [&](HWND dialog) {
      EXPECT_EQ(Text(dialog, 1010), c.shown);
      Type(dialog, 1010, c.timeOut);
      Type(dialog, 1011, c.period);
      Click(dialog, {1029, 1031, IDOK});  // clear the logs, descriptions from here: not loaded
      if (Shown(dialog)) desktop.asked.push_back("stayed"), Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(Open(IDD_SETTINGS, corvid::SettingsDialog), 1);
    EXPECT_EQ(corvid::Settings.TimeOut, c.timeOutAfter);
    EXPECT_EQ(desktop.asked, accepted ? Names{} : (Names{kInvalid, "stayed"}));
    // Accepted, all are saved; refused, nothing after the failing field is taken.
    EXPECT_EQ(Saved({"TimeOut", "TransactionPeriod", "EraseLogs", "LoadDescriptions"}), accepted ? "4294967291 0 1 0" : "- 100 - -");
    EXPECT_EQ(corvid::Settings.TransactionPeriod, accepted ? 0u : 100u);
    Install(machine, "Ravelin", "00000064");
  }
}

TEST_F(DialogTest, LogOptionsEditACopyThatOnlyOkHandsOver) {
  enum { kPath = 1029, kBrowse = 1033, kView = 1032 };
  corvid::RunLogSettings = {"C:\\Logs\\old run.log", 7, 0};
  script.When(IDD_LOG_OPTIONS, [&](HWND dialog) {
    EXPECT_EQ(IsDlgButtonChecked(dialog, 2036) + IsDlgButtonChecked(dialog, 2037), 2u) << "level 7 shows as no log, append";
    Type(dialog, kPath, "C:\\Logs\\typed.log");
    Click(dialog, kView);  // the path as opened, not as typed
    desktop.fileAnswer = "/tmp/picked run.log";
    Click(dialog, kBrowse);
    EXPECT_EQ(Text(dialog, kPath), "/tmp/picked run.log");
    Click(dialog, {kView, 9, IDCANCEL});
  });
  Open(IDD_LOG_OPTIONS, corvid::LogOptionsDialog);
  EXPECT_EQ(desktop.asked, (Names{"run Notepad.exe C:\\Logs\\old run.log", "file Select Log File|C:\\Logs\\typed.log" + kSaveFlags,
                                  "run Notepad.exe /tmp/picked run.log", "help C:\\Corvid\\Corvid.hlp 1002"}));
  const auto& s = corvid::RunLogSettings;
  auto handed = [&] { return s.path + "|" + std::to_string(s.detailLevel) + "|" + std::to_string(s.appendChoice); };
  EXPECT_EQ(handed(), "C:\\Logs\\old run.log|7|0") << "Cancel hands nothing over";
  // OK untouched normalises the level; OK after changes takes them all.
  script.When(IDD_LOG_OPTIONS, [](HWND dialog) { Click(dialog, IDOK); });
  Open(IDD_LOG_OPTIONS, corvid::LogOptionsDialog);
  EXPECT_EQ(handed(), "C:\\Logs\\old run.log|2|0");
  script.When(IDD_LOG_OPTIONS, [](HWND dialog) {
    Click(dialog, {1035, 2038});  // errors only, overwrite: the two sets of choices are separate groups
    Type(dialog, kPath, "C:\\Logs\\new.log");
    Key(dialog, Qt::Key_Tab);
    Click(dialog, IDOK);
  });
  Open(IDD_LOG_OPTIONS, corvid::LogOptionsDialog);
  EXPECT_EQ(handed(), "C:\\Logs\\new.log|1|1");
  EXPECT_EQ(Saved({"LogFullErrorNo"}), "-") << "nothing reaches the registry before a save";
}

enum : int { kComputerView = 1002, kGo = 1003 };

class MainWindowTest : public SampleGatherTest {
 protected:
  void SetUp() override {
    SampleGatherTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Install(machine, dsn, "00000009");
    machine.Write("drives/c/Corvid/Corvid.hlp", "@1001 Main\n");  // the install folder
    corvid::ComputerList.Clear();
  }
  void TearDown() override {
    if (main != nullptr) DestroyWindow(main);
    corvid::ListFilePath.clear();
    SampleGatherTest::TearDown();
  }
  void Start(const std::string& listFile = "") {
    corvid::ListFilePath = listFile;
    ASSERT_NE(main = corvid::CreateMainWindow(), nullptr);
    platform::qt::WidgetOf(main)->show();
  }
  // The computers listed, "*" before one selected on screen.
  std::string Listed() const {
    std::string rows = std::to_string(SendDlgItemMessageA(main, kComputerView, LVM_GETITEMCOUNT, 0, 0)) + ":";
    for (size_t i = 0; i < corvid::ComputerList.Count(); ++i)
      rows += (SendDlgItemMessageA(main, kComputerView, LVM_GETITEMSTATE, i, LVIS_SELECTED) ? " *" : " ") +
              corvid::ComputerList.At(i).Name;
    return rows;
  }
  // A user's click on row `row`, with Ctrl to add it to the selection.
  void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    auto* view = static_cast<QAbstractItemView*>(Control(main, kComputerView));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualRect(view->model()->index(row, 0)).center());
  }
  bool layer = (EnsureQtWindows(), true);  // before the recorder, which wraps it
  DesktopRecorder desktop;
  DialogScript script;
  HWND main = nullptr;
};

INSTANTIATE_TEST_SUITE_P(SQLite, MainWindowTest, ::testing::Values(Backend::kSqlite), BackendName);

TEST_P(MainWindowTest, TheSelectionReachesTheEntriesOnlyOnExportAndExportThenImportKeepsIt) {
  Start();
  EXPECT_EQ(Listed(), "5: *PDC01 *BDC02 *SRV03 *WS04 *OFF05");
  ClickRow(1);
  ClickRow(3, Qt::ControlModifier);
  for (const auto& entry : corvid::ComputerList) EXPECT_EQ(entry.Selected, 0u) << "not before Export or Go";
  desktop.fileAnswer = (machine.root() / "two computers").string();  // no extension: kept as typed
  Click(main, 1004);
  EXPECT_EQ(machine.Read("two computers"),
            "BDC02\tWindows NT Backup Domain Controller (4.0)\nWS04\tWindows NT Workstation (4.0)\n");
  Click(main, 1013);
  EXPECT_EQ(Listed(), "2: *BDC02 *WS04");
  EXPECT_EQ(corvid::ComputerList.At(1).TypeText, "Windows NT Workstation (4.0)") << "resolved anew";
  EXPECT_EQ(script.opened, (Ids{IDD_MAIN, IDD_LOADING}));
  desktop.fileAnswer.clear();
  Click(main, 1013);
  EXPECT_EQ(Listed(), "2: *BDC02 *WS04") << "a cancelled import changes nothing";
  const std::string import = "file Import Computer list|*.imp;*.exp|530436";  // the file must exist
  EXPECT_EQ(desktop.asked, (Names{"file Export Computer list|*.exp" + kSaveFlags, import, import}));
}

TEST_P(MainWindowTest, TheActionBoxOpensTheSettingsTheSystemMenuTheAboutBoxAndOnlyExitSaves) {
  CompanionTool tool;
  Start();
  std::string text;
  script.When(IDD_ABOUT, [&](HWND dialog) {  // only OK closes it
    platform::qt::WidgetOf(dialog)->close();
    Key(dialog, Qt::Key_Escape);
    text = Text(dialog, 65534) + (Shown(dialog) ? " stayed" : "");
    Click(dialog, 201);
  });
  EXPECT_EQ(SendMessageA(main, WM_SYSCOMMAND, 9900, 0), TRUE);
  EXPECT_EQ(text, "Corvid 1.01 stayed");
  EXPECT_EQ(SendMessageA(main, WM_SYSCOMMAND, SC_MOVE, 0), FALSE) << "other system commands are not its own";
  script.When(IDD_SETTINGS, [](HWND dialog) { Click(dialog, IDCANCEL); });
  auto* combo = static_cast<QComboBox*>(Control(main, 1068));
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);  // "Gather Event Logs..."
  EXPECT_EQ(script.opened, (Ids{IDD_MAIN, IDD_ABOUT, IDD_SETTINGS}));
  EXPECT_EQ(std::to_string(combo->currentIndex()) + " " + combo->currentText().toStdString(), "0 Gather Event Logs");
  // Closing saves nothing and ends only a running tool.
  corvid::CompanionProcess = &tool.running;  // started earlier, closed since by the user
  tool.running = false;
  corvid::Settings.TimeOut = 5;
  platform::qt::WidgetOf(main)->close();
  EXPECT_EQ(corvid::CompanionProcess, &tool.running) << "a finished tool is left alone";
  EXPECT_EQ(Saved({"TimeOut"}), "-");
  tool.running = true;
  platform::qt::WidgetOf(main)->close();
  EXPECT_EQ(tool.terminated, 1);
  EXPECT_EQ(corvid::CompanionProcess, nullptr);
  Click(main, 109);
  EXPECT_EQ(Saved({"TimeOut"}), "5") << "Exit saves";
  EXPECT_EQ(desktop.asked, Names{});
}

TEST_P(MainWindowTest, AGatherCancelledMidLogKeepsItsCommitsAndTheNextOneCompletes) {
  machine.Write("domain.imp", "PDC01\nBDC02\nSRV03\nWS04\nOFF05\n");
  Start((machine.root() / "domain.imp").string());
  EXPECT_EQ(script.opened, (Ids{IDD_LOADING, IDD_MAIN}))
      << "the types are resolved behind the loading window while the main window initialises";
  EXPECT_EQ(Listed(), "5: *PDC01 *BDC02 *SRV03 *WS04 OFF05") << "OFF05 does not answer";
  // The gather holds at its 25th insert until the user has pressed Cancel.
  std::atomic<bool> held{false};
  HookedOdbc hold;
  hold.beforeExecute = [&](int n) {
    if (n != 25) return;
    held = true;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (corvid::cancelRequested == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  };
  Names progressTexts;
  {
    platform::Override<platform::OdbcService> use(hold);
    script.When(IDD_GATHER_SELECTION, [](HWND dialog) {
      EXPECT_EQ(SendDlgItemMessageA(dialog, 1002, LB_GETCOUNT, 0, 0), 4);
      Click(dialog, {9, IDOK});  // Help, at the selection's topic
    });
    script.When(IDD_GATHER_PROGRESS, [&](HWND dialog) {
      auto* poll = new QTimer(platform::qt::WidgetOf(dialog));
      QObject::connect(poll, &QTimer::timeout, [&, dialog, poll] {
        if (!held) return;
        progressTexts.push_back(Text(dialog, 1025));
        Click(dialog, IDCANCEL);
        poll->stop();
      });
      poll->start(5);
    });
    Click(main, kGo);
  }
  EXPECT_EQ(progressTexts, Names{"PDC01 System"});
  for (size_t log : {0, 1}) EXPECT_EQ(Status("PDC01", log), corvid::kStatusCancelled) << log;
  EXPECT_EQ(Stored("System", "PDC01").size(), 20u) << "two transactions of ten; the rest rolled back";
  EXPECT_NE(machine.Read("drives/c/Corvid/Corvid.log").find("OPERATION CANCELLED"), std::string::npos);
  script.When(IDD_GATHER_SELECTION, [](HWND dialog) { Click(dialog, IDOK); });
  Click(main, kGo);
  EXPECT_EQ(Status("WS04", 2), corvid::kStatusCompleted);
  ExpectEverythingStoredOnce();
  EXPECT_EQ(corvid::workerThread, nullptr);
  EXPECT_EQ(desktop.asked, Names{"help C:\\Corvid\\Corvid.hlp 1008"});
}

TEST_P(MainWindowTest, StartsAndGoTellWhatTheDataSourceSettingsLack) {
  machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n");
  machine.Write("drives/c/Corvid/Corvid.db", "");  // as the installer leaves it
  Start();
  EXPECT_EQ(script.opened, (Ids{IDD_PREPARING, IDD_MAIN})) << "the first start makes the default data source";
  EXPECT_EQ(corvid::Settings.DataSource.DSN, "Ravelin");
  EXPECT_EQ(Saved({"TimeOut"}), "180") << "the first save writes every default";
  // Go without the data source values says so and gathers nothing.
  machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n");
  Click(main, kGo);
  EXPECT_EQ(script.opened, (Ids{IDD_PREPARING, IDD_MAIN}));
  EXPECT_EQ(desktop.asked, Names{"box [(none)] Unable to read registry 16"});
  DestroyWindow(main);
  // An empty name asks for one and starts the tool.
  CompanionTool tool;
  machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"\"\n");
  script.opened.clear();
  desktop.asked.clear();
  Start();
  EXPECT_EQ(script.opened, Ids{IDD_MAIN}) << "no default source over a chosen name";
  EXPECT_EQ(desktop.asked, Names{"box [Warning] You need to specify Data Source. 48"});
  EXPECT_EQ(tool.started, Names{"C:\\Corvid\\Dsnsmith.exe"});
}

}  // namespace
