// The help viewer and the text viewer on Qt's offscreen platform: the help
// window opens at the asked topic and is reused, a help file that cannot be
// read is told in a box; a file goes to $VISUAL, else xdg-open, else the
// built-in viewer, with awkward paths passed intact.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/qt/help_viewer.h"
#include "platform/windows/qt/text_viewer.h"
#include "support/temp_machine.h"

namespace {

using platform::qt::CloseHelp;
using platform::qt::OpenInTextViewer;
using platform::qt::ShowHelpTopic;
using testing_support::ScopedEnv;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<QWidget*> VisibleWindows(const QString& title) {
  std::vector<QWidget*> found;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible() && widget->windowTitle() == title) found.push_back(widget);
  return found;
}

// One offscreen application for the whole run, ended before the process
// exits: Qt's own globals are gone by the time a static one would end.
class QtApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    application_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "qt_viewer_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};
const auto* const kApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

class QtViewers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  void TearDown() override {
    CloseHelp();
    for (QWidget* widget : QApplication::topLevelWidgets()) widget->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

  QTemporaryDir dir_;
};

// ---- Help viewer ----

constexpr char kHelp[] =
    "# comment\r\n"
    "@1001 Contents\r\n"
    "The first topic.\r\n"
    "@1002 Run log options\r\n"
    "File        where the run log is written.\r\n"
    "@1003 Settings\r\n"
    "Timeout value (min)\r\n";

// The one help window's list and text pane; fails the test unless there is
// exactly one.
struct HelpWindow {
  QListWidget* topics = nullptr;
  QTextEdit* text = nullptr;
};
HelpWindow TheHelpWindow() {
  const auto windows = VisibleWindows(QStringLiteral("Corvid Help"));
  EXPECT_EQ(windows.size(), 1u);
  if (windows.size() != 1) return {};
  HelpWindow window{windows[0]->findChild<QListWidget*>(QStringLiteral("topics")),
                    windows[0]->findChild<QTextEdit*>(QStringLiteral("topicText"))};
  EXPECT_TRUE(window.topics != nullptr && window.text != nullptr && window.text->isReadOnly());
  return window;
}

TEST_F(QtViewers, HelpOpensAtTheAskedTopicInOneReusedWindow) {
  WriteFile(Path("Corvid.hlp"), kHelp);
  ASSERT_TRUE(ShowHelpTopic(nullptr, Path("Corvid.hlp"), 1002));
  const HelpWindow first = TheHelpWindow();
  ASSERT_NE(first.text, nullptr);
  EXPECT_EQ(first.topics->count(), 3);
  EXPECT_EQ(first.topics->currentRow(), 1);
  EXPECT_EQ(first.text->toPlainText(),
            QStringLiteral("Run log options\n\nFile        where the run log is written."));

  ASSERT_TRUE(ShowHelpTopic(nullptr, Path("Corvid.hlp"), 1003));
  const HelpWindow second = TheHelpWindow();
  EXPECT_EQ(second.text, first.text);
  EXPECT_TRUE(second.text->toPlainText().startsWith(QStringLiteral("Settings\n")));

  second.topics->setCurrentRow(0);
  EXPECT_TRUE(second.text->toPlainText().startsWith(QStringLiteral("Contents\n")));
}

TEST_F(QtViewers, HelpAskedFromAModalDialogTakesInputAndOutlivesIt) {
  WriteFile(Path("Corvid.hlp"), kHelp);
  auto dialog = std::make_unique<QDialog>();
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->show();
  ASSERT_TRUE(ShowHelpTopic(dialog.get(), Path("Corvid.hlp"), 1003));
  const HelpWindow window = TheHelpWindow();
  ASSERT_NE(window.topics, nullptr);
  QWidget* top = window.topics->window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(top));
  // Through the window system, where modality is enforced.
  const QRect item = window.topics->visualItemRect(window.topics->item(0));
  const QPoint first = window.topics->viewport()->mapTo(top, item.center());
  QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, first);
  EXPECT_EQ(window.topics->currentRow(), 0);
  EXPECT_TRUE(window.text->toPlainText().startsWith(QStringLiteral("Contents\n")));

  dialog.reset();
  EXPECT_EQ(TheHelpWindow().topics, window.topics);
}

