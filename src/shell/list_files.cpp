#include "shell/list_files.h"

#include <cstdio>
#include <cstring>

#include "netdisc/computer_enumeration.h"
#include "platform/files/paths.h"
#include "platform/windows/windows.h"
#include "shell/base/computer_list.h"
#include "shell/base/list_file_format.h"
#include "shell/base/messages.h"

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

bool ExportComputerList(HWND owner) {
  char path[kPathBuffer] = "*.exp";
  if (!BrowseForFile(owner, "Export Computer list", path, 2)) return false;
  SetCursor(WaitCursor);
  std::FILE* file = platform::OpenMappedFile(path, "w");
  if (file == nullptr) {
    SetCursor(NormalCursor);
    return false;
  }
  for (const ComputerEntry& entry : ComputerList) {
    if (entry.Selected == 1) std::fprintf(file, "%s\t%s\n", entry.Name.c_str(), entry.TypeText.c_str());
  }
  std::fclose(file);
  SetCursor(NormalCursor);
  return true;
}

bool ImportComputerList(HWND owner) {
  char path[kPathBuffer] = "*.imp;*.exp";
  if (!BrowseForFile(owner, "Import Computer list", path, 1)) return false;
  SetCursor(WaitCursor);
  std::FILE* file = platform::OpenMappedFile(path, "r");
  if (file == nullptr) {
    SetCursor(NormalCursor);
    return false;
  }
  ComputerList.Clear();
  for (const std::string& name : ReadComputerNames(file)) ComputerList.Append(MakeComputerEntry(name));
  // The types come anew from the computers; those in the file play no part.
  ResolveComputerTypes(owner);
  std::fclose(file);
  SetCursor(NormalCursor);
  return true;
}

}  // namespace corvid
