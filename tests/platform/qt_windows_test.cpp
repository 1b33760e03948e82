// The Qt window layer as the dialog procedures see it: templates laid out by
// Windows' dialog-unit rule, keys and clicks arriving as WM_COMMAND, rows
// drawn through WM_DRAWITEM, the system menu's commands, the progress bar's
// arithmetic, and messages sent from another thread.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QStyleOptionGroupBox>
#include <QLineEdit>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

#include "resources/dialogs.h"
#include "resources/strings.h"
#include "support/qt_dialogs.h"
#include "support/temp_machine.h"

namespace {

using testing_support::Click;
using testing_support::Control;
using testing_support::DialogScript;
using testing_support::Key;
using testing_support::PumpUntil;
using namespace resources;

struct Seen {
  UINT message;
  WPARAM wParam;
  bool onInterfaceThread;
};
std::vector<Seen> seen;
INT_PTR answer = FALSE;

INT_PTR Record(HWND, UINT message, WPARAM wParam, LPARAM) {
  seen.push_back({message, wParam, QThread::currentThread() == QCoreApplication::instance()->thread()});
  return message == WM_INITDIALOG ? TRUE : answer;
}

std::vector<DRAWITEMSTRUCT> drawn;
// Draws as the main window does: the row filled, the focus round all of it.
INT_PTR RecordDrawing(HWND, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_DRAWITEM) {
    const auto& row = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    drawn.push_back(row);
    HBRUSH brush = CreateSolidBrush(GetSysColor((row.itemState & ODS_SELECTED) ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    FillRect(row.hDC, &row.rcItem, brush);
    DeleteObject(brush);
    if (row.itemState & ODS_FOCUS) DrawFocusRect(row.hDC, &row.rcItem);
  }
  return message == WM_INITDIALOG || message == WM_DRAWITEM;
}

std::vector<UINT> Commands() {
  std::vector<UINT> ids;
  for (const Seen& s : seen)
    if (s.message == WM_COMMAND && HIWORD(s.wParam) == BN_CLICKED) ids.push_back(LOWORD(s.wParam));
  return ids;
}

class QtWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::EnsureQtWindows();
    seen.clear();
    drawn.clear();
    answer = FALSE;
  }
  HWND Open(int id, DLGPROC procedure = Record) {
    return CreateDialogParamA(ProgramInstance(), MakeIntResource(id), nullptr, procedure, 0);
  }
};

int Round(int value, int numerator, int denominator) { return (value * numerator + denominator / 2) / denominator; }

// A control without an id of its own: the one of its kind and text.
QWidget* Unnamed(HWND dialog, const ControlTemplate& c) {
  for (QWidget* child : platform::qt::WidgetOf(dialog)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    auto* label = qobject_cast<QLabel*>(child);
    auto* box = qobject_cast<QGroupBox*>(child);
    if (c.kind == ControlClass::StaticText && label != nullptr && label->text() == c.text) return child;
    if (c.kind == ControlClass::GroupBox && box != nullptr && box->title() == c.text) return child;
  }
  return nullptr;
}

