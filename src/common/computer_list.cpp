#include "common/computer_list.h"

#include "platform/base/text.h"

namespace corvid {

ComputerSequence ComputerList;

ComputerEntry MakeComputerEntry(std::string_view name) {
  // Only a leading pair is a UNC prefix; backslashes elsewhere stay.
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') name.remove_prefix(2);
  ComputerEntry entry;
  entry.Name = std::string(platform::Utf8Cut(name, kMaxComputerName));
  entry.TypeText = "Unknown";
  entry.Kind = kKindUnknown;
  return entry;
}

}  // namespace corvid
