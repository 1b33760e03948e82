// Any bytes as a computer list file: no crash, and every name is a non-empty
// run of non-blank bytes of at most 17 that is valid where the input was.
#include "common/computer_list.h"
#include "common/list_file_format.h"
#include "fuzz_target.h"

FUZZ_TARGET(bytes, text) {
  for (const std::string& name : corvid::ParseComputerNames(text)) {
    if (name.empty() || name.size() > corvid::kListNameToken) std::abort();
    if (name.find_first_of(std::string_view(" \t\r\n\v\f\0", 7)) != std::string::npos) std::abort();
    if (corvid::MakeComputerEntry(name).Name.size() > corvid::kMaxComputerName) std::abort();
  }
}
