#include "gather/row_builder.h"

#include <cstring>

#include "platform/accounts_time/accounts.h"
#include "platform/accounts_time/time_conversion.h"
#include "platform/modules/modules.h"

namespace corvid {
namespace {

constexpr size_t kFixedPart = sizeof(EVENTLOGRECORD);

int64_t EpochTicks() {
  SYSTEMTIME epoch{};
  epoch.wYear = 1970;
  epoch.wMonth = 1;
  epoch.wDay = 1;
  FILETIME ft{};
  SystemTimeToFileTime(&epoch, &ft);
  return static_cast<int64_t>((uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime);
}

FILETIME ToFileTime(int64_t ticks) {
  const auto u = static_cast<uint64_t>(ticks);
  return FILETIME{static_cast<DWORD>(u & 0xFFFFFFFF), static_cast<DWORD>(u >> 32)};
}

// The NUL-terminated text at `offset`, never read past `size`.
std::string_view TextAt(const char* base, size_t size, size_t offset) {
  if (offset >= size) return {};
  return std::string_view(base + offset, strnlen(base + offset, size - offset));
}

std::string LookUpAccount(const char* computerName, const EVENTLOGRECORD& record, size_t recordSize) {
  if (record.UserSidLength == 0) return {};
  const size_t offset = record.UserSidOffset;
  if (offset > recordSize || record.UserSidLength > recordSize - offset) return {};
  const auto* sid = reinterpret_cast<const uint8_t*>(&record) + offset;
  if (platform::SidLength(sid, record.UserSidLength) == 0) return {};
  char name[255];
  char domain[255];
  DWORD nameSize = sizeof name;
  DWORD domainSize = sizeof domain;
  SID_NAME_USE use;
  if (!LookupAccountSidA(computerName, sid, name, &nameSize, domain, &domainSize, &use)) return {};
  return name;  // the domain that comes with it is dropped
}

}  // namespace

EventRow BuildEventRow(const char* computerName, const EventSourceTable& table,
                       const EVENTLOGRECORD& record, size_t recordSize) {
  EventRow row;
  BuildEventRow(computerName, table, record, recordSize, row);
  return row;
}

void BuildEventRow(const char* computerName, const EventSourceTable& table, const EVENTLOGRECORD& record,
                   size_t recordSize, EventRow& row) {
  const char* base = reinterpret_cast<const char*>(&record);
  row.Workstation = computerName != nullptr ? computerName : "";
  row.recordNumber = record.RecordNumber;
  row.EventDate = ToLocalTimestamp(record.TimeGenerated);
  // Most records are written in the second they are made: one conversion then.
  row.RecordDate = record.TimeWritten == record.TimeGenerated ? row.EventDate : ToLocalTimestamp(record.TimeWritten);
  const std::string_view source = TextAt(base, recordSize, kFixedPart);
  row.Source = source;
  row.Computer = TextAt(base, recordSize, kFixedPart + source.size() + 1);
  row.UserName = LookUpAccount(computerName, record, recordSize);
  const char* type = EventTypeText(record.EventType);
  row.Type = type != nullptr ? type : "";
  row.EventID = record.EventID & 0xFFFF;

  // The lookup uses the whole source name, not the 254 bytes of the field.
  const int32_t index = FindEventSource(table, source);
  RenderCategory(table, index, record, row.Category);
  const DescriptionText description = RenderDescription(table, source, index, record, recordSize);
  row.SetDescription(description.text, description.length);

  row.dataLength = record.DataLength;
  row.data.clear();
  if (record.DataLength > 0) {
    const size_t offset = record.DataOffset;
    const bool inside = offset <= recordSize && record.DataLength <= recordSize - offset;
    row.data.assign(record.DataLength + size_t{1}, 0);
    if (inside) std::memcpy(row.data.data(), base + offset, record.DataLength);
  }
}

Timestamp ToLocalTimestamp(DWORD seconds) {
  static const int64_t epoch = EpochTicks();  // the same instant for every record
  const int64_t ticks = epoch + static_cast<int64_t>(seconds) * 10000000;
  const FILETIME ft = ToFileTime(ticks);
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  FileTimeToSystemTime(&ft, &utc);
  SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  Timestamp t;
  t.year = static_cast<int16_t>(local.wYear);
  t.month = local.wMonth;
  t.day = local.wDay;
  t.hour = local.wHour;
  t.minute = local.wMinute;
  t.second = local.wSecond;
  t.fraction = 1000;
  return t;
}

DWORD FromLocalTimestamp(const Timestamp& timestamp) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(timestamp.year);
  st.wMonth = timestamp.month;
  st.wDay = timestamp.day;
  st.wHour = timestamp.hour;
  st.wMinute = timestamp.minute;
  st.wSecond = timestamp.second;
  FILETIME local{};
  FILETIME utc{};
  if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc)) return 0;
  const int64_t ticks = static_cast<int64_t>((uint64_t{utc.dwHighDateTime} << 32) | utc.dwLowDateTime);
  // Cut to 32 bits, as the seconds of a record are.
  return static_cast<DWORD>(static_cast<uint64_t>((ticks - EpochTicks()) / 10000000));
}

const char* EventTypeText(WORD type) {
  switch (type) {
    case 1: return "Error";
    case 2: return "Warning";
    case 4: return "Information";
    case 8: return "Success Audit";
    case 16: return "Failure Audit";
    default: return nullptr;
  }
}

}  // namespace corvid
