// Dsnsmith.exe: Corvid's companion that picks the ODBC data source. Corvid
// starts it from its install folder without arguments and reads the choice
// back from the settings. Exit code 0 when a choice was written, 1 when the
// user cancelled.
#include <QApplication>

#include "dsnsmith_core.h"
#include "dsnsmith_dialog.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The same classic look as Corvid's own dialogs.
  QApplication::setStyle(QStringLiteral("Windows"));
  dsnsmith::DsnsmithDialog dialog(dsnsmith::SchemaBesideProgram());
  return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
