// The interactive program driven as a user drives it, on the offscreen
// platform: the settings and log options dialogs with real typing and
// clicks, export and import through the main window's buttons, and whole
// gathers of the sample domain behind the progress dialog, one of them
// cancelled in the middle of a log.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "config/config_dialogs.h"
#include "config/settings_store.h"
#include "gather/gather_run.h"
#include "platform/odbc/odbc.h"
#include "platform/threads/threads.h"
#include "resources/dialogs.h"
#include "resources/strings.h"
#include "common/computer_list.h"
#include "common/start_state.h"
#include "shell/main_window.h"
#include "support/fake_odbc.h"
#include "support/qt_dialogs.h"
#include "support/sample_gather.h"
#include "support/temp_machine.h"

namespace {

using testing_support::Click;
using testing_support::DesktopRecorder;
using testing_support::DialogScript;
using testing_support::Key;
using testing_support::PumpUntil;
using testing_support::Text;
using testing_support::Type;
using namespace std::chrono_literals;

// The settings an installation has, with `dsn` as its data source.
void Install(const testing_support::TempMachine& machine, const std::string& dsn, int transactionPeriod) {
  char period[16];
  std::snprintf(period, sizeof period, "%08x", transactionPeriod);
  machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"" + dsn +
         "\"\n\"Type\"=dword:00000001\n\"Description\"=\"Corvid SQLite3\"\n\"User\"=\"\"\n\"Password\"=\"\"\n"
         "\"RegAccess\"=dword:00000000\n\"TransactionPeriod\"=dword:" +
         period + "\n");
}

INT_PTR Open(int id, DLGPROC procedure) {
  return DialogBoxParamA(corvid::Instance, MakeIntResource(id), nullptr, procedure, 0);
}

DWORD StoredNumber(const char* name) {
  DWORD value = 0xDEADBEEF;
  DWORD type = 0;
  DWORD size = sizeof value;
  corvid::ReadSettingValue(name, &type, &value, &size);
  return value;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::EnsureQtWindows();
    corvid::Instance = resources::ProgramInstance();
    Install(machine, "Ravelin", 100);
    ASSERT_TRUE(corvid::LoadSettings());
  }
  testing_support::TempMachine machine;
};

enum : int { kTimeOut = 1010, kPeriod = 1011, kClearLogs = 1029, kRemote = 1030, kLocal = 1031, kDataSource = 1023 };

