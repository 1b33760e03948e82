#include "describe/message_paths.h"

#include "platform/base/nls.h"

namespace corvid {
namespace {

constexpr std::string_view kSystemRoot = "%SystemRoot%";

bool GetFiles(const EventSourceTable& table, int32_t source,
              const std::vector<std::string>& values, MessageFileList& list) {
  list.clear();
  if (source < 0 || static_cast<DWORD>(source) >= table.sourceCount ||
      static_cast<size_t>(source) >= values.size() || values[static_cast<size_t>(source)].empty()) {
    return false;
  }
  MapMessageFilePaths(table, values[static_cast<size_t>(source)], list);
  return true;
}

}  // namespace

bool GetEventMessageFiles(const EventSourceTable& table, int32_t source, MessageFileList& list) {
  return GetFiles(table, source, table.eventMessageFiles, list);
}
bool GetCategoryMessageFiles(const EventSourceTable& table, int32_t source, MessageFileList& list) {
  return GetFiles(table, source, table.categoryMessageFiles, list);
}
bool GetParameterMessageFiles(const EventSourceTable& table, int32_t source, MessageFileList& list) {
  return GetFiles(table, source, table.parameterMessageFiles, list);
}

void MapMessageFilePaths(const EventSourceTable& table, std::string_view value, MessageFileList& list) {
  list.clear();
  size_t start = 0;
  for (size_t i = 0; i <= value.size(); ++i) {
    if (i < value.size() && value[i] != ';') continue;
    std::string path(value.substr(start, i - start));
    start = i + 1;
    // Only a placeholder at the very start, with something behind it.
    if (path.size() > kSystemRoot.size() &&
        CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path.data(),
                       static_cast<int>(kSystemRoot.size()), kSystemRoot.data(),
                       static_cast<int>(kSystemRoot.size())) == CSTR_EQUAL) {
      path = table.systemRoot + path.substr(kSystemRoot.size());
    }
    // The first character is not checked for a letter, as it never was.
    if (table.computerName && path.size() >= 2 && path[1] == ':') {
      path[1] = '$';
      path = "\\\\" + *table.computerName + "\\" + path;
    }
    list.push_back(std::move(path));
  }
}

}  // namespace corvid
