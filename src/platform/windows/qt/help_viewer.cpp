#include "platform/windows/qt/help_viewer.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QSplitter>
#include <QTextCursor>
#include <QTextEdit>
#include <QWidget>
#include <QWindow>

#include <string>
#include <utility>

#include "platform/windows/help_file.h"

namespace platform::qt {
namespace {

// A help file is a few kilobytes; anything far larger is not one, and is
// not read whole into memory.
constexpr qint64 kMaxHelpFileBytes = 4 * 1024 * 1024;

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString TopicTitle(const HelpTopic& topic) {
  return topic.title.empty() ? QStringLiteral("Topic %1").arg(topic.context) : FromUtf8(topic.title);
}

class HelpWindow : public QWidget {
 public:
  HelpWindow() {
    setWindowTitle(QStringLiteral("Corvid Help"));
    topics_ = new QListWidget;
    topics_->setObjectName(QStringLiteral("topics"));
    text_ = new QTextEdit;
    text_->setObjectName(QStringLiteral("topicText"));
    text_->setReadOnly(true);
    // The topics are laid out in columns with blanks.
    text_->setLineWrapMode(QTextEdit::NoWrap);
    auto* splitter = new QSplitter;
    splitter->addWidget(topics_);
    splitter->addWidget(text_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({170, 560});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);
    resize(760, 480);
    connect(topics_, &QListWidget::currentRowChanged, this, [this](int row) { ShowRow(row); });
  }

  // Takes the file's topics and shows the one of that context, or the first
  // (the contents) when the file has none of that number.
  void Load(HelpFile file, unsigned long context) {
    file_ = std::move(file);
    const QSignalBlocker blocker(topics_);
    topics_->clear();
    for (const HelpTopic& topic : file_.topics) topics_->addItem(TopicTitle(topic));
    const HelpTopic* topic = file_.Find(context);
    const int row = file_.topics.empty() ? -1 : topic == nullptr ? 0 : static_cast<int>(topic - file_.topics.data());
    topics_->setCurrentRow(row);
    ShowRow(topics_->currentRow());
  }

 private:
  void ShowRow(int row) {
    text_->clear();
    if (row < 0 || static_cast<size_t>(row) >= file_.topics.size()) {
      text_->setPlainText(QStringLiteral("The help file has no topics."));
      return;
    }
    const HelpTopic& topic = file_.topics[static_cast<size_t>(row)];
    QTextCursor cursor(text_->document());
    QTextCharFormat heading;
    heading.setFontWeight(QFont::Bold);
    const qreal size = text_->font().pointSizeF();
    heading.setFontPointSize((size > 0 ? size : 10) * 1.4);
    cursor.insertText(TopicTitle(topic), heading);
    QTextCharFormat body;
    body.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("\n") + FromUtf8(topic.body), body);
    text_->moveCursor(QTextCursor::Start);
  }

  QListWidget* topics_;
  QTextEdit* text_;
  HelpFile file_;
};

QPointer<HelpWindow>& Window() {
  static QPointer<HelpWindow> window;
  return window;
}

bool ReadHelpFile(const std::string& hostPath, std::string& bytes) {
  const QString path = QString::fromStdString(hostPath);
  // Only a regular file: a FIFO or device there would block or never end.
  if (!QFileInfo(path).isFile()) return false;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.isSequential()) return false;
  const QByteArray data = file.read(kMaxHelpFileBytes);
  if (file.error() != QFileDevice::NoError) return false;
  bytes.assign(data.constData(), static_cast<size_t>(data.size()));
  return true;
}

}  // namespace

bool ShowHelpTopic(QWidget* owner, const std::string& hostPath, unsigned long context) {
  std::string bytes;
  if (!ReadHelpFile(hostPath, bytes)) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Help"),
                    QStringLiteral("Cannot find the help file %1.").arg(QString::fromStdString(hostPath)),
                    QMessageBox::Ok, owner);
    box.exec();
    return false;
  }
  QPointer<HelpWindow>& window = Window();
  // Its own top-level window, not the owner's child, so it stays open when
  // the dialog that asked for it closes.
  if (window == nullptr) window = new HelpWindow;
  window->Load(ParseHelpFile(bytes), context);
  window->show();
  // A transient of the asking dialog, so that dialog's modality does not
  // lock the help out; unlike a child it outlives the dialog.
  if (QWindow* handle = window->windowHandle())
    handle->setTransientParent(owner != nullptr ? owner->window()->windowHandle() : nullptr);
  window->raise();
  window->activateWindow();
  return true;
}

void CloseHelp() {
  if (QPointer<HelpWindow>& window = Window(); window != nullptr) {
    window->close();
    delete window.data();
  }
}

}  // namespace platform::qt
