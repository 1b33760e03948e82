// Computer list files from the main window: "&Export list..." writes the
// selected computers, "&Import list..." replaces the list with a file's
// names and resolves their types. Both run on the interface thread and
// show nothing when they fail: a cancelled dialog, a file that cannot be
// opened, or write errors end them silently.
#pragma once

#include "platform/base/win32.h"
#include "common/browse_for_file.h"

namespace corvid {

// The caller copies the list view's selection into Selected first.
bool ExportComputerList(HWND owner);
// True when the list was replaced (also by an empty one); false leaves it.
bool ImportComputerList(HWND owner);

}  // namespace corvid
