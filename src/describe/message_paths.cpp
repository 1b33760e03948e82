#include "describe/message_paths.h"

#include "platform/base/nls.h"

namespace corvid {
namespace {

constexpr std::string_view kSystemRoot = "%SystemRoot%";

enum Kind { kEvent, kCategory, kParameter };

const MessageFileList* Files(const EventSourceTable& table, int32_t source, Kind kind) {
  const std::vector<std::string>& values =
      kind == kEvent ? table.eventMessageFiles
                     : kind == kCategory ? table.categoryMessageFiles : table.parameterMessageFiles;
  if (source < 0 || static_cast<DWORD>(source) >= table.sourceCount ||
      static_cast<size_t>(source) >= values.size() || values[static_cast<size_t>(source)].empty()) {
    return nullptr;
  }
  auto& mapped = table.memo.files[kind];
  if (mapped.size() < values.size()) mapped.resize(values.size());
  std::optional<MessageFileList>& list = mapped[static_cast<size_t>(source)];
  if (!list) {
    list.emplace();
    MapMessageFilePaths(table, values[static_cast<size_t>(source)], *list);
  }
  return &*list;
}

bool Copy(const MessageFileList* files, MessageFileList& list) {
  list.clear();
  if (files == nullptr) return false;
  list = *files;
  return true;
}

}  // namespace

const MessageFileList* EventMessageFiles(const EventSourceTable& table, int32_t source) {
  return Files(table, source, kEvent);
}
const MessageFileList* CategoryMessageFiles(const EventSourceTable& table, int32_t source) {
  return Files(table, source, kCategory);
}
const MessageFileList* ParameterMessageFiles(const EventSourceTable& table, int32_t source) {
  return Files(table, source, kParameter);
}

bool GetEventMessageFiles(const EventSourceTable& table, int32_t source, MessageFileList& list) {
  return Copy(EventMessageFiles(table, source), list);
}
bool GetCategoryMessageFiles(const EventSourceTable& table, int32_t source, MessageFileList& list) {
  return Copy(CategoryMessageFiles(table, source), list);
}
bool GetParameterMessageFiles(const EventSourceTable& table, int32_t source, MessageFileList& list) {
  return Copy(ParameterMessageFiles(table, source), list);
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
