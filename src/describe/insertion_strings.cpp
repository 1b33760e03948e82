#include "describe/insertion_strings.h"

#include <algorithm>
#include <cstring>

#include "describe/message_paths.h"
#include "platform/modules/modules.h"

namespace corvid {

char kSharedEmptyText[1] = {'\0'};

namespace {

constexpr DWORD kLoadAsData = DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE;
constexpr DWORD kFetchAllocated =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_HMODULE;
constexpr DWORD kNeutralLanguage = 0x0400;

// A parameter text may hold markers itself, even its own; these bounds keep
// a message file that refers to itself from growing a string for ever.
constexpr size_t kMaxExpandedLength = 65536;
constexpr int kMaxExpansions = 4096;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int64_t ReadMarkerNumber(std::string_view text, size_t position) {
  size_t p = position;
  while (p < text.size() && IsSpace(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  int64_t value = 0;
  for (; p < text.size() && IsDigit(text[p]); ++p) {
    // Saturates: a number this large is no marker of any record.
    if (value < (int64_t{1} << 40)) value = value * 10 + (text[p] - '0');
  }
  return negative ? -value : value;
}

void ExpandParameterMarkers(HMODULE module, std::string& text) {
  size_t found = text.find("%%");
  for (int expansions = 0; found != std::string::npos && expansions < kMaxExpansions; ++expansions) {
    const size_t marker = found + 2;
    if (marker >= text.size()) return;
    const int64_t number = ReadMarkerNumber(text, marker);
    if (number == 0) return;
    char* fetched = nullptr;
    const DWORD length = FormatMessageA(kFetchAllocated, module, static_cast<DWORD>(number),
                                        kNeutralLanguage, reinterpret_cast<char*>(&fetched), 0, nullptr);
    if (length == 0) return;
    size_t digitsEnd = marker;
    while (digitsEnd < text.size() && IsDigit(text[digitsEnd])) ++digitsEnd;
    text.replace(found, digitsEnd - found, fetched, length);
    LocalFree(fetched);
    if (text.size() > kMaxExpandedLength) return;
    // From two characters into the inserted text, so markers it holds are
    // expanded in turn.
    found = text.find("%%", marker);
  }
}

void BuildInsertionStrings(const EventSourceTable& table, int32_t source, const EVENTLOGRECORD& record,
                           size_t recordSize, InsertionStrings& strings) {
  HMODULE parameters = nullptr;
  if (const MessageFileList* files = ParameterMessageFiles(table, source)) {
    parameters = LoadLibraryExA(files->front().c_str(), nullptr, kLoadAsData);
  }
  strings.resize(record.NumStrings);
  const char* base = reinterpret_cast<const char*>(&record);
  size_t offset = record.StringOffset;
  for (std::string& text : strings) {
    text.clear();
    if (offset < recordSize) {
      const char* start = base + offset;
      const size_t length = strnlen(start, recordSize - offset);
      text.assign(start, length);
      offset += length + 1;
    }
    if (parameters != nullptr) ExpandParameterMarkers(parameters, text);
  }
  if (parameters != nullptr) FreeLibrary(parameters);
}

void SubstituteInsertions(char*& text, DWORD& length, const InsertionStrings& strings, DWORD count) {
  const std::string_view message(text, length);
  // Walked twice, to measure the result and then to write it into a buffer
  // of that size: `put` takes the pieces in order.
  const auto walk = [&](const auto& put) {
    size_t segment = 0;
    size_t scan = 0;
    while (scan < message.size()) {
      scan = message.find('%', scan);
      if (scan == std::string_view::npos || scan + 1 == message.size()) break;
      const int64_t number = ReadMarkerNumber(message, scan + 1);
      if (number >= 1 && number <= static_cast<int64_t>(count) &&
          static_cast<size_t>(number) <= strings.size()) {
        put(message.substr(segment, scan - segment));
        put(strings[static_cast<size_t>(number) - 1]);
        // Only the digits right behind the percent sign go; a blank or a sign
        // that the number rule read past stays in the text.
        size_t next = scan + 1;
        while (next < message.size() && IsDigit(message[next])) ++next;
        segment = scan = next;
      } else {
        // The character behind a percent sign never starts a marker itself.
        scan += 2;
      }
    }
    if (segment > 0) put(message.substr(segment));
    return segment > 0;
  };
  size_t size = 0;
  if (!walk([&](std::string_view piece) { size += piece.size(); })) return;
  auto* fresh = static_cast<char*>(LocalAlloc(LMEM_FIXED, size + 1));
  if (fresh != nullptr) {
    char* end = fresh;
    walk([&](std::string_view piece) { end = std::copy(piece.begin(), piece.end(), end); });
    *end = '\0';
  }
  LocalFree(text);
  text = fresh != nullptr ? fresh : kSharedEmptyText;
  length = fresh != nullptr ? static_cast<DWORD>(size) : 0;
}

}  // namespace corvid
