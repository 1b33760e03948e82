// The event tables "System", "Security" and "Application": the INSERT of a
// row, and the two queries that make a gather incremental: the newest
// RecordDate already stored for a computer, and how many rows carry it.
// Every statement runs on the statement of the log's session.
#pragma once

#include <string>
#include <string_view>

#include "db/event_row.h"
#include "db/odbc_session.h"

namespace corvid {

bool QueryStoredHorizon(OdbcSession& session, HWND window, const char* table, const char* computer,
                        Timestamp& newest, SQLINTEGER& count);
bool PrepareInsert(OdbcSession& session, HWND window, const char* table);
// Binds the eleven parameters anew (the buffers change from row to row) and
// executes the prepared INSERT once.
bool InsertEventRow(OdbcSession& session, HWND window, EventRow& row);

// A name as a string literal's content: each single quote doubled, so no
// computer name can change a statement.
std::string QuoteLiteral(std::string_view text);

}  // namespace corvid
