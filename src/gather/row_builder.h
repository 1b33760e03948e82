// A record made into its row: texts cut to their fields, the type as text,
// the account name, local times, the low 16 bits of the event identifier,
// the category and description, and the binary data. Gather worker thread.
#pragma once

#include <cstdint>

#include "describe/description.h"
#include "describe/event_sources.h"
#include "db/event_row.h"
#include "platform/eventlog/eventlog.h"

namespace corvid {

// `record` is `recordSize` bytes as ReadEventLogA delivered it.
EventRow BuildEventRow(const char* computerName, const EventSourceTable& table,
                       const EVENTLOGRECORD& record, size_t recordSize);
// The same into `row`, every field of it replaced: a walk fills the same
// few rows record after record rather than moving a new one in.
void BuildEventRow(const char* computerName, const EventSourceTable& table, const EVENTLOGRECORD& record,
                   size_t recordSize, EventRow& row);

// A record time (seconds since 1970 UTC) as local date and time under the
// zone's rule for that date, fraction 1000.
Timestamp ToLocalTimestamp(DWORD seconds);
// Back to seconds, read as local time with the offset in force now; a date
// of the other season comes back shifted by the daylight-saving difference.
DWORD FromLocalTimestamp(const Timestamp& timestamp);

// "Error", "Warning", "Information", "Success Audit", "Failure Audit";
// null for any other type.
const char* EventTypeText(WORD type);

}  // namespace corvid
