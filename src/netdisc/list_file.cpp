#include "netdisc/list_file.h"

#include <cstdio>

#include "netdisc/computer_enumeration.h"
#include "platform/files/paths.h"
#include "common/computer_list.h"
#include "common/list_file_format.h"
#include "common/start_state.h"

namespace corvid {

bool LoadComputerListFile() {
  std::FILE* file = platform::OpenMappedFile(ListFilePath, "r");
  if (file == nullptr) return false;
  ComputerList.Clear();
  for (const std::string& name : ReadComputerNames(file)) {
    ComputerList.Append(MakeComputerEntry(name));
  }
  // Only an interactive load asks every computer for its type.
  if (SilentMode == 0) ResolveComputerTypes(nullptr);
  std::fclose(file);
  return true;
}

}  // namespace corvid
