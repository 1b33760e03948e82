// The program's dialog templates as plain data, in the terms of a Win32
// dialog resource: dialog units, control ids, captions and style bits. The
// dialog layer builds its windows from these tables.
#pragma once

#include <vector>

#include "platform/windows/dialog_template.h"

namespace resources {

using namespace platform::dlg;

enum DialogId : int {
  IDD_MAIN = 100,
  IDD_LOG_OPTIONS = 104,
  IDD_GATHER_SELECTION = 106,
  IDD_GATHER_PROGRESS = 111,
  IDD_SETTINGS = 112,
  IDD_PREPARING = 115,
  IDD_LOADING = 117,
  IDD_ABOUT = 200,
};

// The template with that id, or nullptr when the program has none.
const DialogTemplate* FindDialogTemplate(int id);

// Every template, in id order.
const std::vector<DialogTemplate>& AllDialogTemplates();

}  // namespace resources
