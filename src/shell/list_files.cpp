#include "shell/list_files.h"

#include <cstdio>
#include <cstring>

#include "netdisc/computer_enumeration.h"
#include "common/browse_for_file.h"
#include "platform/files/paths.h"
#include "platform/windows/windows.h"
#include "common/computer_list.h"
#include "common/list_file_format.h"
#include "common/messages.h"

namespace corvid {

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
