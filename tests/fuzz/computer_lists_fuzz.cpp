// Any bytes as a list of computers, as a list file and as a browse list: no
// crash; every list-file name is a non-empty run of non-blank bytes of at
// most 17 that is valid where the input was, and every browse-list entry
// lays out into a level-101 buffer whose texts are the entry's own.
#include "common/computer_list.h"
#include "common/list_file_format.h"
#include "fuzz_target.h"
#include "platform/browser/browser.h"

FUZZ_TARGET(bytes, text) {
  for (const std::string& name : corvid::ParseComputerNames(text)) {
    if (name.empty() || name.size() > corvid::kListNameToken) std::abort();
    if (name.find_first_of(std::string_view(" \t\r\n\v\f\0", 7)) != std::string::npos) std::abort();
    if (corvid::MakeComputerEntry(name).Name.size() > corvid::kMaxComputerName) std::abort();
  }
  const auto entries = platform::ParseBrowseList(text);
  if (entries.size() > text.size()) std::abort();
  BYTE* buffer = platform::AllocateServerInfo(entries);
  const auto* records = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].name.empty() || records[i].sv101_type != entries[i].type) std::abort();
    if (platform::NarrowText(records[i].sv101_name).empty()) std::abort();
  }
  std::free(buffer);
}
