#include "describe/description.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "describe/message_paths.h"
#include "platform/modules/modules.h"

namespace corvid {
namespace {

constexpr DWORD kLoadAsData = DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE;
constexpr DWORD kFetchIntoBuffer = FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_HMODULE;
constexpr DWORD kNeutralLanguage = 0x0400;

// The text around the event id and the source. The two spellings differ on
// purpose: "Source (" without strings, "Source(" with them, and the second
// ends with a blank.
constexpr std::string_view kMissingStart = "The description for Event ID ( ";
constexpr std::string_view kMissingSource = " ) in Source ( ";
constexpr std::string_view kMissingEnd = " ) could not be found.";
constexpr std::string_view kMissingSourceWithStrings = " ) in Source( ";
constexpr std::string_view kMissingEndWithStrings =
    " ) could not be found. It contains the following insertion string(s): ";

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

}  // namespace

void RenderCategory(const EventSourceTable& table, int32_t source, const EVENTLOGRECORD& record,
                    char (&buffer)[kCategoryBuffer]) {
  const MessageFileList* files = CategoryMessageFiles(table, source);
  if (files == nullptr) {
    std::snprintf(buffer, sizeof buffer, "Not found.");
    return;
  }
  DWORD length = 0;
  for (const std::string& path : *files) {
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, kLoadAsData);
    if (module == nullptr) continue;
    length = FormatMessageA(kFetchIntoBuffer, module, record.EventCategory, kNeutralLanguage,
                            buffer, kCategoryBuffer, nullptr);
    FreeLibrary(module);
    if (length > 0) break;
  }
  if (length == 0) {
    std::snprintf(buffer, sizeof buffer, "None");
    return;
  }
  // One line break goes: CR LF (or any two line-end characters), else one.
  const size_t l = std::strlen(buffer);
  if (l >= 2 && IsLineEnd(buffer[l - 2])) {
    buffer[l - 2] = '\0';
  } else if (l >= 1 && IsLineEnd(buffer[l - 1])) {
    buffer[l - 1] = '\0';
  }
}

DescriptionText RenderDescription(const EventSourceTable& table, std::string_view sourceName,
                                  int32_t source, const EVENTLOGRECORD& record, size_t recordSize) {
  // Kept by the thread, so that their room serves record after record.
  thread_local InsertionStrings strings;
  if (record.NumStrings > 0) BuildInsertionStrings(table, source, record, recordSize, strings);
  const MessageFileList* files = EventMessageFiles(table, source);
  if (files == nullptr) return FormatMissingDescription(sourceName, record, record.NumStrings > 0 ? &strings : nullptr);

  DescriptionText result;
  for (const std::string& path : *files) {
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, kLoadAsData);
    if (module == nullptr) continue;
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(kFetchIntoBuffer | FORMAT_MESSAGE_ALLOCATE_BUFFER, module, record.EventID,
                       kNeutralLanguage, reinterpret_cast<char*>(&text), 0, nullptr);
    FreeLibrary(module);
    if (length > 0) {
      result.text = text;
      result.length = length;
      break;
    }
  }
  if (result.length == 0) {
    return FormatMissingDescription(sourceName, record, record.NumStrings > 0 ? &strings : nullptr);
  }
  // Without strings the markers stay as the message has them.
  if (record.NumStrings > 0) SubstituteInsertions(result.text, result.length, strings, record.NumStrings);
  return result;
}

DescriptionText FormatMissingDescription(std::string_view sourceName, const EVENTLOGRECORD& record,
                                         const InsertionStrings* strings) {
  const bool withStrings = record.NumStrings > 0 && strings != nullptr;
  const std::string_view middle = withStrings ? kMissingSourceWithStrings : kMissingSource;
  const std::string_view end = withStrings ? kMissingEndWithStrings : kMissingEnd;
  char id[8];
  const std::string_view idText(id, static_cast<size_t>(std::to_chars(id, id + sizeof id, record.EventID & 0xFFFF).ptr - id));
  size_t size = kMissingStart.size() + idText.size() + middle.size() + sourceName.size() + end.size() + 1;
  if (withStrings) {
    for (const std::string& s : *strings) size += s.size() + 1;
  }
  auto* buffer = static_cast<char*>(LocalAlloc(LMEM_FIXED, size));
  if (buffer == nullptr) return DescriptionText{};
  // Written piece by piece: this runs for every record of a source without
  // message files.
  size_t length = 0;
  const auto put = [&](std::string_view piece) {
    std::memcpy(buffer + length, piece.data(), piece.size());
    length += piece.size();
  };
  for (const std::string_view piece : {kMissingStart, idText, middle, sourceName, end}) put(piece);
  if (withStrings) {
    for (const std::string& s : *strings) {
      put(s);
      buffer[length++] = ' ';
    }
  }
  buffer[length] = '\0';
  return DescriptionText{buffer, static_cast<DWORD>(length)};
}

}  // namespace corvid
