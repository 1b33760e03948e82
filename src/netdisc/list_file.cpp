#include "netdisc/list_file.h"

#include <cstdio>

#include "platform/files/paths.h"
#include "shell/base/computer_list.h"
#include "shell/base/list_file_format.h"
#include "shell/base/start_state.h"

namespace corvid {

bool LoadComputerListFile() {
  std::FILE* file = platform::OpenMappedFile(ListFilePath, "r");
  if (file == nullptr) return false;
  ComputerList.Clear();
  for (const std::string& name : ReadComputerNames(file)) {
    ComputerList.Append(MakeComputerEntry(name));
  }
  // Interactive loads go on to ask every computer for its type; that query
  // arrives with the network browser. The silent run never asks.
  std::fclose(file);
  return true;
}

}  // namespace corvid
