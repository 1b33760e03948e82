// The Qt window layer as the dialog procedures see it: templates laid out by
// Windows' dialog-unit rule, keys and clicks arriving as WM_COMMAND, rows
// drawn through WM_DRAWITEM, the system menu, the progress bar's arithmetic,
// messages sent from another thread, file dialogs, help and the text viewer.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "resources/dialogs.h"
#include "resources/strings.h"
#include "support/qt_dialogs.h"
#include "support/temp_machine.h"

namespace {

using namespace testing_support;
using namespace resources;
using platform::qt::WidgetOf;
using Seen = std::vector<std::string>;

Seen seen;  // the clicks, closes and system commands the procedure got
std::vector<DRAWITEMSTRUCT> drawn;
INT_PTR init = TRUE, answer = FALSE;  // what the procedure answers to WM_INITDIALOG, to the rest

// Records; draws rows as the main window does: filled, the focus round all of it.
INT_PTR Record(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  const std::string where = QThread::currentThread() == qApp->thread() ? "" : " off the interface thread";
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) seen.push_back("click " + std::to_string(LOWORD(wParam)) + where);
  if (message == WM_CLOSE) seen.push_back("close" + where);
  if (message == WM_SYSCOMMAND) seen.push_back("menu " + std::to_string(wParam) + where);
  if (message != WM_DRAWITEM) return message == WM_INITDIALOG ? init : answer;
  const auto& row = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  drawn.push_back(row);
  HBRUSH brush = CreateSolidBrush(GetSysColor((row.itemState & ODS_SELECTED) ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  FillRect(row.hDC, &row.rcItem, brush);
  DeleteObject(brush);
  if (row.itemState & ODS_FOCUS) DrawFocusRect(row.hDC, &row.rcItem);
  return TRUE;
}

class QtWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtWindows();
    seen.clear();
    drawn.clear();
    init = TRUE;
    answer = FALSE;
  }
  HWND Open(int id) { return CreateDialogParamA(ProgramInstance(), MakeIntResource(id), nullptr, Record, 0); }
};

int Round(int value, int numerator, int denominator) { return (value * numerator + denominator / 2) / denominator; }

// A control without an id of its own: the label or group box of its text.
QWidget* Unnamed(HWND dialog, const ControlTemplate& c) {
  for (QWidget* child : WidgetOf(dialog)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    auto* label = qobject_cast<QLabel*>(child);
    auto* box = qobject_cast<QGroupBox*>(child);
    if ((label != nullptr && label->text() == c.text) || (box != nullptr && box->title() == c.text)) return child;
  }
  return nullptr;
}

