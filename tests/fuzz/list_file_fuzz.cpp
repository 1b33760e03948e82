// Any bytes as a computer list file: no crash, and every name is a non-empty
// run of non-blank bytes of at most 17 that is valid where the input was.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/computer_list.h"
#include "common/list_file_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const std::string& name : corvid::ParseComputerNames(bytes)) {
    if (name.empty() || name.size() > corvid::kListNameToken) std::abort();
    if (name.find_first_of(std::string_view(" \t\r\n\v\f\0", 7)) != std::string::npos) std::abort();
    if (corvid::MakeComputerEntry(name).Name.size() > corvid::kMaxComputerName) std::abort();
  }
  return 0;
}