TEST_F(QtWindowsTest, EveryControlSitsWhereItsDialogUnitsPutIt) {
  for (const DialogTemplate& t : AllDialogTemplates()) {
    const auto units = platform::qt::DialogBaseUnits(t.font, t.pointSize);
    // An 8-point sans face: near the 6 by 13 of the face it stands in for.
    EXPECT_GE(units.x, 5);
    EXPECT_LE(units.x, 8);
    EXPECT_GE(units.y, 12);
    EXPECT_LE(units.y, 16);
    HWND dialog = Open(t.id);
    ASSERT_NE(dialog, nullptr) << t.id;
    RECT client{};
    ASSERT_TRUE(GetClientRect(dialog, &client));
    EXPECT_EQ(client.right, Round(t.cx, units.x, 4)) << t.id;
    EXPECT_EQ(client.bottom, Round(t.cy, units.y, 8)) << t.id;
    for (const ControlTemplate& c : t.controls) {
      const bool text = c.kind == ControlClass::StaticText || c.kind == ControlClass::GroupBox;
      if (c.id == IDC_STATIC && !text) continue;
      QWidget* widget = c.id != IDC_STATIC ? Control(dialog, c.id) : Unnamed(dialog, c);
      ASSERT_NE(widget, nullptr) << t.id << "/" << c.id << " " << c.text;
      const QRect r = widget->geometry();
      EXPECT_EQ(r.x(), Round(c.x, units.x, 4)) << t.id << "/" << c.id;
      EXPECT_EQ(r.y(), Round(c.y, units.y, 8)) << t.id << "/" << c.id;
      EXPECT_EQ(r.width(), Round(c.cx, units.x, 4)) << t.id << "/" << c.id;
      // A combo box's template height is its dropped list's.
      if (c.kind != ControlClass::ComboBox) {
        EXPECT_EQ(r.height(), Round(c.cy, units.y, 8)) << t.id << "/" << c.id;
      }
      EXPECT_TRUE(QRect(0, 0, client.right, client.bottom).contains(r)) << t.id << "/" << c.id << " is clipped";
      // Nothing cut: a caption fits inside its control, a static text's
      // lines in its rectangle, a group's title as clear of the frame's
      // right end as of its left.
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        const QString caption = button->text().remove('&');
        EXPECT_LE(button->fontMetrics().horizontalAdvance(caption), r.width() - 4) << t.id << "/" << c.id;
      } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        const QRect lines = label->fontMetrics().boundingRect(QRect(0, 0, r.width(), 1000),
                                                              Qt::TextWordWrap, label->text());
        EXPECT_LE(lines.width(), r.width()) << t.id << "/" << c.text;
        EXPECT_LE(lines.height(), r.height()) << t.id << "/" << c.text;
      } else if (auto* box = qobject_cast<QGroupBox*>(widget); box != nullptr && !box->title().isEmpty()) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.textAlignment = box->alignment();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        EXPECT_LE(title.right() + 1, r.width() - title.left()) << t.id << "/" << c.text;
      }
    }
    DestroyWindow(dialog);
  }
}

// Windows' default frame: a dark line round the button's bevel.
bool LooksDefault(HWND dialog, int id) {
  QWidget* button = Control(dialog, id);
  return button->grab().toImage().pixel(0, 0) == button->palette().color(QPalette::Shadow).rgb();
}

TEST_F(QtWindowsTest, KeysAndTheCloseBoxReachTheProcedureAsWindowsSendsThem) {
  HWND dialog = Open(IDD_GATHER_SELECTION);
  ASSERT_NE(dialog, nullptr);
  QWidget* window = platform::qt::WidgetOf(dialog);
  window->show();
  ASSERT_TRUE(PumpUntil([&] { return window->isActiveWindow(); }));
  Control(dialog, 1002)->setFocus();
  EXPECT_TRUE(LooksDefault(dialog, IDOK));
  EXPECT_FALSE(LooksDefault(dialog, 9));
  Key(dialog, Qt::Key_Return);
  Key(dialog, Qt::Key_Escape);
  // With Help focused, Enter is Help's, not the default button's, and Help
  // shows it; the frame goes back when the focus leaves the buttons.
  Control(dialog, 9)->setFocus();
  EXPECT_TRUE(LooksDefault(dialog, 9));
  EXPECT_FALSE(LooksDefault(dialog, IDOK));
  Key(dialog, Qt::Key_Return);
  Click(dialog, 2);
  Control(dialog, 1002)->setFocus();
  EXPECT_TRUE(LooksDefault(dialog, IDOK));
  EXPECT_FALSE(LooksDefault(dialog, 9));
  // A disabled default button is not pressed by Enter.
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  Key(dialog, Qt::Key_Return);
  EXPECT_EQ(Commands(), (std::vector<UINT>{IDOK, IDCANCEL, 9, IDCANCEL}));

  // The close box: WM_CLOSE, and what the procedure leaves becomes IDCANCEL.
  seen.clear();
  window->close();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_CLOSE));
  EXPECT_EQ(Commands(), std::vector<UINT>{IDCANCEL});
  EXPECT_TRUE(window->isVisible()) << "only the procedure ends a dialog";
  DestroyWindow(dialog);
  EXPECT_EQ(platform::qt::WidgetOf(dialog), nullptr);
  EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, IDOK, 0), 0) << "a window that is gone answers nothing";
}

