// The event log's RPC interface (MS-EVEN over \PIPE\eventlog): the request
// stubs of the calls we make and the readers of their answers. The Unicode
// calls only: servers may not serve the ANSI ones, and Unicode records keep
// every character.
//
// Each reader answers the call's status as a Win32 code (STATUS_END_OF_FILE
// 38, STATUS_BUFFER_TOO_SMALL 122, ...) and RPC_X_BAD_STUB_DATA for an
// answer that does not parse.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/rpc/dcerpc.h"
#include "platform/rpc/ndr.h"

namespace platform::even {

enum Opnum : uint16_t {
  kClearLogW = 0,
  kCloseLog = 2,
  kNumberOfRecords = 4,
  kOldestRecord = 5,
  kOpenLogW = 7,
  kReadLogW = 10,
};

// The most one read may ask for.
constexpr uint32_t kMaxRead = 0x7FFFF;

const rpc::SyntaxId& Interface();

DWORD FromNtStatus(uint32_t status);

std::vector<uint8_t> OpenRequest(std::string_view logName);
std::vector<uint8_t> HandleRequest(const rpc::ContextHandle& log);
std::vector<uint8_t> ReadRequest(const rpc::ContextHandle& log, uint32_t flags, uint32_t bytes);
std::vector<uint8_t> ClearRequest(const rpc::ContextHandle& log);

DWORD ParseOpenAnswer(std::span<const uint8_t> answer, rpc::ContextHandle& log);
// ElfrNumberOfRecords and ElfrOldestRecord.
DWORD ParseNumberAnswer(std::span<const uint8_t> answer, uint32_t& number);
// `records` points into `answer`: the bytes the server says it filled.
DWORD ParseReadAnswer(std::span<const uint8_t> answer, std::span<const uint8_t>& records, uint32_t& needed);
// ElfrClearELFW and ElfrCloseEL (whose handle comes back zeroed).
DWORD ParseStatusAnswer(std::span<const uint8_t> answer, bool withHandle);

// Splits a read's bytes into whole records and turns each into the
// single-byte layout. ERROR_EVENTLOG_FILE_CORRUPT on a record that breaks
// the layout; the records before it stay in `out`.
DWORD SplitRecords(std::span<const uint8_t> bytes, std::vector<std::vector<uint8_t>>& out);

}  // namespace platform::even
