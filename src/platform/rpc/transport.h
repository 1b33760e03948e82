// The byte stream under an RPC connection (a named pipe), and the codes of
// the RPC runtime that a failed call answers with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/base/win32.h"

namespace platform::rpc {

enum : LONG {
  RPC_S_UNKNOWN_IF = 1717,
  RPC_S_CALL_FAILED = 1726,
  RPC_S_PROTOCOL_ERROR = 1728,
  RPC_S_PROCNUM_OUT_OF_RANGE = 1745,
  RPC_X_BAD_STUB_DATA = 1783,
};

// Read fills exactly `size` bytes or fails.
class Transport {
 public:
  virtual ~Transport() = default;
  virtual DWORD Write(std::span<const uint8_t> bytes) = 0;
  virtual DWORD Read(void* out, size_t size) = 0;
};

}  // namespace platform::rpc
