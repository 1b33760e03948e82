#include "describe/event_sources.h"

#include <vector>

#include "platform/base/nls.h"
#include "platform/registry/registry.h"

namespace corvid {
namespace {

constexpr const char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog";
constexpr const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr DWORD kNameBuffer = 255;

// One value's text up to its first NUL, read by size and then data; the
// registry type is not looked at, so of a multi-string the first counts.
bool ReadValueText(HKEY key, const char* name, LONG& status, std::vector<char>& buffer,
                   std::string& text) {
  DWORD size = 0;
  status = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
  if (status != ERROR_SUCCESS) return false;
  buffer.assign(size + 1, '\0');  // one spare byte keeps the text terminated
  status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (status != ERROR_SUCCESS) return false;
  text.assign(buffer.data());
  return true;
}

void ReadSourceMessageFiles(HKEY root, const std::string& logKey, const std::string& source,
                            EventSourceTable& table) {
  HKEY key = nullptr;
  table.lastStatus = RegOpenKeyExA(root, (logKey + "\\" + source).c_str(), 0, KEY_READ, &key);
  if (table.lastStatus != ERROR_SUCCESS) {
    table.eventMessageFiles.emplace_back();
    table.categoryMessageFiles.emplace_back();
    table.parameterMessageFiles.emplace_back();
    return;
  }
  std::vector<char> buffer;
  const struct {
    const char* name;
    std::vector<std::string>* list;
  } values[] = {{"EventMessageFile", &table.eventMessageFiles},
                {"CategoryMessageFile", &table.categoryMessageFiles},
                {"ParameterMessageFile", &table.parameterMessageFiles}};
  for (const auto& value : values) {
    std::string text;
    ReadValueText(key, value.name, table.lastStatus, buffer, text);
    value.list->push_back(std::move(text));
  }
  RegCloseKey(key);
}

bool ReadSystemRoot(HKEY root, EventSourceTable& table) {
  HKEY key = nullptr;
  table.lastStatus = RegOpenKeyExA(root, kCurrentVersionKey, 0, KEY_READ, &key);
  if (table.lastStatus != ERROR_SUCCESS) return false;
  std::vector<char> buffer;
  std::string text;
  const bool ok = ReadValueText(key, "SystemRoot", table.lastStatus, buffer, text);
  if (ok) table.systemRoot = std::move(text);
  RegCloseKey(key);
  return ok;
}

}  // namespace

bool BuildEventSourceTable(const char* computerName, const char* logName, EventSourceTable& table) {
  table = EventSourceTable{};
  if (computerName != nullptr) table.computerName = computerName;
  const std::string logKey = std::string(kEventLogKey) + "\\" + logName;

  HKEY root = nullptr;
  table.lastStatus = RegConnectRegistryA(computerName, HKEY_LOCAL_MACHINE, &root);
  if (table.lastStatus != ERROR_SUCCESS) return false;
  HKEY log = nullptr;
  table.lastStatus = RegOpenKeyExA(root, logKey.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &log);
  if (table.lastStatus != ERROR_SUCCESS) {
    RegCloseKey(root);
    return false;
  }
  for (DWORD index = 0;; ++index) {
    char name[kNameBuffer];
    DWORD size = kNameBuffer;
    table.lastStatus = RegEnumKeyExA(log, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (table.lastStatus == ERROR_SUCCESS || table.lastStatus == ERROR_MORE_DATA) {
      std::string source;
      if (table.lastStatus == ERROR_SUCCESS) {
        source.assign(name, size);
      } else {
        // A name of 255 characters or more: ask again with room for the
        // longest name a registry key can have, so it can still be found.
        std::vector<char> longName(16384);
        DWORD longSize = static_cast<DWORD>(longName.size());
        if (RegEnumKeyExA(log, index, longName.data(), &longSize, nullptr, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS) {
          source.assign(longName.data(), longSize);
        }
      }
      table.sourceNames.push_back(source);
      ReadSourceMessageFiles(root, logKey, source, table);
      continue;
    }
    if (table.lastStatus == ERROR_NO_MORE_ITEMS) {
      table.sourceCount = index;
      RegCloseKey(log);
      const bool ok = ReadSystemRoot(root, table);
      RegCloseKey(root);
      return ok;
    }
    RegCloseKey(log);
    RegCloseKey(root);
    return false;
  }
}

int32_t FindEventSource(const EventSourceTable& table, std::string_view sourceName) {
  if (const auto known = table.memo.sources.find(sourceName); known != table.memo.sources.end()) {
    return known->second;
  }
  int32_t found = -1;
  for (size_t i = 0; i < table.sourceNames.size(); ++i) {
    const std::string& name = table.sourceNames[i];
    if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, name.data(),
                       static_cast<int>(name.size()), sourceName.data(),
                       static_cast<int>(sourceName.size())) == CSTR_EQUAL) {
      found = static_cast<int32_t>(i);
      break;
    }
  }
  // A log names few sources, but a damaged one could name many: the memo
  // stays small.
  if (table.memo.sources.size() < 4096) table.memo.sources.emplace(sourceName, found);
  return found;
}

}  // namespace corvid