TEST_F(QtWindowsTest, EveryTemplateIsWellFormedAndEveryControlSitsWhereItsDialogUnitsPutIt) {
  // Enter activates the one default push button; the progress and helper windows have none.
  std::map<int, std::vector<int>> defaults = {{100, {9}}, {104, {1032}}, {106, {1}}, {111, {}}, {112, {1}}, {115, {}}, {117, {}}, {200, {201}}};
  EXPECT_EQ(AllDialogTemplates().size(), defaults.size());
  for (const DialogTemplate& t : AllDialogTemplates()) {
    // Only the main window shows at once; a caption style without a text would draw an empty title bar.
    EXPECT_EQ((t.style & WS_VISIBLE) != 0, t.id == IDD_MAIN) << t.id;
    EXPECT_TRUE((t.style & WS_POPUP) && (t.style & DS_SETFONT) && ((t.style & WS_CAPTION) == WS_CAPTION) == (t.caption != nullptr));
    std::set<int> ids;
    std::vector<int> defaultButtons;
    const auto units = platform::qt::DialogBaseUnits(t.font, t.pointSize);
    // An 8-point sans face: near the 6 by 13 of the face it stands in for.
    EXPECT_TRUE(units.x >= 5 && units.x <= 8 && units.y >= 12 && units.y <= 16) << units.x << "x" << units.y;
    HWND dialog = Open(t.id);
    ASSERT_NE(dialog, nullptr) << t.id;
    RECT client{};
    ASSERT_TRUE(GetClientRect(dialog, &client));
    EXPECT_EQ(client.right, Round(t.cx, units.x, 4)) << t.id;
    EXPECT_EQ(client.bottom, Round(t.cy, units.y, 8)) << t.id;
    for (const ControlTemplate& c : t.controls) {
      SCOPED_TRACE(std::to_string(t.id) + "/" + std::to_string(c.id) + " " + c.text);
      EXPECT_TRUE(c.id == IDC_STATIC || ids.insert(c.id).second) << "ids unique";
      EXPECT_EQ(c.style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
      if (c.kind == ControlClass::DefPushButton || c.kind == ControlClass::PushButton) {
        EXPECT_EQ(c.kind == ControlClass::DefPushButton, (c.style & 0xF) == BS_DEFPUSHBUTTON);
      }
      if (c.kind == ControlClass::DefPushButton) defaultButtons.push_back(c.id);
      const bool text = c.kind == ControlClass::StaticText || c.kind == ControlClass::GroupBox;
      if (c.id == IDC_STATIC && !text) continue;
      QWidget* widget = c.id != IDC_STATIC ? Control(dialog, c.id) : Unnamed(dialog, c);
      ASSERT_NE(widget, nullptr);
      const QRect r = widget->geometry();
      // A combo box's template height is its dropped list's.
      const int height = c.kind == ControlClass::ComboBox ? r.height() : Round(c.cy, units.y, 8);
      EXPECT_EQ(r, QRect(Round(c.x, units.x, 4), Round(c.y, units.y, 8), Round(c.cx, units.x, 4), height));
      EXPECT_TRUE(QRect(0, 0, client.right, client.bottom).contains(r)) << "clipped";
      // Nothing cut: a caption inside its control, a static text's lines in
      // its rectangle, a group's title as clear of the frame's right end as of its left.
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text().remove('&')), r.width() - 4);
      } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        const QRect lines =
            label->fontMetrics().boundingRect(QRect(0, 0, r.width(), 1000), Qt::TextWordWrap, label->text());
        EXPECT_TRUE(lines.width() <= r.width() && lines.height() <= r.height());
      } else if (auto* box = qobject_cast<QGroupBox*>(widget); box != nullptr && !box->title().isEmpty()) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.textAlignment = box->alignment();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        EXPECT_LE(title.right() + 1, r.width() - title.left());
      }
    }
    EXPECT_EQ(defaultButtons, defaults[t.id]) << t.id;
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
  QWidget* window = WidgetOf(dialog);
  window->show();
  ASSERT_TRUE(PumpUntil([&] { return window->isActiveWindow(); }));
  // The frame is on the focused push button, else on the default one.
  auto focus = [&](int id, int framed, int plain) {
    Control(dialog, id)->setFocus();
    EXPECT_TRUE(LooksDefault(dialog, framed) && !LooksDefault(dialog, plain)) << id;
  };
  focus(1002, IDOK, 9);
  Key(dialog, Qt::Key_Return);
  Key(dialog, Qt::Key_Escape);
  focus(9, 9, IDOK);  // Enter is Help's with Help focused
  Key(dialog, Qt::Key_Return);
  Click(dialog, 2);
  focus(1002, IDOK, 9);
  // A disabled default button is not pressed by Enter.
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  Key(dialog, Qt::Key_Return);
  // The close box: WM_CLOSE, and what the procedure leaves becomes IDCANCEL.
  window->close();
  EXPECT_EQ(seen, (Seen{"click 1", "click 2", "click 9", "click 2", "close", "click 2"}));
  EXPECT_TRUE(window->isVisible()) << "only the procedure ends a dialog";
  DestroyWindow(dialog);
  EXPECT_EQ(WidgetOf(dialog), nullptr);
  EXPECT_EQ(SendMessageA(dialog, WM_COMMAND, IDOK, 0), 0) << "a window that is gone answers nothing";
}

