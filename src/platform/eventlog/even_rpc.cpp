#include "platform/eventlog/even_rpc.h"

#include <cstring>

#include "platform/eventlog/evt_file.h"

namespace platform::even {
namespace {

constexpr uint32_t kStatusSuccess = 0;

// What the server said of the call after its out parameters.
DWORD Status(rpc::NdrReader& in) {
  const uint32_t status = in.U32();
  if (!in.ok() || in.remaining() != 0) return rpc::RPC_X_BAD_STUB_DATA;
  return FromNtStatus(status);
}

}  // namespace

const rpc::SyntaxId& Interface() {
  static const rpc::SyntaxId id = rpc::MakeSyntax("82273fdc-e32a-18c3-3f78-827929dc23ea", 0, 0);
  return id;
}

DWORD FromNtStatus(uint32_t status) {
  switch (status) {
    case kStatusSuccess:
      return ERROR_SUCCESS;
    case 0xC0000008:  // STATUS_INVALID_HANDLE
      return ERROR_INVALID_HANDLE;
    case 0xC000000D:  // STATUS_INVALID_PARAMETER
      return ERROR_INVALID_PARAMETER;
    case 0xC000000F:  // STATUS_NO_SUCH_FILE
    case 0xC0000034:  // STATUS_OBJECT_NAME_NOT_FOUND
    case 0xC0000039:  // STATUS_OBJECT_PATH_INVALID: Samba's answer for a log it does not keep
    case 0xC000003A:  // STATUS_OBJECT_PATH_NOT_FOUND
      return ERROR_FILE_NOT_FOUND;
    case 0xC0000011:  // STATUS_END_OF_FILE
      return ERROR_HANDLE_EOF;
    case 0xC0000022:  // STATUS_ACCESS_DENIED
      return ERROR_ACCESS_DENIED;
    case 0xC0000023:  // STATUS_BUFFER_TOO_SMALL
      return ERROR_INSUFFICIENT_BUFFER;
    case 0xC0000017:  // STATUS_NO_MEMORY
      return ERROR_NOT_ENOUGH_MEMORY;
    case 0xC000018E:  // STATUS_EVENTLOG_FILE_CORRUPT
      return ERROR_EVENTLOG_FILE_CORRUPT;
    case 0xC0000197:  // STATUS_EVENTLOG_FILE_CHANGED
      return ERROR_EVENTLOG_FILE_CHANGED;
    case 0xC000009A:  // STATUS_INSUFFICIENT_RESOURCES
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_READ_FAULT;
  }
}

std::vector<uint8_t> OpenRequest(std::string_view logName) {
  rpc::NdrWriter out;
  // The server name: a unique pointer to a pair of 16-bit values that
  // servers ignore.
  out.Pointer(true);
  out.U16('\\');
  out.U16(0);
  out.UnicodeString(logName);
  out.UnicodeString("");  // no registry module name
  out.U32(1);             // version 1.1
  out.U32(1);
  return out.Take();
}

std::vector<uint8_t> HandleRequest(const rpc::ContextHandle& log) {
  rpc::NdrWriter out;
  out.Handle(log);
  return out.Take();
}

std::vector<uint8_t> ReadRequest(const rpc::ContextHandle& log, uint32_t flags, uint32_t bytes) {
  rpc::NdrWriter out;
  out.Handle(log);
  out.U32(flags);
  out.U32(0);
  out.U32(bytes);
  return out.Take();
}

std::vector<uint8_t> ClearRequest(const rpc::ContextHandle& log) {
  rpc::NdrWriter out;
  out.Handle(log);
  out.Pointer(false);  // no backup file
  return out.Take();
}

DWORD ParseOpenAnswer(std::span<const uint8_t> answer, rpc::ContextHandle& log) {
  rpc::NdrReader in(answer);
  log = in.Handle();
  return Status(in);
}

DWORD ParseNumberAnswer(std::span<const uint8_t> answer, uint32_t& number) {
  rpc::NdrReader in(answer);
  number = in.U32();
  return Status(in);
}

DWORD ParseReadAnswer(std::span<const uint8_t> answer, std::span<const uint8_t>& records, uint32_t& needed) {
  rpc::NdrReader in(answer);
  const uint32_t size = in.U32();
  const auto buffer = in.Raw(size);
  in.Align(4);
  const uint32_t read = in.U32();
  needed = in.U32();
  const DWORD status = Status(in);
  if (status == rpc::RPC_X_BAD_STUB_DATA) return status;
  if (read > buffer.size()) return rpc::RPC_X_BAD_STUB_DATA;
  records = buffer.first(read);
  return status;
}

DWORD ParseStatusAnswer(std::span<const uint8_t> answer, bool withHandle) {
  rpc::NdrReader in(answer);
  if (withHandle) in.Handle();
  return Status(in);
}

DWORD SplitRecords(std::span<const uint8_t> bytes, std::vector<std::vector<uint8_t>>& out) {
  while (!bytes.empty()) {
    uint32_t length = 0;
    if (bytes.size() >= 4) std::memcpy(&length, bytes.data(), 4);
    if (length < evt::kMinRecordSize || length > bytes.size()) return ERROR_EVENTLOG_FILE_CORRUPT;
    std::vector<uint8_t> narrow;
    if (const DWORD status = evt::ToSingleByte(bytes.first(length), narrow); status != ERROR_SUCCESS) {
      return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    out.push_back(std::move(narrow));
    bytes = bytes.subspan(length);
  }
  return ERROR_SUCCESS;
}

}  // namespace platform::even
