// The help viewer and the text viewer offscreen: one help window at the asked topic; a file
// goes to $VISUAL, else xdg-open, else the built-in viewer, with awkward paths passed intact.
#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "platform/windows/qt/help_viewer.h"
#include "platform/windows/qt/text_viewer.h"
#include "support/temp_machine.h"

namespace {

using platform::qt::CloseHelp;
using platform::qt::OpenInTextViewer;
using platform::qt::ShowHelpTopic;
using testing_support::ScopedEnv;

std::vector<QWidget*> VisibleWindows(const std::string& title) {
  std::vector<QWidget*> found;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible() && widget->windowTitle().toStdString() == title) found.push_back(widget);
  return found;
}

// A click through the window system, where modality is enforced.
void ClickThrough(QWidget* widget, QPoint at) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(widget->window()));
  QTest::mouseClick(widget->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier, widget->mapTo(widget->window(), at));
}

class QtViewers : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "qt_viewer_tests", *argv[] = {name, nullptr};
    [[maybe_unused]] static auto* application = new QApplication(argc, argv);  // never ended: Qt's globals go first
    ASSERT_TRUE(dir_.isValid());
    Write("Corvid.hlp",
          "# comment\r\n@1001 Contents\r\nThe first topic.\r\n@1002 Run log options\r\n"
          "File        where the run log is written.\r\n@1003 Settings\r\nTimeout value (min)\r\n");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path("empty"))));
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);  // would block a plain read
  }
  void TearDown() override {
    CloseHelp();
    for (QWidget* widget : QApplication::topLevelWidgets()) widget->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
  void Write(const std::string& name, const std::string& bytes) const { std::ofstream(Path(name), std::ios::binary) << bytes; }
  // The one help window's topic list and text pane, at `context`.
  std::pair<QListWidget*, QTextEdit*> Help(unsigned long context, QWidget* owner = nullptr) {
    EXPECT_TRUE(ShowHelpTopic(owner, Path("Corvid.hlp"), context));
    const auto windows = VisibleWindows("Corvid Help");
    EXPECT_EQ(windows.size(), 1u);
    if (windows.size() != 1) return {};
    auto* text = windows[0]->findChild<QTextEdit*>("topicText");
    EXPECT_TRUE(text != nullptr && text->isReadOnly());
    return {windows[0]->findChild<QListWidget*>("topics"), text};
  }
  // The built-in viewer of a file, once neither $VISUAL nor xdg-open is there.
  QPlainTextEdit* BuiltIn(const std::string& file) {
    ScopedEnv visual("VISUAL", std::nullopt), path("PATH", Path("empty"));
    EXPECT_TRUE(OpenInTextViewer(file));
    const auto windows = VisibleWindows(file + " - Viewer");
    auto* viewer = windows.size() == 1 ? qobject_cast<QPlainTextEdit*>(windows[0]) : nullptr;
    EXPECT_TRUE(viewer != nullptr && viewer->isReadOnly()) << file;
    return viewer;
  }
  QTemporaryDir dir_;
};

TEST_F(QtViewers, HelpOpensAtTheAskedTopicInOneReusedWindow) {
  const auto [topics, text] = Help(1002);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::pair(topics->count(), topics->currentRow()), std::pair(3, 1));
  EXPECT_EQ(text->toPlainText(), "Run log options\n\nFile        where the run log is written.");
  EXPECT_EQ(Help(1003).second, text);
  EXPECT_TRUE(text->toPlainText().startsWith("Settings\n"));
  // An unknown context shows the contents.
  for (unsigned long context : {0ul, 9999ul, (1ul << 32) + 1002}) EXPECT_EQ(Help(context).first->currentRow(), 0) << context;
  CloseHelp();
  EXPECT_TRUE(VisibleWindows("Corvid Help").empty());
  EXPECT_EQ(Help(1003).first->currentRow(), 2) << "help opens again after CloseHelp";
}

