// The event logs of the live network's computers, read over RPC (even_rpc.h)
// on each computer's \PIPE\eventlog, with the contract of eventlog.h.
//
// A handle is one RPC connection. Reads ask the server for up to
// kReadChunk bytes of records at a time, keep them converted to the
// single-byte layout, and hand them out as the caller's buffer allows, so
// a record too large for that buffer is ERROR_INSUFFICIENT_BUFFER with the
// size it has in our layout. Servers end a log with STATUS_END_OF_FILE or,
// as Samba does, with success and no bytes: both are ERROR_HANDLE_EOF.
//
// ClearEventLogA asks the server for the number of records and the oldest
// one right before the clear and refuses with ERROR_EVENTLOG_FILE_CHANGED
// when a record beyond the last one handed out is there. A record written
// between that question and the clear is lost: the interface has no clear
// that checks, so this one round trip stays open.
#pragma once

#include <cstdint>

#include "platform/eventlog/eventlog.h"

namespace platform {

constexpr uint32_t kReadChunk = 0x10000;

EventLogService& LiveEventLogService();
bool IsLiveEventLogHandle(HANDLE log);

// Round trips and bytes received by the live event logs of this process,
// for the benchmark.
struct LiveTraffic {
  uint64_t calls = 0;
  uint64_t bytes = 0;
};
LiveTraffic LiveEventLogTraffic();

}  // namespace platform
