#include "db/event_row.h"

#include <cstring>
#include <utility>

#include "platform/modules/modules.h"

namespace corvid {

EventRow::EventRow(EventRow&& other) noexcept { *this = std::move(other); }

EventRow& EventRow::operator=(EventRow&& other) noexcept {
  if (this == &other) return *this;
  SetDescription(std::exchange(other.description, nullptr), std::exchange(other.descriptionLength, 0));
  Workstation = other.Workstation;
  recordNumber = other.recordNumber;
  EventDate = other.EventDate;
  RecordDate = other.RecordDate;
  Source = other.Source;
  Computer = other.Computer;
  UserName = other.UserName;
  Type = other.Type;
  std::memcpy(Category, other.Category, sizeof Category);
  EventID = other.EventID;
  dataLength = other.dataLength;
  data = std::move(other.data);
  return *this;
}

EventRow::~EventRow() { SetDescription(nullptr, 0); }

void EventRow::SetDescription(char* text, DWORD length) {
  // A length of 0 comes with a shared empty text that is never freed.
  if (descriptionLength != 0 && description != nullptr) LocalFree(description);
  description = text;
  descriptionLength = length;
}

}  // namespace corvid