TEST_F(QtWindowsTest, AModalDialogReturnsWhatEndDialogGave) {
  DialogScript script;
  script.When(IDD_SETTINGS, [](HWND dialog) { EndDialog(dialog, 42); });
  EXPECT_EQ(DialogBoxParamA(ProgramInstance(), MakeIntResource(IDD_SETTINGS), nullptr, Record, 0), 42);
  EXPECT_EQ(DialogBoxParamA(ProgramInstance(), MakeIntResource(999), nullptr, Record, 0), -1);
}

INT_PTR GivesNoFocus(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Record(dialog, message, wParam, lParam);
  return FALSE;
}

TEST_F(QtWindowsTest, NoControlHasTheFocusWhenTheProcedureGivesNone) {
  DialogScript script;
  QWidget* focused = nullptr;
  script.When(IDD_GATHER_PROGRESS, [&](HWND dialog) {
    PumpUntil([&] { return platform::qt::WidgetOf(dialog)->isActiveWindow(); }, std::chrono::seconds(2));
    focused = QApplication::focusWidget();
    QTest::keyClick(focused != nullptr ? focused : platform::qt::WidgetOf(dialog), Qt::Key_Space);
    EndDialog(dialog, 0);
  });
  DialogBoxParamA(ProgramInstance(), MakeIntResource(IDD_GATHER_PROGRESS), nullptr, GivesNoFocus, 0);
  EXPECT_EQ(qobject_cast<QAbstractButton*>(focused), nullptr);
  EXPECT_TRUE(Commands().empty()) << "Space pressed Cancel";
}

TEST_F(QtWindowsTest, TheProgressBarKeepsItsSixteenBitArithmetic) {
  HWND dialog = Open(IDD_GATHER_PROGRESS);
  auto send = [&](UINT message, WPARAM w, LPARAM l) { return SendDlgItemMessageA(dialog, 1024, message, w, l); };
  send(PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(70000 & 0xFFFF)));
  EXPECT_EQ(send(PBM_GETRANGE, FALSE, 0), 4464);
  EXPECT_EQ(send(PBM_SETPOS, 9000, 0), 0);
  EXPECT_EQ(send(PBM_GETPOS, 0, 0), 4464) << "clamped to the range";
  send(PBM_SETRANGE, 0, MAKELPARAM(0, 10));
  send(PBM_SETSTEP, 4, 0);
  send(PBM_SETPOS, 0, 0);
  EXPECT_EQ(send(PBM_STEPIT, 0, 0), 0);
  send(PBM_STEPIT, 0, 0);
  EXPECT_EQ(send(PBM_GETPOS, 0, 0), 8);
  send(PBM_STEPIT, 0, 0);
  EXPECT_EQ(send(PBM_GETPOS, 0, 0), 2) << "past the end it starts over";
  DestroyWindow(dialog);
}