TEST_F(QtViewers, HelpAtAnUnknownContextShowsTheContents) {
  WriteFile(Path("Corvid.hlp"), kHelp);
  for (unsigned long context : {0ul, 9999ul, (1ul << 32) + 1002}) {
    ASSERT_TRUE(ShowHelpTopic(nullptr, Path("Corvid.hlp"), context));
    const HelpWindow window = TheHelpWindow();
    ASSERT_NE(window.topics, nullptr);
    EXPECT_EQ(window.topics->currentRow(), 0) << context;
  }
}

TEST_F(QtViewers, UnreadableHelpFileIsToldInABoxOwnedByTheCaller) {
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);  // would block a plain read
  QWidget owner;
  owner.show();
  for (const std::string& path : {Path("nowhere/Corvid.hlp"), Path("fifo"), dir_.path().toStdString()}) {
    std::optional<QString> text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Help"));
        EXPECT_EQ(box->parentWidget(), &owner);
        text = box->text();
        box->accept();
      }
    });
    poll.start(10);
    EXPECT_FALSE(ShowHelpTopic(&owner, path, 1001)) << path;
    EXPECT_EQ(text, QStringLiteral("Cannot find the help file %1.").arg(QString::fromStdString(path)));
  }
  EXPECT_TRUE(VisibleWindows(QStringLiteral("Corvid Help")).empty());
}

TEST_F(QtViewers, CloseHelpClosesTheWindowAndHelpOpensAgainAfter) {
  WriteFile(Path("Corvid.hlp"), kHelp);
  CloseHelp();  // nothing open: no harm
  ASSERT_TRUE(ShowHelpTopic(nullptr, Path("Corvid.hlp"), 1001));
  CloseHelp();
  EXPECT_TRUE(VisibleWindows(QStringLiteral("Corvid Help")).empty());
  ASSERT_TRUE(ShowHelpTopic(nullptr, Path("Corvid.hlp"), 1003));
  const HelpWindow window = TheHelpWindow();
  ASSERT_NE(window.topics, nullptr);
  EXPECT_EQ(window.topics->currentRow(), 2);
}

// ---- Text viewer ----

// A stand-in program that writes its arguments, one a line, to `out` once
// it has them all.
void WriteRecorder(const std::string& script, const std::string& out) {
  WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out +
                        ".tmp'\n/bin/mv '" + out + ".tmp' '" + out + "'\n");
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
}

// What the recorder wrote, waiting for it up to ten seconds; then removed.
std::string Recorded(const std::string& out) {
  for (int i = 0; i < 1000 && !QFile::exists(QString::fromStdString(out)); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ifstream file(out, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  QFile::remove(QString::fromStdString(out));
  return bytes.str();
}

// Blanks, quotes and shell characters, which must reach the program as the
// path itself.
const char kAwkwardName[] = "run log $HOME 'a' \"b\" `c`;.txt";

TEST_F(QtViewers, VisualWithArgumentsGetsThePathAsOneArgument) {
  WriteRecorder(Path("visual"), Path("visual.out"));
  const std::string visual = Path("visual") + " --wait";
  ScopedEnv env("VISUAL", visual);
  const std::string file = Path(kAwkwardName);
  ASSERT_TRUE(OpenInTextViewer(file));
  EXPECT_EQ(Recorded(Path("visual.out")), "--wait\n" + file + "\n");
  EXPECT_TRUE(VisibleWindows(QString::fromStdString(file + " - Viewer")).empty());

  // A relative name beginning with "-" would be taken for an option.
  const QString cwd = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir_.path()));
  const bool opened = OpenInTextViewer("-n.log");
  QDir::setCurrent(cwd);
  ASSERT_TRUE(opened);
  EXPECT_EQ(Recorded(Path("visual.out")), "--wait\n" + Path("-n.log") + "\n");
}

