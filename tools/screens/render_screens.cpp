// corvid-screens OUTDIR: renders every dialog of the program to a PNG in
// OUTDIR, as it looks on the machine named by CORVID_HOME (scripts/screens
// prepares the sample one). The real dialog procedures run; only the
// progress dialog gets a stand-in procedure, so that no gather starts.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <string>

#include "config/config_dialogs.h"
#include "config/settings_store.h"
#include "dsnsmith_dialog.h"
#include "gather/gather_dialogs.h"
#include "netdisc/computer_enumeration.h"
#include "platform/windows/qt/qt_windows.h"
#include "resources/dialogs.h"
#include "resources/images.h"
#include "resources/strings.h"
#include "common/computer_list.h"
#include "common/start_state.h"
#include "shell/main_window.h"

namespace {

std::string outputFolder;
int failures = 0;

// OUTDIR/NAME.png, or a failure counted and told.
void SaveImage(const QImage& image, const std::string& name) {
  const std::string path = outputFolder + "/" + name + ".png";
  if (image.isNull() || !image.save(QString::fromStdString(path))) {
    std::fprintf(stderr, "corvid-screens: could not render %s\n", path.c_str());
    ++failures;
    return;
  }
  std::printf("%s\n", path.c_str());
}

void SaveWidget(QWidget* widget, const std::string& name) {
  QCoreApplication::processEvents();
  SaveImage(widget != nullptr ? widget->grab().toImage() : QImage(), name);
}

void Save(HWND window, const std::string& name) { SaveWidget(platform::qt::WidgetOf(window), name); }

// The left `width` columns of a resource image; pixels of the colour
// `transparent` (when given) shown through.
QImage ToImage(const platform::PixelImage& source, int width, long transparent = -1) {
  QImage image(width, source.height, QImage::Format_ARGB32);
  for (int y = 0; y < source.height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = source.pixels[static_cast<size_t>(y * source.width + x)];
      image.setPixel(x, y, static_cast<long>(pixel & 0xFFFFFF) == transparent ? 0 : pixel);
    }
  return image;
}

INT_PTR ProgressStandIn(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  SetDlgItemTextA(dialog, 1025, "SRV03 Security");
  SendDlgItemMessageA(dialog, 1024, PBM_SETRANGE, 0, MAKELPARAM(0, 1200));
  SendDlgItemMessageA(dialog, 1024, PBM_SETPOS, 700, 0);
  return FALSE;
}

INT_PTR Quiet(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvid-screens OUTDIR\n");
    return 2;
  }
  outputFolder = argv[1];
  if (!platform::qt::InstallQtWindowSystem(argc, argv)) {
    std::fprintf(stderr, "corvid-screens: no display (set QT_QPA_PLATFORM=offscreen)\n");
    return 1;
  }
  corvid::Instance = resources::ProgramInstance();
  HWND main = corvid::CreateMainWindow();
  if (main == nullptr) return 1;
  // Every known computer is selected by the list's refresh; the first row
  // also takes the focus, as after a click.
  Save(main, "main-window");

  platform::qt::SetDialogOpenedHook([](HWND dialog, int id) {
    Save(dialog, "dialog-" + std::to_string(id));
    EndDialog(dialog, 0);
  });
  corvid::CopySelectionToEntries();
  DialogBoxParamA(corvid::Instance, MakeIntResource(resources::IDD_GATHER_SELECTION), main,
                  corvid::GatherSelectionDialog, 0);
  DialogBoxParamA(corvid::Instance, MakeIntResource(resources::IDD_SETTINGS), main, corvid::SettingsDialog, 0);
  DialogBoxParamA(corvid::Instance, MakeIntResource(resources::IDD_LOG_OPTIONS), main, corvid::LogOptionsDialog, 0);
  DialogBoxParamA(corvid::Instance, MakeIntResource(resources::IDD_ABOUT), main, corvid::AboutBoxProc, 0);
  DialogBoxParamA(corvid::Instance, MakeIntResource(resources::IDD_GATHER_PROGRESS), main, ProgressStandIn, 0);
  platform::qt::SetDialogOpenedHook(nullptr);

  HWND loading = CreateDialogParamA(corvid::Instance, MakeIntResource(resources::IDD_LOADING), nullptr, Quiet, 0);
  SendDlgItemMessageA(loading, 1068, PBM_SETRANGE, 0, MAKELPARAM(0, 5));
  SendDlgItemMessageA(loading, 1068, PBM_SETPOS, 2, 0);
  ShowWindow(loading, SW_SHOW);
  Save(loading, "dialog-117");
  DestroyWindow(loading);
  HWND preparing = CreateDialogParamA(corvid::Instance, MakeIntResource(resources::IDD_PREPARING), nullptr, Quiet, 0);
  ShowWindow(preparing, SW_SHOW);
  Save(preparing, "dialog-115");
  DestroyWindow(preparing);
  // The help viewer at the main window's topic.
  WinHelpA(main, corvid::Settings.HelpFile.c_str(), HELP_CONTEXT, 1001);
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible() && window->windowTitle() == "Corvid Help") SaveWidget(window, "help");
  WinHelpA(main, nullptr, HELP_QUIT, 0);
  DestroyWindow(main);

  // The program's images, four times their size: the list's computers (as
  // the image list keeps them, 19 by 16 with green shown through) and the
  // icon.
  {
    QImage sheet(4 * (4 * 19 + 3 * 8) + 32 * 4 + 16, 4 * 32, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    int x = 0;
    for (UINT id : {resources::IDB_PRIMARY_CONTROLLER, resources::IDB_SERVER, resources::IDB_WORKSTATION,
                    resources::IDB_UNKNOWN}) {
      painter.drawImage(QRect(x, 8 * 4, 19 * 4, 16 * 4), ToImage(resources::ComputerBitmap(id), 19, 0x00FF00));
      x += (19 + 8) * 4;
    }
    const platform::PixelImage& icon = resources::ProgramIcon();
    painter.drawImage(QRect(x, 0, 32 * 4, 32 * 4), ToImage(icon, icon.width));
    painter.end();
    SaveImage(sheet, "images");
  }

  // The companion tool, over the data sources of this computer.
  dsnsmith::DsnsmithDialog tool(std::filesystem::path("sql/sqlite.sql"));
  tool.show();
  SaveWidget(&tool, "dsnsmith");
  return failures == 0 ? 0 : 1;
}
