// Dsnsmith.exe: Corvid's companion that picks the ODBC data source. Corvid
// starts it from its install folder without arguments and reads the choice
// back from the settings. Exit code 0 when a choice was written, 1 when the
// user cancelled; without a display it says so and ends with 0, as Corvid
// does, rather than letting Qt abort.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dsnsmith_core.h"
#include "dsnsmith_dialog.h"

namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(
          "usage: Dsnsmith.exe (also corvid-dsnsmith)\n"
          "Picks the ODBC data source Corvid gathers into, or makes one on a new SQLite database,\n"
          "and saves the choice in Corvid's settings ($CORVID_HOME/registry.reg). Corvid starts it\n"
          "from its install folder when it has no data source. Needs a display.\n"
          "Exit status: 0 a choice was saved, 1 cancelled.\n",
          stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("Dsnsmith.exe (Corvid) %s\n", CORVID_VERSION);
      return 0;
    }
  }
  if (!Set("QT_QPA_PLATFORM") && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
    std::fputs("Dsnsmith.exe: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
               stderr);
    return 0;
  }
  QApplication application(argc, argv);
  // The same classic look as Corvid's own dialogs.
  QApplication::setStyle(QStringLiteral("Windows"));
  dsnsmith::DsnsmithDialog dialog(dsnsmith::SchemaBesideProgram());
  return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