TEST_F(QtViewers, XdgOpenWhenVisualIsUnsetOrEmpty) {
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path("bin"))));
  WriteRecorder(Path("bin/xdg-open"), Path("xdg.out"));
  const std::string path = Path("bin") + ":/usr/bin:/bin";
  ScopedEnv pathEnv("PATH", path);
  for (const char* visual : {static_cast<const char*>(nullptr), ""}) {
    ScopedEnv visualEnv("VISUAL", visual == nullptr ? std::nullopt : std::optional<std::string>(visual));
    ASSERT_TRUE(OpenInTextViewer(Path(kAwkwardName)));
    EXPECT_EQ(Recorded(Path("xdg.out")), Path(kAwkwardName) + "\n") << (visual == nullptr ? "unset" : "empty");
  }
}

// The built-in viewer of a file, once neither $VISUAL nor xdg-open is there.
QPlainTextEdit* OpenBuiltIn(const std::string& emptyDir, const std::string& file) {
  ScopedEnv visual("VISUAL", std::nullopt);
  ScopedEnv path("PATH", emptyDir);
  EXPECT_TRUE(OpenInTextViewer(file));
  const auto windows = VisibleWindows(QString::fromStdString(file + " - Viewer"));
  EXPECT_EQ(windows.size(), 1u);
  auto* viewer = windows.size() == 1 ? qobject_cast<QPlainTextEdit*>(windows[0]) : nullptr;
  EXPECT_TRUE(viewer != nullptr && viewer->isReadOnly());
  return viewer;
}

TEST_F(QtViewers, BuiltInViewerShowsTheFileAsUtf8OrWhyItCannot) {
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path("empty"))));
  const std::string text = "Z\xc3\xbcrich\tSystem\tOK\nline two\n";
  WriteFile(Path("run.log"), text);
  QPlainTextEdit* viewer = OpenBuiltIn(Path("empty"), Path("run.log"));
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->toPlainText().toStdString(), text);

  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  for (const std::string& file : {Path("missing.log"), Path("fifo"), Path("empty")}) {
    viewer = OpenBuiltIn(Path("empty"), file);
    ASSERT_NE(viewer, nullptr) << file;
    EXPECT_TRUE(viewer->toPlainText().startsWith(QStringLiteral("Cannot "))) << file;
    EXPECT_TRUE(viewer->toPlainText().contains(QString::fromStdString(file))) << file;
  }
}

TEST_F(QtViewers, BuiltInViewerOpenedFromAModalDialogTakesInput) {
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path("empty"))));
  WriteFile(Path("run.log"), "first line\nsecond line\n");
  QDialog dialog;
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.show();
  QPlainTextEdit* viewer = OpenBuiltIn(Path("empty"), Path("run.log"));
  ASSERT_NE(viewer, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
  QTextCursor second(viewer->document()->findBlockByNumber(1));
  const QPoint point = viewer->viewport()->mapTo(viewer, viewer->cursorRect(second).center());
  // Through the window system, where modality is enforced.
  QTest::mouseClick(viewer->windowHandle(), Qt::LeftButton, Qt::NoModifier, point);
  EXPECT_EQ(viewer->textCursor().blockNumber(), 1);
}

TEST_F(QtViewers, BuiltInViewerShowsTheStartOfAHugeFileWithoutSplittingACharacter) {
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path("empty"))));
  // Two-byte characters from an odd offset, so the cut falls inside one.
  std::string text = "x";
  while (text.size() < 5u * 1024 * 1024) text += "\xc3\xa9";
  WriteFile(Path("huge.log"), text);
  QPlainTextEdit* viewer = OpenBuiltIn(Path("empty"), Path("huge.log"));
  ASSERT_NE(viewer, nullptr);
  const QString shown = viewer->toPlainText();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("x\u00e9\u00e9")));
  EXPECT_FALSE(shown.contains(QChar(0xFFFD)));
  EXPECT_TRUE(shown.contains(QStringLiteral("the rest is not shown")));
  EXPECT_LT(shown.size(), 3 * 1024 * 1024);
}

}  // namespace