TEST_F(QtWindowsTest, RowsAreDrawnByTheProcedureAndSelectedByTheUser) {
  HWND dialog = Open(IDD_MAIN, RecordDrawing);
  HWND view = GetDlgItem(dialog, 1002);
  LVCOLUMNA column{LVCF_WIDTH | LVCF_TEXT, 0, 150, const_cast<char*>("Computer"), 0, 0};
  SendMessageA(view, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
  column.cx = 200;
  column.pszText = const_cast<char*>("Type");
  SendMessageA(view, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
  EXPECT_EQ(SendMessageA(view, LVM_GETCOLUMNWIDTH, 1, 0), 200);
  for (int i = 0; i < 3; ++i) {
    LVITEMA item{};
    item.mask = LVIF_PARAM | LVIF_STATE;
    item.iItem = i;
    item.lParam = i;
    item.stateMask = LVIS_SELECTED;
    item.state = i < 2 ? static_cast<UINT>(LVIS_SELECTED) : 0u;
    SendMessageA(view, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  platform::qt::WidgetOf(dialog)->grab();
  ASSERT_GE(drawn.size(), 3u);
  for (const DRAWITEMSTRUCT& row : drawn) {
    EXPECT_EQ(row.itemAction, static_cast<UINT>(ODA_DRAWENTIRE));
    EXPECT_EQ((row.itemState & ODS_SELECTED) != 0, row.itemID < 2) << row.itemID;
    EXPECT_EQ(row.rcItem.left, 0);
    EXPECT_GE(row.rcItem.right, 350) << "the whole row, both columns";
    EXPECT_GE(row.rcItem.bottom - row.rcItem.top, 16) << "high enough for the images";
    EXPECT_EQ(row.itemData, row.itemID);
  }
  // A click on the third row alone selects it alone; Ctrl adds the first.
  auto* widget = static_cast<QAbstractItemView*>(platform::qt::WidgetOf(view));
  const QRect third = widget->visualRect(widget->model()->index(2, 0));
  QTest::mouseClick(widget->viewport(), Qt::LeftButton, Qt::NoModifier, third.center());
  const QRect first = widget->visualRect(widget->model()->index(0, 0));
  QTest::mouseClick(widget->viewport(), Qt::LeftButton, Qt::ControlModifier, first.center());
  std::vector<bool> selected;
  for (int i = 0; i < 3; ++i) selected.push_back(SendMessageA(view, LVM_GETITEMSTATE, i, LVIS_SELECTED) != 0);
  EXPECT_EQ(selected, (std::vector<bool>{true, false, true}));

  // Shift then moves the focus and the selection: what reaches the screen
  // is what a full repaint draws, no piece of a focus rectangle left.
  QWidget* window = platform::qt::WidgetOf(dialog);
  window->show();
  ASSERT_TRUE(PumpUntil([&] { return window->windowHandle()->isExposed(); }));
  QCoreApplication::processEvents();
  const QRect second = widget->visualRect(widget->model()->index(1, 0));
  QTest::mouseClick(widget->viewport(), Qt::LeftButton, Qt::ShiftModifier, second.center());
  QCoreApplication::processEvents();
  const QPoint at = widget->viewport()->mapTo(window, QPoint(0, 0));
  const QImage shown = QGuiApplication::primaryScreen()
                           ->grabWindow(window->winId(), at.x(), at.y(), widget->viewport()->width(),
                                        widget->viewport()->height())
                           .toImage()
                           .convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown, widget->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32));
  SendMessageA(view, LVM_DELETEALLITEMS, 0, 0);
  EXPECT_EQ(SendMessageA(view, LVM_GETITEMCOUNT, 0, 0), 0);
  DestroyWindow(dialog);
}

TEST_F(QtWindowsTest, TheSystemMenuSendsItsCommandsAndAltSpaceOpensIt) {
  HWND dialog = Open(IDD_MAIN);
  platform::qt::WidgetOf(dialog)->show();
  HMENU menu = GetSystemMenu(dialog, FALSE);
  ASSERT_NE(menu, nullptr);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, 9900, "&About");
  EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
  std::vector<QString> items;
  QTimer::singleShot(0, [&] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    for (QAction* action : popup->actions())
      if (!action->isSeparator()) items.push_back(action->text());
    popup->actions().last()->trigger();
    popup->close();
  });
  answer = TRUE;
  Key(dialog, Qt::Key_Space, Qt::AltModifier);
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items.back(), "&About");
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().message, static_cast<UINT>(WM_SYSCOMMAND));
  EXPECT_EQ(seen.back().wParam, 9900u);

  // The window manager keeps the title bar's menu: the program's items are
  // reached through a menu bar above the client area, greyed as Windows
  // greys them for a normal window without sizing frame.
  auto* bar = platform::qt::WidgetOf(dialog)->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  RECT client{};
  GetClientRect(dialog, &client);
  EXPECT_EQ(platform::qt::WidgetOf(dialog)->height() - bar->height(), client.bottom);
  EXPECT_GE(Control(dialog, 1002)->y(), bar->height()) << "nothing under the bar";
  QMenu* barMenu = bar->actions().first()->menu();
  ASSERT_NE(barMenu, nullptr);
  EXPECT_EQ(bar->actions().first()->text(), "&Ravelin");
  Q_EMIT barMenu->aboutToShow();
  std::vector<std::pair<QString, bool>> shown;
  for (QAction* action : barMenu->actions())
    if (!action->isSeparator()) shown.emplace_back(action->text(), action->isEnabled());
  const std::vector<std::pair<QString, bool>> expected = {
      {"&Restore", false}, {"&Move", true},           {"&Size", false}, {"Mi&nimize", true},
      {"Ma&ximize", false}, {"&Close\tAlt+F4", true}, {"&About", true}};
  EXPECT_EQ(shown, expected);
  seen.clear();
  barMenu->actions().last()->trigger();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].wParam, 9900u);
  HWND options = Open(IDD_LOG_OPTIONS);
  EXPECT_EQ(GetSystemMenu(options, FALSE), nullptr) << "a dialog without a system menu has none to extend";
  DestroyWindow(options);
  DestroyWindow(dialog);
}

