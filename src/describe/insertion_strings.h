// A record's insertion strings: copied from the record, their parameter
// markers (%%N) expanded from the source's parameter message file, and put
// into a message text in place of its insertion markers (%N).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "describe/event_sources.h"
#include "platform/eventlog/eventlog.h"

namespace corvid {

// Entry 0 is what %1 refers to.
using InsertionStrings = std::vector<std::string>;

// The text of a description or fallback that has no buffer of its own: a
// length of 0 comes with it, and it is never freed.
extern char kSharedEmptyText[1];

// The NumStrings strings of `record` (`recordSize` bytes, the strings at
// StringOffset), with parameter markers expanded when the source has a
// parameter message file that loads. A string that runs past the record
// ends there; strings that would start past it are empty.
// Into `strings`, whose texts' room is used again.
void BuildInsertionStrings(const EventSourceTable& table, int32_t source, const EVENTLOGRECORD& record,
                           size_t recordSize, InsertionStrings& strings);
inline InsertionStrings BuildInsertionStrings(const EventSourceTable& table, int32_t source,
                                              const EVENTLOGRECORD& record, size_t recordSize) {
  InsertionStrings strings;
  BuildInsertionStrings(table, source, record, recordSize, strings);
  return strings;
}

// Replaces "%%N" markers by message N of `module`, from left to right; the
// search goes on inside an inserted text from its third character.
void ExpandParameterMarkers(HMODULE module, std::string& text);

// Replaces the markers %1 .. %count of the local-heap text `text` of
// `length` characters; a new buffer replaces the old one only when a marker
// was replaced. On memory exhaustion the text becomes kSharedEmptyText
// with length 0.
void SubstituteInsertions(char*& text, DWORD& length, const InsertionStrings& strings, DWORD count);

// The number behind a marker: white space skipped, one sign, then decimal
// digits; 0 when there are none. Reads no further than `text` goes.
int64_t ReadMarkerNumber(std::string_view text, size_t position);

}  // namespace corvid
