#include "resources/strings.h"

#include "resources/dialogs.h"
#include "resources/images.h"

namespace resources {

namespace {

std::map<int, const DialogTemplate*> DialogsById() {
  std::map<int, const DialogTemplate*> dialogs;
  for (const DialogTemplate& dialog : AllDialogTemplates()) dialogs[dialog.id] = &dialog;
  return dialogs;
}

}  // namespace

const platform::ResourceModule& ProgramModule() {
  static const platform::ResourceModule module{
      .strings =
          {
              {IDS_ABOUT, "&About"},
              {IDS_UNKNOWN_ERROR, "Unknown Error"},
              {IDS_NOT_INSTALLED, "Program has not been installed correctly"},
              {IDS_INVALID_VALUE, "Invalid value"},
              {IDS_OPERATION_CANCELLED, "OPERATION CANCELLED"},
              {IDS_COMPLETED, "COMPLETED"},
              {IDS_UNABLE_TO_OPEN_LOG, "UNABLE TO OPEN LOG"},
              {IDS_UNABLE_TO_READ_LOG, "UNABLE TO READ LOG"},
              {IDS_UNABLE_TO_WRITE_LOG, "UNABLE TO WRITE LOG"},
              {IDS_UNABLE_TO_LOAD_DSNSMITH, "Unable to load Dsnsmith"},
              {IDS_UNABLE_TO_READ_REGISTRY, "Unable to read registry"},
              {IDS_REGISTRY_UNAVAILABLE, "REGISTRY UNAVAILABLE"},
              {IDS_SPECIFY_DATA_SOURCE, "You need to specify Data Source."},
              {IDS_UNABLE_TO_CLEAR_LOG, "UNABLE TO CLEAR LOG"},
          },
      .dialogs = DialogsById(),
      .bitmaps =
          {
              {IDB_PRIMARY_CONTROLLER, &ComputerBitmap(IDB_PRIMARY_CONTROLLER)},
              {IDB_SERVER, &ComputerBitmap(IDB_SERVER)},
              {IDB_WORKSTATION, &ComputerBitmap(IDB_WORKSTATION)},
              {IDB_UNKNOWN, &ComputerBitmap(IDB_UNKNOWN)},
          },
      .icons = {{IDI_PROGRAM, &ProgramIcon()}},
  };
  return module;
}

HINSTANCE ProgramInstance() {
  // Handles are untyped on Windows too; LoadStringA only reads through it.
  return const_cast<platform::ResourceModule*>(&ProgramModule());
}

}  // namespace resources