TEST_F(QtWindowsTest, AWorkersMessagesRunOnTheInterfaceThreadAndABoxHoldsTheWorker) {
  HWND dialog = Open(IDD_GATHER_PROGRESS);
  std::atomic<bool> sent{false};
  std::atomic<bool> answered{false};
  std::atomic<int> boxResult{0};
  std::thread worker([&] {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    SetDlgItemTextA(dialog, 1025, "PDC01 System");
    sent = true;
    boxResult = MessageBoxA(dialog, "The database went away", "SQLExecute", MB_OK | MB_ICONHAND);
    answered = true;
  });
  // The box runs its own loop on this thread; it is answered from there.
  bool sentBeforeBox = false;
  bool answeredBeforeClick = true;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    sentBeforeBox = sent;
    answeredBeforeClick = answered;
    title = box->windowTitle();
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  answerer.start(20);
  ASSERT_TRUE(PumpUntil([&] { return answered.load(); }));
  worker.join();
  EXPECT_TRUE(sentBeforeBox);
  EXPECT_FALSE(answeredBeforeClick) << "the box holds the worker until it is answered";
  EXPECT_EQ(title, "SQLExecute");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(boxResult, IDOK);
  ASSERT_EQ(Commands(), std::vector<UINT>{IDOK});
  for (const Seen& s : seen) EXPECT_TRUE(s.onInterfaceThread);
  EXPECT_EQ(testing_support::Text(dialog, 1025), "PDC01 System");
  DestroyWindow(dialog);
}

// Answers the next modal file dialog from inside its own loop.
struct FileDialogSeen {
  QString title;
  QStringList filters;
  QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
  QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
  bool confirmOverwrite = false;
  QString shownName;
  QString filterShown;
  QString folder;
  bool stayedOpen = false;
};

void AnswerFileDialog(FileDialogSeen& out, const QString& name) {
  QTimer::singleShot(0, [&out, name] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    out.title = dialog->windowTitle();
    out.filters = dialog->nameFilters();
    out.mode = dialog->acceptMode();
    out.fileMode = dialog->fileMode();
    out.confirmOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    if (auto* field = dialog->findChild<QLineEdit*>()) out.shownName = field->text();
    if (auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo")) out.filterShown = combo->currentText();
    out.folder = dialog->directory().absolutePath();
    if (name.isEmpty()) {
      dialog->reject();
    } else if (name.startsWith('=')) {
      // "=": accepted with what it shows; "=TEXT": TEXT typed first.
      auto* field = dialog->findChild<QLineEdit*>();
      if (name.size() > 1) field->setText(name.mid(1));
      QMetaObject::invokeMethod(dialog, "accept");
      out.stayedOpen = dialog->isVisible();
      if (out.stayedOpen) dialog->reject();
    } else {
      dialog->selectFile(name);
      QMetaObject::invokeMethod(dialog, "accept");
    }
  });
}