TEST_F(DialogTest, SettingsTakeWholeNumbersOnlyAndOkSavesThemAll) {
  struct Case {
    const char* timeOut;
    const char* period;
    bool accepted;
    DWORD timeOutAfter;  // in memory, after OK
  };
  const Case cases[] = {
      // The number rules themselves are the setting numbers' own tests.
      {"-5", "0", true, 0xFFFFFFFBu},
      {"12a", "7", false, 180},
      {"12345678901234567890", "7", false, 180},   // passes the text check, beyond 32 bits
      {"30", "x", false, 30},                      // the time-out is taken before the period fails
  };
  for (const Case& c : cases) {
    corvid::Settings.TimeOut = 180;
    corvid::Settings.TransactionPeriod = 100;
    corvid::Settings.EraseLogs = 0;
    corvid::Settings.LoadDescriptions = 1;
    DesktopRecorder desktop;
    DialogScript script;
    bool stayed = false;
    script.When(resources::IDD_SETTINGS, [&](HWND dialog) {
      EXPECT_EQ(Text(dialog, kTimeOut), "180");
      Type(dialog, kTimeOut, c.timeOut);
      Type(dialog, kPeriod, c.period);
      Click(dialog, kClearLogs);
      Click(dialog, kLocal);
      Click(dialog, IDOK);
      stayed = platform::qt::WidgetOf(dialog) != nullptr && platform::qt::WidgetOf(dialog)->isVisible();
      if (stayed) Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(Open(resources::IDD_SETTINGS, corvid::SettingsDialog), 1);
    EXPECT_EQ(stayed, !c.accepted) << c.timeOut << " / " << c.period;
    EXPECT_EQ(corvid::Settings.TimeOut, c.timeOutAfter) << c.timeOut;
    if (c.accepted) {
      EXPECT_TRUE(desktop.boxes.empty());
      EXPECT_EQ(StoredNumber("TimeOut"), c.timeOutAfter);
      EXPECT_EQ(StoredNumber("TransactionPeriod"), std::string(c.period) == "0" ? 0u : 7u);
      EXPECT_EQ(StoredNumber("EraseLogs"), 1u);
      EXPECT_EQ(StoredNumber("LoadDescriptions"), 0u);
    } else {
      ASSERT_EQ(desktop.boxes.size(), 1u) << c.timeOut;
      EXPECT_EQ(desktop.boxes[0].text, "Invalid value");
      EXPECT_EQ(desktop.boxes[0].caption, "Error!");
      EXPECT_EQ(desktop.boxes[0].type, static_cast<UINT>(MB_ICONEXCLAMATION));
      EXPECT_EQ(corvid::Settings.TransactionPeriod, 100u) << "nothing after the failing field";
    }
    Install(machine, "Ravelin", 100);
  }
  // -5 comes back as its unsigned form.
  corvid::Settings.TimeOut = 0xFFFFFFFBu;
  DialogScript script;
  std::string shown;
  script.When(resources::IDD_SETTINGS, [&](HWND dialog) {
    shown = Text(dialog, kTimeOut);
    Key(dialog, Qt::Key_Escape);
  });
  Open(resources::IDD_SETTINGS, corvid::SettingsDialog);
  EXPECT_EQ(shown, "4294967291");
}

// The companion tool "runs" from its start until the test says otherwise.
class CompanionTool : public platform::ThreadsWrapper {
 public:
  BOOL CreateProcess(const char* application, char*, void*, void*, BOOL, DWORD, void*, const char*, STARTUPINFOA*,
                     PROCESS_INFORMATION* process) override {
    started.push_back(application);
    process->hProcess = &running;
    process->hThread = nullptr;
    return TRUE;
  }
  BOOL GetExitCodeProcess(HANDLE, DWORD* code) override {
    *code = running ? static_cast<DWORD>(STILL_ACTIVE) : 0u;
    return TRUE;
  }
  BOOL CloseHandle(HANDLE handle) override {
    return handle == &running || handle == nullptr ? TRUE : ThreadsWrapper::CloseHandle(handle);
  }
  BOOL TerminateProcess(HANDLE, UINT) override {
    ++terminated;
    running = false;
    return TRUE;
  }
  std::vector<std::string> started;
  bool running = true;
  int terminated = 0;
};

TEST_F(DialogTest, TheDataSourceButtonBeepsWhileTheToolRuns) {
  DesktopRecorder desktop;
  CompanionTool tool;
  platform::Override<platform::ThreadsService> use(tool);
  corvid::CompanionProcess = nullptr;
  DialogScript script;
  script.When(resources::IDD_SETTINGS, [&](HWND dialog) {
    Click(dialog, kDataSource);
    Click(dialog, kDataSource);
    tool.running = false;  // the user closed it
    Click(dialog, kDataSource);
    Click(dialog, IDCANCEL);
  });
  Open(resources::IDD_SETTINGS, corvid::SettingsDialog);
  EXPECT_EQ(tool.started, (std::vector<std::string>{"C:\\Corvid\\Dsnsmith.exe", "C:\\Corvid\\Dsnsmith.exe"}));
  EXPECT_EQ(desktop.beeps, (std::vector<std::pair<DWORD, DWORD>>{{400, 100}}));
  corvid::CompanionProcess = nullptr;
}

enum : int { kPath = 1029, kBrowse = 1033, kFull = 1034, kErrors = 1035, kNone = 2036, kAppend = 2037,
             kOverwrite = 2038, kView = 1032, kHelp = 9 };

TEST_F(DialogTest, LogOptionsEditACopyThatOnlyOkHandsOver) {
  DesktopRecorder desktop;
  corvid::RunLogSettings = {"C:\\Logs\\old run.log", 7, 0};
  DialogScript script;
  script.When(resources::IDD_LOG_OPTIONS, [&](HWND dialog) {
    EXPECT_EQ(IsDlgButtonChecked(dialog, kNone), static_cast<UINT>(BST_CHECKED)) << "level 7 shows as no log";
    EXPECT_EQ(IsDlgButtonChecked(dialog, kAppend), static_cast<UINT>(BST_CHECKED));
    Type(dialog, kPath, "C:\\Logs\\typed.log");
    Click(dialog, kView);  // the path as opened, not as typed
    desktop.fileAnswer = "/tmp/picked run.log";
    Click(dialog, kBrowse);
    EXPECT_EQ(Text(dialog, kPath), "/tmp/picked run.log");
    Click(dialog, kView);
    Click(dialog, kHelp);
    Click(dialog, IDCANCEL);
  });
  Open(resources::IDD_LOG_OPTIONS, corvid::LogOptionsDialog);
  EXPECT_EQ(desktop.commands,
            (std::vector<std::string>{"Notepad.exe C:\\Logs\\old run.log", "Notepad.exe /tmp/picked run.log"}));
  ASSERT_EQ(desktop.fileTitles, std::vector<std::string>{"Select Log File"});
  EXPECT_EQ(desktop.fileShown[0], "C:\\Logs\\typed.log") << "the typed name is proposed";
  EXPECT_EQ(desktop.fileFlags[0], static_cast<DWORD>(OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY));
  EXPECT_EQ(desktop.helps, (std::vector<std::pair<std::string, ULONG_PTR>>{{"C:\\Corvid\\Corvid.hlp", 1002}}));
  EXPECT_EQ(corvid::RunLogSettings.path, "C:\\Logs\\old run.log") << "Cancel hands nothing over";
  EXPECT_EQ(corvid::RunLogSettings.detailLevel, 7u);

  // OK untouched normalises the level; OK after changes takes them all.
  script.When(resources::IDD_LOG_OPTIONS, [](HWND dialog) { Click(dialog, IDOK); });
  Open(resources::IDD_LOG_OPTIONS, corvid::LogOptionsDialog);
  EXPECT_EQ(corvid::RunLogSettings.detailLevel, 2u);
  EXPECT_EQ(corvid::RunLogSettings.appendChoice, 0u);
  script.When(resources::IDD_LOG_OPTIONS, [](HWND dialog) {
    Click(dialog, kErrors);
    Click(dialog, kOverwrite);
    Type(dialog, kPath, "C:\\Logs\\new.log");
    Key(dialog, Qt::Key_Tab);
    Click(dialog, IDOK);
  });
  Open(resources::IDD_LOG_OPTIONS, corvid::LogOptionsDialog);
  EXPECT_EQ(corvid::RunLogSettings.path, "C:\\Logs\\new.log");
  EXPECT_EQ(corvid::RunLogSettings.detailLevel, 1u);
  EXPECT_EQ(corvid::RunLogSettings.appendChoice, 1u);
  EXPECT_EQ(StoredNumber("LogFullErrorNo"), 0xDEADBEEFu) << "nothing reaches the registry before a save";
}

// ---- The main window over the sample domain -------------------------------

enum : int { kComputerView = 1002, kGo = 1003, kExport = 1004, kImport = 1013, kFresh = 1014, kCombo = 1068, kExit = 109 };

class MainWindowTest : public testing_support::SampleGatherTest {
 protected:
  void SetUp() override {
    SampleGatherTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    testing_support::EnsureQtWindows();
    Install(machine, dsn, 9);
    machine.Write("drives/c/Corvid/Corvid.hlp", "@1001 Main\n");  // the install folder
    corvid::ComputerList.Clear();
    corvid::ListFilePath.clear();
  }
  void TearDown() override {
    if (main != nullptr) DestroyWindow(main);
    corvid::ListFilePath.clear();
    SampleGatherTest::TearDown();
  }
  void Start(const std::string& listFile = "") {
    corvid::ListFilePath = listFile;
    main = corvid::CreateMainWindow();
    ASSERT_NE(main, nullptr);
    platform::qt::WidgetOf(main)->show();
  }
  std::vector<bool> OnScreen() const {
    std::vector<bool> selected;
    const LRESULT rows = SendDlgItemMessageA(main, kComputerView, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < rows; ++i)
      selected.push_back(SendDlgItemMessageA(main, kComputerView, LVM_GETITEMSTATE, i, LVIS_SELECTED) != 0);
    return selected;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : corvid::ComputerList) names.push_back(entry.Name);
    return names;
  }
  // A user's click on row `row`, with Ctrl to add it to the selection.
  void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    auto* view = static_cast<QAbstractItemView*>(testing_support::Control(main, kComputerView));
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, rect.center());
  }
  HWND main = nullptr;
};

