// Message files served from tables: `files` maps a file name to its
// messages. Remembers every load and every id asked for, and keeps the
// live heap blocks to catch double or foreign frees.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/modules/modules.h"

namespace testing_support {

class TableModules : public platform::MessageModuleWrapper {
 public:
  using Table = std::map<DWORD, std::string>;
  TableModules() : MessageModuleWrapper(platform::MessageModuleService::Default()) {}

  HMODULE Module(const std::string& file) { return reinterpret_cast<HMODULE>(&files[file]); }
  // A local-heap copy of `text`, as a fetched message is.
  char* Heap(const std::string& text) {
    char* block = static_cast<char*>(LocalAlloc(0, text.size() + 1));
    std::memcpy(block, text.c_str(), text.size() + 1);
    return block;
  }

  HMODULE LoadLibraryEx(const char* name, HANDLE, DWORD flags) override {
    EXPECT_EQ(flags, 3u);  // as data, references unresolved
    loads.push_back(name);
    return files.contains(name) ? Module(name) : nullptr;
  }
  BOOL FreeLibrary(HMODULE) override { return TRUE; }
  DWORD FormatMessage(DWORD flags, const void* module, DWORD id, DWORD language, char* buffer, DWORD size,
                      va_list*) override {
    EXPECT_EQ(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, 0xB00u);  // from the module, inserts ignored
    EXPECT_EQ(language, 0x0400u);
    asked.push_back(id);
    const Table& table = *static_cast<const Table*>(module);
    const auto it = table.find(id);
    if (it == table.end()) return 0;
    const std::string& text = it->second;
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
      *reinterpret_cast<char**>(buffer) = Heap(text);
    } else {
      if (text.size() + 1 > size) return 0;
      std::memcpy(buffer, text.c_str(), text.size() + 1);
    }
    return static_cast<DWORD>(text.size());
  }
  HLOCAL LocalAlloc(UINT flags, size_t bytes) override {
    HLOCAL block = MessageModuleWrapper::LocalAlloc(flags, bytes);
    live.insert(block);
    return block;
  }
  HLOCAL LocalFree(HLOCAL block) override {
    EXPECT_EQ(live.erase(block), 1u) << "freed a block that is not live";
    return MessageModuleWrapper::LocalFree(block);
  }

  std::map<std::string, Table> files;
  std::vector<std::string> loads;
  std::vector<DWORD> asked;
  std::set<HLOCAL> live;
};

}  // namespace testing_support