TEST_F(QtWindowsTest, FileDialogsAskWhatTheRequestSaysAndAnswerFullPaths) {
  testing_support::TempMachine machine;
  machine.Write("lists/old.imp", "PDC01\n");
  const std::string folder = (machine.root() / "lists").string();
  char path[260] = "*.imp;*.exp";
  char title[260] = {};
  OPENFILENAMEA request{};
  request.lStructSize = sizeof request;
  request.lpstrFilter = "Import Files (*.imp;*.exp)\0*.imp;*.exp\0";
  request.nFilterIndex = 1;
  request.lpstrFile = path;
  request.nMaxFile = sizeof path;
  request.lpstrFileTitle = title;
  request.nMaxFileTitle = sizeof title;
  request.lpstrTitle = "Import Computer list";
  request.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  FileDialogSeen asked;
  AnswerFileDialog(asked, QString::fromStdString(folder + "/old.imp"));
  ASSERT_TRUE(GetOpenFileNameA(&request));
  EXPECT_EQ(asked.title, "Import Computer list");
  EXPECT_EQ(asked.filterShown, "Import Files (*.imp;*.exp)");
  EXPECT_EQ(asked.fileMode, QFileDialog::ExistingFile) << "the file must exist";
  EXPECT_EQ(asked.shownName, "*.imp;*.exp");
  EXPECT_EQ(std::string(path), folder + "/old.imp") << "outside the drives a host path";
  EXPECT_EQ(std::string(title), "old.imp");
  EXPECT_EQ(request.nFileOffset, folder.size() + 1);

  // A Windows path in, the folder it stands for shown, a Windows path out.
  machine.Write("drives/c/Program Files/Corvid/corvid", "");
  std::snprintf(path, sizeof path, "%s", "C:\\Program Files\\Corvid\\Corvid.log");
  request.lpstrFilter = "Log Files (*.log)\0*.log\0";
  request.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
  AnswerFileDialog(asked, QStringLiteral("="));
  ASSERT_TRUE(GetSaveFileNameA(&request));
  EXPECT_EQ(asked.shownName, "Corvid.log");
  EXPECT_EQ(asked.folder.toStdString(), (machine.root() / "drives/c/Program Files/Corvid").string());
  EXPECT_EQ(std::string(path), "C:\\Program Files\\Corvid\\Corvid.log");
  EXPECT_EQ(std::string(title), "Corvid.log");
  EXPECT_EQ(request.nFileOffset, 24);
  EXPECT_EQ(request.nFileExtension, 31);

  // A pattern in the name field filters; it names no file.
  std::snprintf(path, sizeof path, "%s", "*.exp");
  request.lpstrFilter = "Export Files (*.exp)\0*.exp\0";
  request.lpstrInitialDir = nullptr;
  AnswerFileDialog(asked, QStringLiteral("=*.txt"));
  EXPECT_FALSE(GetSaveFileNameA(&request));
  EXPECT_TRUE(asked.stayedOpen);

  // Save: the overwrite question when asked for, a name without extension
  // kept as typed.
  std::snprintf(path, sizeof path, "%s", "*.exp");
  request.lpstrFilter = "Export Files (*.exp)\0*.exp\0";
  request.lpstrTitle = "Export Computer list";
  request.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
  AnswerFileDialog(asked, QString::fromStdString(folder + "/plain"));
  ASSERT_TRUE(GetSaveFileNameA(&request));
  EXPECT_EQ(asked.mode, QFileDialog::AcceptSave);
  EXPECT_TRUE(asked.confirmOverwrite);
  EXPECT_EQ(std::string(path), folder + "/plain");
  EXPECT_EQ(request.nFileExtension, 0) << "no extension";

  // A path longer than the caller's buffer is refused, as Windows does.
  request.nMaxFile = 8;
  AnswerFileDialog(asked, QString::fromStdString(folder + "/plain"));
  EXPECT_FALSE(GetSaveFileNameA(&request));
  request.nMaxFile = sizeof path;
  AnswerFileDialog(asked, QString());
  EXPECT_FALSE(GetSaveFileNameA(&request)) << "cancelled";
}

TEST_F(QtWindowsTest, HelpAndTheTextViewerGetHostPathsFromWindowsOnes) {
  testing_support::TempMachine machine;
  machine.Write("drives/c/Corvid/Corvid.hlp", "@1001 The main window\nText.\n@1003 Settings\nMore.\n");
  machine.Write("drives/c/Corvid/run log.log", "a run\n");
  machine.Write("visual.sh", "#!/bin/sh\nprintf '%s' \"$1\" > \"$(dirname \"$0\")/opened\"\n");
  const std::string script = (machine.root() / "visual.sh").string();
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  testing_support::ScopedEnv visual("VISUAL", script);

  EXPECT_TRUE(WinHelpA(nullptr, "C:\\Corvid\\Corvid.hlp", HELP_CONTEXT, 1003));
  bool shown = false;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible() && window->windowTitle() == "Corvid Help") shown = true;
  EXPECT_TRUE(shown);
  EXPECT_TRUE(WinHelpA(nullptr, nullptr, HELP_QUIT, 0));

  EXPECT_GT(WinExec("Notepad.exe C:\\Corvid\\run log.log", SW_SHOWDEFAULT), 31u);
  ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(machine.root() / "opened"); }));
  PumpUntil([&] { return !machine.Read("opened").empty(); });
  EXPECT_EQ(machine.Read("opened"), (machine.root() / "drives/c/Corvid/run log.log").string());
  EXPECT_EQ(WinExec("Calc.exe", SW_SHOWDEFAULT), 2u) << "only the text viewer is known";
}

}  // namespace