INSTANTIATE_TEST_SUITE_P(SQLite, MainWindowTest, ::testing::Values(testing_support::Backend::kSqlite),
                         testing_support::BackendName);

TEST_P(MainWindowTest, TheSelectionReachesTheEntriesOnlyOnExportAndExportThenImportKeepsIt) {
  DesktopRecorder desktop;
  Start();
  EXPECT_EQ(Names(), (std::vector<std::string>{"PDC01", "BDC02", "SRV03", "WS04", "OFF05"}));
  EXPECT_EQ(OnScreen(), (std::vector<bool>{true, true, true, true, true}));
  ClickRow(1);
  ClickRow(3, Qt::ControlModifier);
  for (const auto& entry : corvid::ComputerList) EXPECT_EQ(entry.Selected, 0u) << "not before Export or Go";

  const std::string file = (machine.root() / "two computers").string();  // no extension: kept as typed
  desktop.fileAnswer = file;
  Click(main, kExport);
  EXPECT_EQ(machine.Read("two computers"),
            "BDC02\tWindows NT Backup Domain Controller (4.0)\nWS04\tWindows NT Workstation (4.0)\n");
  EXPECT_EQ(desktop.fileShown.back(), "*.exp");

  DialogScript script;
  Click(main, kImport);
  EXPECT_EQ(desktop.fileTitles.back(), "Import Computer list");
  EXPECT_EQ(desktop.fileShown.back(), "*.imp;*.exp");
  EXPECT_EQ(Names(), (std::vector<std::string>{"BDC02", "WS04"}));
  EXPECT_EQ(corvid::ComputerList.At(1).TypeText, "Windows NT Workstation (4.0)") << "resolved anew";
  EXPECT_EQ(script.opened(), std::vector<int>{resources::IDD_LOADING});
  EXPECT_EQ(OnScreen(), (std::vector<bool>{true, true}));

  // A cancelled import changes nothing.
  desktop.fileAnswer.clear();
  Click(main, kImport);
  EXPECT_EQ(Names(), (std::vector<std::string>{"BDC02", "WS04"}));
}

