// Reads arbitrary bytes as a registry hive file and walks what opens: every
// call must answer with a code, within the file.
#include <sys/mman.h>
#include <unistd.h>

#include <memory>
#include <utility>

#include "fuzz_target.h"
#include "platform/registry/hive_file.h"

using platform::hive::HiveFile;

FUZZ_TARGET(input, text) {
  // libhivex opens files by name: a memory file keeps the disk out of it.
  const int fd = ::memfd_create("hive", MFD_CLOEXEC);
  if (fd < 0) return;
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
  std::unique_ptr<HiveFile> hive;
  const LONG status = HiveFile::Open("/proc/self/fd/" + std::to_string(fd), hive);
  if (status == ERROR_SUCCESS) {
    std::vector<std::pair<HiveFile::Node, int>> pending{{hive->Root(), 0}};
    size_t visited = 0;
    while (!pending.empty() && visited++ < 2000) {
      const auto [node, depth] = pending.back();
      pending.pop_back();
      for (const char* value : {"", "Current", "File", "V", "SystemRoot", "EventMessageFile"}) {
        DWORD type = 0;
        std::vector<uint8_t> bytes;
        hive->Value(node, value, type, bytes);
      }
      std::string name;
      for (size_t i = 0; depth < 16 && hive->ChildName(node, i, name) == ERROR_SUCCESS; ++i) {
        HiveFile::Node child = 0;
        if (hive->Find(node, name, child) == ERROR_SUCCESS) pending.emplace_back(child, depth + 1);
      }
    }
  } else if (status != ERROR_BADDB && status != ERROR_FILE_NOT_FOUND) {
    std::abort();
  }
  ::close(fd);
}
