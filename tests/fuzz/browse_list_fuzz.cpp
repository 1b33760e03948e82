// Any bytes as a browse list: no crash, and every entry read back lays out
// into a level-101 buffer whose texts are the entry's own.
#include "fuzz_target.h"
#include "platform/browser/browser.h"

FUZZ_TARGET(bytes, text) {
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
