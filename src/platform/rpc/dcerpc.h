// Connection-oriented DCE/RPC over a byte stream (a named pipe): binding to
// one interface with the NDR transfer syntax, calls with their call ids,
// fragmentation of requests and reassembly of answers, faults.
//
// Everything here answers with Win32 codes, as Windows' RPC runtime does:
// a fault becomes the RPC_S_ or RPC_X_ code of its status (access denied
// stays 5); an answer that breaks the protocol is RPC_S_PROTOCOL_ERROR; a
// transport that fails mid-call is what the transport says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/base/win32.h"
#include "platform/rpc/transport.h"

namespace platform::rpc {

// An interface or transfer syntax: its UUID and version.
struct SyntaxId {
  uint8_t uuid[16] = {};
  uint16_t major = 0;
  uint16_t minor = 0;
};

// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" in its NDR byte order (the first
// three fields little-endian).
SyntaxId MakeSyntax(std::string_view uuid, uint16_t major, uint16_t minor);

enum class PduType : uint8_t {
  kRequest = 0,
  kResponse = 2,
  kFault = 3,
  kBind = 11,
  kBindAck = 12,
  kBindNak = 13,
};

enum : uint8_t { PFC_FIRST_FRAG = 0x01, PFC_LAST_FRAG = 0x02 };

constexpr size_t kHeaderSize = 16;
constexpr uint16_t kDefaultFragment = 4280;  // what Windows and Samba offer
// No answer of ours is larger: ElfrReadELW returns at most 0x7FFFF bytes.
constexpr size_t kMaxAnswer = 1u << 20;

struct PduHeader {
  PduType type{};
  uint8_t flags = 0;
  uint16_t fragLength = 0;
  uint16_t authLength = 0;
  uint32_t callId = 0;
};

// The common header of a PDU: version 5.0, little-endian integers and a
// fragment length that covers at least the header.
bool ParseHeader(std::span<const uint8_t> bytes, PduHeader& header);

// What follows the header of a bind_ack: the fragment sizes the server
// takes, and whether it accepted our one presentation context.
struct BindAck {
  uint16_t maxXmit = 0;
  uint16_t maxRecv = 0;
  bool accepted = false;
};
bool ParseBindAck(std::span<const uint8_t> body, BindAck& ack);

// The stub of one response fragment's body, or a fault's status.
bool ParseResponseBody(std::span<const uint8_t> body, std::span<const uint8_t>& stub);
bool ParseFaultBody(std::span<const uint8_t> body, uint32_t& status);
// The Win32 code of a fault status.
DWORD FaultCode(uint32_t status);

// The fragments of one request: each at most `maxFragment` bytes.
std::vector<std::vector<uint8_t>> BuildRequest(uint32_t callId, uint16_t opnum,
                                               std::span<const uint8_t> stub, uint16_t maxFragment);
std::vector<uint8_t> BuildBind(uint32_t callId, const SyntaxId& abstract, uint16_t maxFragment);

class Connection {
 public:
  // `maxFragment` is what we offer and send at most; tests make it small.
  explicit Connection(std::unique_ptr<Transport> transport, uint16_t maxFragment = kDefaultFragment)
      : transport_(std::move(transport)), maxXmit_(maxFragment), maxRecv_(maxFragment) {}

  DWORD Bind(const SyntaxId& abstract);
  // One call: the request's stub out, the whole answer's stub back.
  DWORD Call(uint16_t opnum, std::span<const uint8_t> stub, std::vector<uint8_t>& answer);

  // Round trips and bytes so far, for the benchmark.
  uint64_t calls() const { return calls_; }
  uint64_t bytesIn() const { return bytesIn_; }

 private:
  DWORD Exchange(const std::function<DWORD()>& exchange);
  DWORD BindOnce(const SyntaxId& abstract);
  DWORD CallOnce(uint16_t opnum, std::span<const uint8_t> stub, std::vector<uint8_t>& answer);
  DWORD ReadPdu(PduHeader& header, std::vector<uint8_t>& body);

  std::unique_ptr<Transport> transport_;
  uint16_t maxXmit_;
  uint16_t maxRecv_;
  uint32_t nextCallId_ = 1;
  bool broken_ = false;
  bool faulted_ = false;
  uint64_t calls_ = 0;
  uint64_t bytesIn_ = 0;
};

}  // namespace platform::rpc
