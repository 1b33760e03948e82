// A source's message-file value made into paths this computer can open: the
// value split at semicolons, a leading %SystemRoot% expanded with the
// system root of the registry that named it, and, when that registry was
// another computer's, its drive paths put on that computer's administrative
// shares (C:\x becomes \\NAME\C$\x).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "describe/event_sources.h"

namespace corvid {

using MessageFileList = std::vector<std::string>;

// False, with the list empty, for a source not in the table (index -1 or
// out of range) or with an empty value.
bool GetEventMessageFiles(const EventSourceTable& table, int32_t source, MessageFileList& list);
bool GetCategoryMessageFiles(const EventSourceTable& table, int32_t source, MessageFileList& list);
bool GetParameterMessageFiles(const EventSourceTable& table, int32_t source, MessageFileList& list);

// The same lists without a copy: null for a source without that value. The
// list lives as long as the table, and is mapped once per source.
const MessageFileList* EventMessageFiles(const EventSourceTable& table, int32_t source);
const MessageFileList* CategoryMessageFiles(const EventSourceTable& table, int32_t source);
const MessageFileList* ParameterMessageFiles(const EventSourceTable& table, int32_t source);

// Every piece becomes one path, empty ones included; nothing is trimmed and
// nothing is checked for existence.
void MapMessageFilePaths(const EventSourceTable& table, std::string_view value, MessageFileList& list);

}  // namespace corvid