TEST_F(QtWindowsTest, ModalDialogsReturnWhatEndDialogGaveAndFocusNothingUnasked) {
  DialogScript script;
  script.When(IDD_SETTINGS, [](HWND dialog) { EndDialog(dialog, 42); });
  EXPECT_EQ(DialogBoxParamA(ProgramInstance(), MakeIntResource(IDD_SETTINGS), nullptr, Record, 0), 42);
  EXPECT_EQ(DialogBoxParamA(ProgramInstance(), MakeIntResource(999), nullptr, Record, 0), -1);
  // The progress dialog's procedure gives no control the focus: Space must not press Cancel.
  QWidget* focused = nullptr;
  script.When(IDD_GATHER_PROGRESS, [&](HWND dialog) {
    PumpUntil([&] { return WidgetOf(dialog)->isActiveWindow(); }, 2000);
    focused = QApplication::focusWidget();
    QTest::keyClick(focused != nullptr ? focused : WidgetOf(dialog), Qt::Key_Space);
    EndDialog(dialog, 0);
  });
  init = FALSE;
  DialogBoxParamA(ProgramInstance(), MakeIntResource(IDD_GATHER_PROGRESS), nullptr, Record, 0);
  EXPECT_EQ(qobject_cast<QAbstractButton*>(focused), nullptr);
  EXPECT_EQ(seen, Seen{}) << "Space pressed Cancel";
}

TEST_F(QtWindowsTest, RowsAreDrawnByTheProcedureAndSelectedByTheUser) {
  HWND dialog = Open(IDD_MAIN);
  HWND view = GetDlgItem(dialog, 1002);
  for (int i : {0, 1}) {
    LVCOLUMNA column{LVCF_WIDTH | LVCF_TEXT, 0, 150 + 50 * i, const_cast<char*>(i ? "Type" : "Computer"), 0, 0};
    SendMessageA(view, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  EXPECT_EQ(SendMessageA(view, LVM_GETCOLUMNWIDTH, 1, 0), 200);
  for (int i = 0; i < 3; ++i) {
    LVITEMA item{LVIF_PARAM | LVIF_STATE, i, 0, i < 2 ? UINT(LVIS_SELECTED) : 0u, LVIS_SELECTED, nullptr, 0, 0, i};
    SendMessageA(view, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  QWidget* window = WidgetOf(dialog);
  window->grab();
  ASSERT_GE(drawn.size(), 3u);
  // Each row whole, both columns, high enough for the images.
  for (const DRAWITEMSTRUCT& row : drawn) {
    EXPECT_TRUE(row.itemAction == ODA_DRAWENTIRE && ((row.itemState & ODS_SELECTED) != 0) == (row.itemID < 2) &&
                row.rcItem.left == 0 && row.rcItem.right >= 350 && row.rcItem.bottom - row.rcItem.top >= 16 &&
                row.itemData == row.itemID) << row.itemID;
  }
  // A click on the third row alone selects it alone; Ctrl adds the first.
  auto* widget = static_cast<QAbstractItemView*>(WidgetOf(view));
  auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(widget->viewport(), Qt::LeftButton, modifiers,
                      widget->visualRect(widget->model()->index(row, 0)).center());
    QCoreApplication::processEvents();
  };
  click(2, Qt::NoModifier);
  click(0, Qt::ControlModifier);
  std::string selected;
  for (int i = 0; i < 3; ++i) selected += SendMessageA(view, LVM_GETITEMSTATE, i, LVIS_SELECTED) ? "*" : ".";
  EXPECT_EQ(selected, "*.*");

  // Shift then moves the focus and the selection: what reaches the screen
  // is what a full repaint draws, no piece of a focus rectangle left.
  window->show();
  ASSERT_TRUE(PumpUntil([&] { return window->windowHandle()->isExposed(); }));
  QCoreApplication::processEvents();
  click(1, Qt::ShiftModifier);
  const QPoint at = widget->viewport()->mapTo(window, QPoint(0, 0));
  const QPixmap shown = QGuiApplication::primaryScreen()->grabWindow(window->winId(), at.x(), at.y(),
                                                                     widget->viewport()->width(), widget->viewport()->height());
  EXPECT_EQ(shown.toImage().convertToFormat(QImage::Format_RGB32),
            widget->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32));
  SendMessageA(view, LVM_DELETEALLITEMS, 0, 0);
  EXPECT_EQ(SendMessageA(view, LVM_GETITEMCOUNT, 0, 0), 0);
  DestroyWindow(dialog);
}

TEST_F(QtWindowsTest, TheSystemMenuSendsItsCommandsFromAltSpaceAndTheMenuBar) {
  HWND dialog = Open(IDD_MAIN);
  QWidget* window = WidgetOf(dialog);
  window->show();
  HMENU menu = GetSystemMenu(dialog, FALSE);
  ASSERT_NE(menu, nullptr);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, 9900, "&About");
  EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
  QString last;
  QTimer::singleShot(0, [&] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    last = popup->actions().last()->text();
    popup->actions().last()->trigger();
    popup->close();
  });
  answer = TRUE;
  Key(dialog, Qt::Key_Space, Qt::AltModifier);
  EXPECT_EQ(last, "&About");
  EXPECT_EQ(seen, Seen{"menu 9900"});

  // The window manager keeps the title bar's menu: the program's items are
  // reached through a menu bar above the client area, greyed as Windows
  // greys them for a normal window without sizing frame.
  auto* bar = window->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  RECT client{};
  GetClientRect(dialog, &client);
  EXPECT_EQ(window->height() - bar->height(), client.bottom);
  EXPECT_GE(Control(dialog, 1002)->y(), bar->height()) << "nothing under the bar";
  EXPECT_EQ(bar->actions().first()->text(), "&Ravelin");
  QMenu* barMenu = bar->actions().first()->menu();
  ASSERT_NE(barMenu, nullptr);
  Q_EMIT barMenu->aboutToShow();
  QString shown;  // "-" before a greyed item
  for (QAction* action : barMenu->actions()) shown += action->isSeparator() ? "" : (action->isEnabled() ? " " : " -") + action->text();
  EXPECT_EQ(shown, " -&Restore &Move -&Size Mi&nimize -Ma&ximize &Close\tAlt+F4 &About");
  barMenu->actions().last()->trigger();
  EXPECT_EQ(seen, (Seen{"menu 9900", "menu 9900"}));
  HWND options = Open(IDD_LOG_OPTIONS);
  EXPECT_EQ(GetSystemMenu(options, FALSE), nullptr) << "a dialog without a system menu has none to extend";
  DestroyWindow(options);
  DestroyWindow(dialog);
}