TEST_P(MainWindowTest, TheActionBoxOpensTheSettingsAndSnapsBack) {
  DesktopRecorder desktop;
  Start();
  DialogScript script;
  script.When(resources::IDD_SETTINGS, [](HWND dialog) { Click(dialog, IDCANCEL); });
  auto* combo = static_cast<QComboBox*>(testing_support::Control(main, kCombo));
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);  // "Gather Event Logs..."
  EXPECT_EQ(script.opened(), std::vector<int>{resources::IDD_SETTINGS});
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(combo->currentText(), "Gather Event Logs");
  Click(main, kExit);
  EXPECT_EQ(StoredNumber("TimeOut"), 180u) << "Exit saves the settings";
}

TEST_P(MainWindowTest, AGatherCancelledMidLogKeepsItsCommitsAndTheNextOneCompletes) {
  DesktopRecorder desktop;
  const std::string list = (machine.root() / "domain.imp").string();
  machine.Write("domain.imp", "PDC01\nBDC02\nSRV03\nWS04\nOFF05\n");
  DialogScript script;
  Start(list);
  EXPECT_EQ(script.opened(), (std::vector<int>{resources::IDD_LOADING, resources::IDD_MAIN}))
      << "the types are resolved behind the loading window while the main window initialises";
  EXPECT_EQ(OnScreen(), (std::vector<bool>{true, true, true, true, false})) << "OFF05 does not answer";

  // The gather holds at its 25th insert until the user has pressed Cancel.
  std::atomic<bool> held{false};
  testing_support::HookedOdbc hold;
  hold.beforeExecute = [&](int n) {
    if (n != 25) return;
    held = true;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (corvid::cancelRequested == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  };
  std::vector<std::string> progressTexts;
  {
    platform::Override<platform::OdbcService> use(hold);
    script.When(resources::IDD_GATHER_SELECTION, [](HWND dialog) {
      EXPECT_EQ(SendDlgItemMessageA(dialog, 1002, LB_GETCOUNT, 0, 0), 4);
      Click(dialog, IDOK);
    });
    script.When(resources::IDD_GATHER_PROGRESS, [&](HWND dialog) {
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
  EXPECT_EQ(progressTexts, std::vector<std::string>{"PDC01 System"});
  EXPECT_EQ(Status("PDC01", 0), corvid::kStatusCancelled);
  EXPECT_EQ(Status("PDC01", 1), corvid::kStatusCancelled);
  EXPECT_EQ(Stored("System", "PDC01").size(), 20u) << "two transactions of ten; the rest rolled back";
  const std::string runLog = machine.Read("drives/c/Corvid/Corvid.log");
  EXPECT_NE(runLog.find("OPERATION CANCELLED"), std::string::npos) << runLog;
  EXPECT_TRUE(desktop.Boxes().empty());

  script.When(resources::IDD_GATHER_SELECTION, [](HWND dialog) { Click(dialog, IDOK); });
  Click(main, kGo);
  EXPECT_EQ(Status("WS04", 2), corvid::kStatusCompleted);
  ExpectEverythingStoredOnce();
  EXPECT_EQ(corvid::workerThread, nullptr);
}

TEST_P(MainWindowTest, ADatabaseFailureIsToldOverTheProgressAndHoldsTheWorkerTillAnswered) {
  testing_support::FailingOdbc odbc;
  odbc.Fail({.call = "SQLConnect", .occurrence = 1, .sqlState = "08001"});
  platform::Override<platform::OdbcService> use(odbc);
  Start();
  DialogScript script;
  script.When(resources::IDD_GATHER_SELECTION, [](HWND dialog) { Click(dialog, IDOK); });
  QString caption;
  bool progressStillOpen = false;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    caption = box->windowTitle();
    // The worker waits on the box: it has not ended the progress dialog.
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->isVisible() && window->windowTitle() == "Gathering in progress") progressStillOpen = true;
    box->button(QMessageBox::Ok)->click();
  });
  answerer.start(10);
  Click(main, kGo);
  EXPECT_EQ(caption, "SQLConnect");
  EXPECT_TRUE(progressStillOpen);
  EXPECT_EQ(Status("PDC01", 0), corvid::kStatusUnableToWrite);
  EXPECT_EQ(Status("PDC01", 1), corvid::kStatusCancelled) << "a database failure ends the run";
  EXPECT_NE(machine.Read("drives/c/Corvid/Corvid.log").find("UNABLE TO WRITE LOG"), std::string::npos);
}

TEST_P(MainWindowTest, ClosingSavesNothingAndEndsOnlyARunningTool) {
  DesktopRecorder desktop;
  CompanionTool tool;
  platform::Override<platform::ThreadsService> use(tool);
  Start();
  corvid::CompanionProcess = &tool.running;  // started earlier, closed since by the user
  tool.running = false;
  corvid::Settings.TimeOut = 5;
  platform::qt::WidgetOf(main)->close();
  EXPECT_EQ(corvid::CompanionProcess, &tool.running) << "a finished tool is left alone";
  EXPECT_EQ(StoredNumber("TimeOut"), 0xDEADBEEFu) << "closing does not save";
  tool.running = true;
  platform::qt::WidgetOf(main)->close();
  EXPECT_EQ(tool.terminated, 1);
  EXPECT_EQ(corvid::CompanionProcess, nullptr);
  EXPECT_TRUE(desktop.Boxes().empty());
}

TEST_P(MainWindowTest, GoWithoutTheDataSourceValuesSaysSoAndGathersNothing) {
  DesktopRecorder desktop;
  Start();
  machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n");
  DialogScript script;
  Click(main, kGo);
  EXPECT_TRUE(script.opened().empty());
  ASSERT_EQ(desktop.Boxes().size(), 1u);
  EXPECT_EQ(desktop.Boxes()[0].text, "Unable to read registry");
  EXPECT_EQ(desktop.Boxes()[0].caption, "(none)");
  EXPECT_EQ(desktop.Boxes()[0].type, static_cast<UINT>(MB_ICONHAND));
}

TEST_P(MainWindowTest, TheFirstStartMakesTheDefaultDataSourceBehindItsNotice) {
  DesktopRecorder desktop;
  machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n");
  machine.Write("drives/c/Corvid/Corvid.db", "");  // as the installer leaves it
  DialogScript script;
  Start();
  EXPECT_EQ(script.opened(), (std::vector<int>{resources::IDD_PREPARING, resources::IDD_MAIN}));
  EXPECT_EQ(corvid::Settings.DataSource.DSN, "Ravelin");
  EXPECT_EQ(StoredNumber("TimeOut"), 180u) << "the first save writes every default";
  EXPECT_TRUE(desktop.Boxes().empty());
}

TEST_P(MainWindowTest, AnEmptyDataSourceNameAsksForOneAndStartsTheTool) {
  DesktopRecorder desktop;
  CompanionTool tool;
  platform::Override<platform::ThreadsService> use(tool);
  machine.WriteSettings("\"InstallPath\"=\"C:\\\\Corvid\"\n\"DSN\"=\"\"\n");
  DialogScript script;
  Start();
  EXPECT_EQ(script.opened(), std::vector<int>{resources::IDD_MAIN}) << "no default source over a chosen name";
  ASSERT_EQ(desktop.Boxes().size(), 1u);
  EXPECT_EQ(desktop.Boxes()[0].text, "You need to specify Data Source.");
  EXPECT_EQ(desktop.Boxes()[0].caption, "Warning");
  EXPECT_EQ(desktop.Boxes()[0].type, static_cast<UINT>(MB_ICONEXCLAMATION));
  EXPECT_EQ(tool.started, std::vector<std::string>{"C:\\Corvid\\Dsnsmith.exe"});
  corvid::CompanionProcess = nullptr;
}

TEST_P(MainWindowTest, TheAboutBoxComesFromTheSystemMenuAndOnlyOkClosesIt) {
  DesktopRecorder desktop;
  Start();
  DialogScript script;
  std::string text;
  bool stayedOnClose = false;
  script.When(resources::IDD_ABOUT, [&](HWND dialog) {
    text = Text(dialog, 65534);
    platform::qt::WidgetOf(dialog)->close();
    Key(dialog, Qt::Key_Escape);
    stayedOnClose = platform::qt::WidgetOf(dialog) != nullptr && platform::qt::WidgetOf(dialog)->isVisible();
    Click(dialog, 201);
  });
  EXPECT_EQ(SendMessageA(main, WM_SYSCOMMAND, 9900, 0), TRUE);
  EXPECT_EQ(text, "Corvid 1.01");
  EXPECT_TRUE(stayedOnClose);
  EXPECT_EQ(SendMessageA(main, WM_SYSCOMMAND, SC_MOVE, 0), FALSE) << "other system commands are not its own";
}

// Boxes on standard error, where a death test can read them.
class PrintedBoxes : public DesktopRecorder {
 public:
  int MessageBox(HWND, const char* text, const char* caption, UINT) override {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return IDOK;
  }
};

TEST(MainWindowStartTest, AnUninstalledProgramSaysSoAndEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  testing_support::TempMachine machine;  // no settings key
  EXPECT_EXIT(
      {
        testing_support::EnsureQtWindows();
        corvid::Instance = resources::ProgramInstance();
        PrintedBoxes boxes;
        corvid::CreateMainWindow();
      },
      ::testing::ExitedWithCode(0), "\\[Error!\\] Program has not been installed correctly");
}

TEST_P(MainWindowTest, NoComputerSelectedMeansNoGather) {
  DesktopRecorder desktop;
  Start();
  ClickRow(4);
  ClickRow(4, Qt::ControlModifier);  // nothing left selected
  DialogScript script;
  bool okEnabled = true;
  script.When(resources::IDD_GATHER_SELECTION, [&](HWND dialog) {
    okEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
    platform::qt::WidgetOf(dialog)->close();  // the close box does nothing
    Click(dialog, 9);
    Key(dialog, Qt::Key_Escape);
  });
  Click(main, kGo);
  EXPECT_FALSE(okEnabled);
  EXPECT_EQ(script.opened(), std::vector<int>{resources::IDD_GATHER_SELECTION});
  EXPECT_EQ(desktop.helps, (std::vector<std::pair<std::string, ULONG_PTR>>{{"C:\\Corvid\\Corvid.hlp", 1008}}));
  EXPECT_EQ(Count("System"), 0u);
}

}  // namespace
