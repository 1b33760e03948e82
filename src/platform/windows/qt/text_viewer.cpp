#include "platform/windows/qt/text_viewer.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QWindow>

#include <string_view>

#include "platform/base/text.h"

namespace platform::qt {
namespace {

// Run logs grow with every gather; the built-in viewer shows their first
// megabytes rather than holding a file of any size in memory.
constexpr qint64 kMaxViewedBytes = 4 * 1024 * 1024;

// The viewer's text: the file as UTF-8, or why it cannot be shown.
QString ViewedText(const QString& path) {
  const QFileInfo info(path);
  // A FIFO or device would block the interface thread or never end.
  if (info.exists() && !info.isFile()) return QStringLiteral("Cannot show %1: it is not a file.").arg(path);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("Cannot read %1: %2.").arg(path, file.errorString());
  const QByteArray bytes = file.read(kMaxViewedBytes + 1);
  if (file.error() != QFileDevice::NoError)
    return QStringLiteral("Cannot read %1: %2.").arg(path, file.errorString());
  const std::string_view view(bytes.constData(), static_cast<size_t>(bytes.size()));
  if (bytes.size() <= kMaxViewedBytes) return QString::fromUtf8(bytes);
  const size_t shown = Utf8Prefix(view, static_cast<size_t>(kMaxViewedBytes));
  return QString::fromUtf8(bytes.constData(), static_cast<qsizetype>(shown)) +
         QStringLiteral("\n\n[The file is longer than %1 MB; the rest is not shown.]").arg(kMaxViewedBytes >> 20);
}

void ShowBuiltInViewer(const QString& path) {
  auto* viewer = new QPlainTextEdit;
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  viewer->setWindowTitle(QStringLiteral("%1 - Viewer").arg(path));
  viewer->setReadOnly(true);
  viewer->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // Run log lines are tab-separated columns; wrapping would break them up.
  viewer->setLineWrapMode(QPlainTextEdit::NoWrap);
  viewer->setPlainText(ViewedText(path));
  viewer->resize(720, 480);
  viewer->show();
  // "View Log" is pressed in a modal dialog: as that dialog's transient the
  // viewer can be scrolled and read while the dialog is up.
  if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && viewer->windowHandle() != nullptr)
    viewer->windowHandle()->setTransientParent(modal->windowHandle());
  viewer->raise();
  viewer->activateWindow();
}

}  // namespace

bool OpenInTextViewer(const std::string& hostPath) {
  const QString path = QString::fromStdString(hostPath);
  // Other programs would take a name beginning with "-" for an option.
  const QString argument = path.startsWith(u'-') ? QFileInfo(path).absoluteFilePath() : path;
  // $VISUAL may carry its own arguments ("code --wait"), so the shell splits
  // it; the path goes as a separate argument and is never re-parsed.
  if (!qEnvironmentVariableIsEmpty("VISUAL") &&
      QProcess::startDetached(QStringLiteral("/bin/sh"),
                              {QStringLiteral("-c"), QStringLiteral("$VISUAL \"$1\""), QStringLiteral("sh"), argument}))
    return true;
  const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (!xdgOpen.isEmpty() && QProcess::startDetached(xdgOpen, {argument})) return true;
  ShowBuiltInViewer(path);
  return true;
}

}  // namespace platform::qt