TEST_F(QtWindowsTest, AWorkersMessagesRunOnTheInterfaceThreadAndABoxHoldsTheWorker) {
  HWND dialog = Open(IDD_GATHER_PROGRESS);
  std::atomic<bool> sent{false}, answered{false};  // the worker's messages run on the interface thread
  std::thread worker([&] {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    SetDlgItemTextA(dialog, 1025, "PDC01 System");
    sent = true;
    seen.push_back("box answered " + std::to_string(MessageBoxA(dialog, "The database went away", "SQLExecute", MB_OK | MB_ICONHAND)));
    answered = true;
  });
  // The box runs its own loop on this thread; it is answered from there.
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    seen.push_back(box->windowTitle().toStdString() + (box->icon() == QMessageBox::Critical ? " critical" : "") +
                   (sent ? " after" : " before") + (answered ? " answered" : ""));
    box->button(QMessageBox::Ok)->click();
  });
  answerer.start(20);
  ASSERT_TRUE(PumpUntil([&] { return answered.load(); }));
  worker.join();
  // The box holds the worker till answered.
  EXPECT_EQ(seen, (Seen{"click 1", "SQLExecute critical after", "box answered 1"}));
  EXPECT_EQ(Text(dialog, 1025), "PDC01 System");
  DestroyWindow(dialog);
}

