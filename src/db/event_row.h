// One event record as the event tables receive it: the eleven columns of an
// INSERT, in fixed-size fields the parameters are bound to.
//
// Made on the gather worker thread for one record and dropped after its
// insert. It owns its description (a local-heap text, freed with LocalFree
// when its length is not 0) and its copy of the binary data.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/base/fixed_text.h"
#include "platform/base/win32.h"

namespace corvid {

// Laid out as ODBC's TIMESTAMP_STRUCT, so it binds as SQL_C_TIMESTAMP.
struct Timestamp {
  int16_t year = 0;
  uint16_t month = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint32_t fraction = 0;  // billionths of a second
};

inline constexpr DWORD kCategoryField = 255;

struct EventRow {
  EventRow() = default;
  EventRow(EventRow&& other) noexcept;
  EventRow& operator=(EventRow&& other) noexcept;
  EventRow(const EventRow&) = delete;
  EventRow& operator=(const EventRow&) = delete;
  ~EventRow();

  // Takes a local-heap description; a length of 0 is never freed.
  void SetDescription(char* text, DWORD length);

  platform::FixedText<50> Workstation;
  DWORD recordNumber = 0;  // kept, but no column receives it
  Timestamp EventDate;
  Timestamp RecordDate;
  platform::FixedText<255> Source;
  platform::FixedText<50> Computer;
  platform::FixedText<255> UserName;
  platform::FixedText<50> Type;
  char Category[kCategoryField] = {};
  DWORD EventID = 0;
  DWORD descriptionLength = 0;
  char* description = nullptr;
  DWORD dataLength = 0;
  std::vector<uint8_t> data;  // dataLength bytes and one NUL; empty when none
};

}  // namespace corvid
