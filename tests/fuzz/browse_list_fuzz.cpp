// Any bytes as a browse list: no crash, and every entry read back lays out
// into a level-101 buffer whose texts are the entry's own.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/browser/browser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto entries = platform::ParseBrowseList(bytes);
  if (entries.size() > size) std::abort();
  BYTE* buffer = platform::AllocateServerInfo(entries);
  const auto* records = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].name.empty() || records[i].sv101_type != entries[i].type) std::abort();
    if (platform::NarrowText(records[i].sv101_name).empty()) std::abort();
  }
  std::free(buffer);
  return 0;
}