// Answers the next file dialog with `name` (a path selected; "" cancelled; "=" accepted
// as shown; "=TEXT" TEXT typed first) and tells what it showed and what the call gave back.
std::string folderShown;
std::string AskFile(BOOL (*ask)(OPENFILENAMEA*), OPENFILENAMEA& request, const QString& name) {
  QString shown = "(no dialog)";
  QTimer::singleShot(0, [&shown, name] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    auto* field = dialog->findChild<QLineEdit*>();
    auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
    folderShown = dialog->directory().absolutePath().toStdString();
    shown = dialog->windowTitle() + "|" + (combo ? combo->currentText() : "") + "|" + field->text() +
            (dialog->acceptMode() == QFileDialog::AcceptSave ? "|save" : "|open") +
            (dialog->fileMode() == QFileDialog::ExistingFile ? " existing" : "") +
            (dialog->testOption(QFileDialog::DontConfirmOverwrite) ? "" : " confirm");
    if (name.isEmpty()) return dialog->reject();
    if (!name.startsWith('=')) dialog->selectFile(name);
    if (name.size() > 1 && name.startsWith('=')) field->setText(name.mid(1));
    QMetaObject::invokeMethod(dialog, "accept");
    if (dialog->isVisible()) shown += " stayed";
    if (dialog->isVisible()) dialog->reject();
  });
  const BOOL ok = ask(&request);
  return shown.toStdString() + " -> " + (ok ? std::string(request.lpstrFile) + "|" + request.lpstrFileTitle + "|" +
                                                  std::to_string(request.nFileOffset) + "|" + std::to_string(request.nFileExtension)
                                            : "FALSE");
}

TEST_F(QtWindowsTest, FileDialogsAskWhatTheRequestSaysAndAnswerFullPaths) {
  TempMachine machine;
  machine.Write("lists/old.imp", "PDC01\n");
  machine.Write("drives/c/Program Files/Corvid/corvid", "");
  const std::string root = machine.root().string(), lists = root + "/lists";
  char path[260], title[260] = {};
  OPENFILENAMEA request{};
  request.lpstrFile = path;
  request.nMaxFile = sizeof path;
  request.lpstrFileTitle = title;
  request.nMaxFileTitle = sizeof title;
  request.lpstrTitle = "Import Computer list";
  auto set = [&](const char* file, const char* filter, DWORD flags) {
    std::snprintf(path, sizeof path, "%s", file);
    request.lpstrFilter = filter;
    request.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | flags;
  };
  // Outside the drives a host path; the filter as the program words it.
  set("*.imp;*.exp", "Import Files (*.imp;*.exp)\0*.imp;*.exp\0", OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
  EXPECT_EQ(AskFile(GetOpenFileNameA, request, QString::fromStdString(lists + "/old.imp")),
            "Import Computer list|Import Files (*.imp;*.exp)|*.imp;*.exp|open existing confirm -> " + lists + "/old.imp|old.imp|" + std::to_string(lists.size() + 1) + "|" + std::to_string(lists.size() + 5));
  // A Windows path in, the folder it stands for shown, a Windows path out.
  set("C:\\Program Files\\Corvid\\Corvid.log", "Log Files (*.log)\0*.log\0", OFN_OVERWRITEPROMPT);
  EXPECT_EQ(AskFile(GetSaveFileNameA, request, "="),
            "Import Computer list|Log Files (*.log)|Corvid.log|save confirm -> C:\\Program Files\\Corvid\\Corvid.log|Corvid.log|24|31");
  EXPECT_EQ(folderShown, root + "/drives/c/Program Files/Corvid");
  // A pattern in the name field filters; it names no file. A name without extension is kept as typed.
  set("*.exp", "Export Files (*.exp)\0*.exp\0", OFN_OVERWRITEPROMPT);
  const std::string exportAsked = "Import Computer list|Export Files (*.exp)|*.exp|save confirm";
  EXPECT_EQ(AskFile(GetSaveFileNameA, request, "=*.txt"), exportAsked + " stayed -> FALSE");
  EXPECT_EQ(AskFile(GetSaveFileNameA, request, QString::fromStdString(lists + "/plain")),
            exportAsked + " -> " + lists + "/plain|plain|" + std::to_string(lists.size() + 1) + "|0");
  // A path longer than the caller's buffer is refused, as Windows does.
  request.nMaxFile = 8;
  const std::string plainAsked = "Import Computer list|Export Files (*.exp)|plain|save confirm -> FALSE";
  EXPECT_EQ(AskFile(GetSaveFileNameA, request, QString::fromStdString(lists + "/plain")), plainAsked);
  request.nMaxFile = sizeof path;
  EXPECT_EQ(AskFile(GetSaveFileNameA, request, ""), plainAsked) << "cancelled";
}

}  // namespace
