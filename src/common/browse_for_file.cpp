#include "common/browse_for_file.h"

#include "platform/windows/windows.h"

namespace corvid {
namespace {

// Each filter is a description and a pattern, the list ending in a second
// NUL; string literals bring the last one themselves.
constexpr char kImportFilter[] = "Import Files (*.imp;*.exp)\0*.imp;*.exp\0";
constexpr char kExportFilter[] = "Export Files (*.exp)\0*.exp\0";
constexpr char kLogFilter[] = "Log Files (*.log)\0*.log\0";

}  // namespace

bool BrowseForFile(HWND owner, const char* title, char (&path)[kPathBuffer], int mode) {
  char fileTitle[kPathBuffer] = {};
  OPENFILENAMEA request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = owner;
  request.lpstrFilter = mode == 1 ? kImportFilter : mode == 2 ? kExportFilter : kLogFilter;
  request.nFilterIndex = 1;
  request.lpstrFile = path;
  request.nMaxFile = kPathBuffer;
  request.lpstrFileTitle = fileTitle;
  request.nMaxFileTitle = kPathBuffer;
  request.lpstrTitle = title;
  // No default extension: a name typed without one is used as typed.
  if (mode == 1) {
    request.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&request) != FALSE;
  }
  request.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
  return GetSaveFileNameA(&request) != FALSE;
}

}  // namespace corvid