TEST_F(QtViewers, WindowsOpenedFromAModalDialogTakeInputAndHelpOutlivesIt) {
  const std::string utf8 = "Z\xc3\xbcrich\tSystem\tOK\nline two\n";
  Write("run.log", utf8);
  auto dialog = std::make_unique<QDialog>();
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->show();
  const auto [topics, text] = Help(1003, dialog.get());
  ASSERT_NE(topics, nullptr);
  ClickThrough(topics->viewport(), topics->visualItemRect(topics->item(0)).center());
  EXPECT_EQ(topics->currentRow(), 0);
  EXPECT_TRUE(text->toPlainText().startsWith("Contents\n"));
  QPlainTextEdit* viewer = BuiltIn(Path("run.log"));
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->toPlainText().toStdString(), utf8);
  ClickThrough(viewer->viewport(), viewer->cursorRect(QTextCursor(viewer->document()->findBlockByNumber(1))).center());
  EXPECT_EQ(viewer->textCursor().blockNumber(), 1);
  dialog.reset();
  const auto windows = VisibleWindows("Corvid Help");
  EXPECT_TRUE(windows.size() == 1 && windows[0]->findChild<QListWidget*>("topics") == topics) << "help outlives it";
}

// A stand-in program that writes its arguments, one a line, to `out` once it has them all.
std::string Recorder(const std::string& script, const std::string& out) {
  std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out + ".tmp'\n/bin/mv '" +
                               out + ".tmp' '" + out + "'\n";
  EXPECT_EQ(chmod(script.c_str(), 0755), 0);
  return script;
}
// What the recorder wrote, waiting for it up to ten seconds; then removed.
std::string Recorded(const std::string& out) {
  for (int i = 0; i < 1000 && !std::filesystem::exists(out); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ifstream file(out, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), {});
  std::filesystem::remove(out);
  return bytes;
}

TEST_F(QtViewers, VisualThenXdgOpenGetThePathAsOneArgument) {
  // Blanks, quotes and shell characters must reach the program as the path itself.
  const std::string file = Path("run log $HOME 'a' \"b\" `c`;.txt");
  {
    ScopedEnv env("VISUAL", Recorder(Path("visual"), Path("visual.out")) + " --wait");
    ASSERT_TRUE(OpenInTextViewer(file));
    EXPECT_EQ(Recorded(Path("visual.out")), "--wait\n" + file + "\n");
    EXPECT_TRUE(VisibleWindows(file + " - Viewer").empty());
  }
  Recorder(Path("empty/xdg-open"), Path("xdg.out"));
  ScopedEnv pathEnv("PATH", Path("empty") + ":/usr/bin:/bin");
  for (const std::optional<std::string>& visual : {std::optional<std::string>(), std::optional<std::string>("")}) {
    ScopedEnv visualEnv("VISUAL", visual);
    ASSERT_TRUE(OpenInTextViewer(file));
    EXPECT_EQ(Recorded(Path("xdg.out")), file + "\n") << (visual ? "empty" : "unset");
  }
}

TEST_F(QtViewers, BuiltInViewerShowsTheFileAsUtf8OrWhyItCannot) {
  QPlainTextEdit* viewer = nullptr;
  for (const std::string& file : {Path("missing.log"), Path("fifo"), Path("empty")}) {
    ASSERT_NE(viewer = BuiltIn(file), nullptr);
    EXPECT_TRUE(viewer->toPlainText().startsWith("Cannot ")) << file;
    EXPECT_TRUE(viewer->toPlainText().contains(QString::fromStdString(file))) << file;
  }
  // A huge file's start, two-byte characters from an odd offset so the cut falls inside one.
  std::string huge = "x";
  while (huge.size() < 5u * 1024 * 1024) huge += "\xc3\xa9";
  Write("huge.log", huge);
  ASSERT_NE(viewer = BuiltIn(Path("huge.log")), nullptr);
  const QString shown = viewer->toPlainText();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("x\u00e9\u00e9")));
  EXPECT_FALSE(shown.contains(QChar(0xFFFD)));
  EXPECT_TRUE(shown.contains("the rest is not shown"));
  EXPECT_LT(shown.size(), 3 * 1024 * 1024);
}

}  // namespace
