// The category and description texts of one record, from the message files
// of its source, with fixed fallback texts when none yields one.
//
// Each message file is loaded for one lookup and freed right after it.
// Runs on the gather worker thread, one record at a time.
#pragma once

#include <cstdint>
#include <string_view>

#include "describe/event_sources.h"
#include "describe/insertion_strings.h"
#include "platform/eventlog/eventlog.h"

namespace corvid {

inline constexpr DWORD kCategoryBuffer = 255;

// A description in a local-heap buffer; the caller frees `text` with
// LocalFree after use, and only when `length` is not 0.
struct DescriptionText {
  char* text = kSharedEmptyText;
  DWORD length = 0;
};

// "Not found." for a source without category message files, "None" when
// none of its files holds the category, else the text less one line break.
void RenderCategory(const EventSourceTable& table, int32_t source, const EVENTLOGRECORD& record,
                    char (&buffer)[kCategoryBuffer]);

DescriptionText RenderDescription(const EventSourceTable& table, std::string_view sourceName,
                                  int32_t source, const EVENTLOGRECORD& record, size_t recordSize);

// "The description for Event ID ( N ) in Source ( S ) could not be found."
// and, with insertion strings, its longer form listing them.
DescriptionText FormatMissingDescription(std::string_view sourceName, const EVENTLOGRECORD& record,
                                         const InsertionStrings* strings);

}  // namespace corvid
