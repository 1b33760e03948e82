// The Qt window layer as the dialog procedures see it: templates laid out by the
// dialog-unit rule, keys and clicks as WM_COMMAND, rows drawn through WM_DRAWITEM, the system menu.
#include <gtest/gtest.h>

#include <set>

#include "resources/dialogs.h"
#include "resources/strings.h"
#include "support/qt_dialogs.h"

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
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) seen.push_back("click " + std::to_string(LOWORD(wParam)));
  if (message == WM_CLOSE) seen.push_back("close");
  if (message == WM_SYSCOMMAND) seen.push_back("menu " + std::to_string(wParam));
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
  void SetUp() override { EnsureQtWindows(), seen.clear(), drawn.clear(), init = TRUE, answer = FALSE; }
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
    HWND dialog = Open(t.id);
    ASSERT_NE(dialog, nullptr) << t.id;
    RECT client{};
    ASSERT_TRUE(GetClientRect(dialog, &client));
    EXPECT_EQ(QPoint(client.right, client.bottom), QPoint(Round(t.cx, units.x, 4), Round(t.cy, units.y, 8))) << t.id;
    for (const ControlTemplate& c : t.controls) {
      SCOPED_TRACE(std::to_string(t.id) + "/" + std::to_string(c.id) + " " + c.text);
      EXPECT_TRUE(c.id == IDC_STATIC || ids.insert(c.id).second) << "ids unique";
      EXPECT_EQ(c.style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
      const bool isDefault = c.kind == ControlClass::DefPushButton;
      EXPECT_TRUE((!isDefault && c.kind != ControlClass::PushButton) || isDefault == ((c.style & 0xF) == BS_DEFPUSHBUTTON));
      if (isDefault) defaultButtons.push_back(c.id);
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
        const QRect lines = label->fontMetrics().boundingRect(QRect(0, 0, r.width(), 1000), Qt::TextWordWrap, label->text());
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
  return Control(dialog, id)->grab().toImage().pixel(0, 0) == Control(dialog, id)->palette().color(QPalette::Shadow).rgb();
}

TEST_F(QtWindowsTest, KeysAndTheCloseBoxReachTheProcedureAsWindowsSendsThem) {
  HWND dialog = Open(IDD_GATHER_SELECTION);
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
  // Selection by the user is the main window's test; here what the screen shows of it.
  auto* widget = static_cast<QAbstractItemView*>(WidgetOf(view));
  auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(widget->viewport(), Qt::LeftButton, modifiers, widget->visualRect(widget->model()->index(row, 0)).center());
    QCoreApplication::processEvents();
  };
  click(2, Qt::NoModifier);

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
  DestroyWindow(dialog);
}

TEST_F(QtWindowsTest, TheSystemMenuSendsItsCommandsFromTheMenuBar) {
  HWND dialog = Open(IDD_MAIN);
  QWidget* window = WidgetOf(dialog);
  window->show();
  HMENU menu = GetSystemMenu(dialog, FALSE);
  ASSERT_NE(menu, nullptr);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, 9900, "&About");
  EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
  answer = TRUE;
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
  EXPECT_EQ(seen, Seen{"menu 9900"});
  DestroyWindow(dialog);
}

}  // namespace
