#include "platform/rpc/dcerpc.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "platform/rpc/ndr.h"

namespace platform::rpc {
namespace {

// Versions 5.0, and the data representation: little-endian, ASCII, IEEE.
constexpr uint8_t kDataRepresentation[4] = {0x10, 0, 0, 0};
// Request and response bodies carry alloc_hint, context id, opnum or
// cancel count before the stub.
constexpr size_t kCallHeaderSize = 24;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void PutHeader(NdrWriter& out, PduType type, uint8_t flags, uint32_t callId) {
  out.U8(5);
  out.U8(0);
  out.U8(static_cast<uint8_t>(type));
  out.U8(flags);
  out.Raw(kDataRepresentation);
  out.U16(0);  // fragment length, set when the PDU is whole
  out.U16(0);
  out.U32(callId);
}

std::vector<uint8_t> Finish(NdrWriter& out) {
  std::vector<uint8_t> bytes = out.Take();
  bytes[8] = static_cast<uint8_t>(bytes.size());
  bytes[9] = static_cast<uint8_t>(bytes.size() >> 8);
  return bytes;
}

const SyntaxId& NdrSyntax() {
  static const SyntaxId ndr = MakeSyntax("8a885d04-1ceb-11c9-9fe8-08002b104860", 2, 0);
  return ndr;
}

}  // namespace

SyntaxId MakeSyntax(std::string_view text, uint16_t major, uint16_t minor) {
  uint8_t plain[16] = {};
  size_t n = 0;
  int high = -1;
  for (const char c : text) {
    if (c == '-') continue;
    const int digit = HexDigit(c);
    if (digit < 0 || n == 16) break;
    if (high < 0) {
      high = digit;
    } else {
      plain[n++] = static_cast<uint8_t>(high << 4 | digit);
      high = -1;
    }
  }
  SyntaxId id;
  const uint8_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (size_t i = 0; i < 16; ++i) id.uuid[i] = plain[order[i]];
  id.major = major;
  id.minor = minor;
  return id;
}

bool ParseHeader(std::span<const uint8_t> bytes, PduHeader& header) {
  NdrReader in(bytes);
  const uint8_t major = in.U8();
  const uint8_t minor = in.U8();
  header.type = static_cast<PduType>(in.U8());
  header.flags = in.U8();
  const auto representation = in.Raw(4);
  header.fragLength = in.U16();
  header.authLength = in.U16();
  header.callId = in.U32();
  return in.ok() && major == 5 && minor == 0 && (representation[0] & 0xF0) == 0x10 &&
         header.fragLength >= kHeaderSize;
}

bool ParseBindAck(std::span<const uint8_t> body, BindAck& ack) {
  NdrReader in(body);
  ack.maxXmit = in.U16();
  ack.maxRecv = in.U16();
  in.U32();  // association group
  const uint16_t addressLength = in.U16();
  in.Raw(addressLength);
  in.Align(4);
  const uint8_t results = in.U8();
  in.U8();
  in.U16();
  const uint16_t result = in.U16();
  in.U16();  // reason
  in.Raw(20);  // the transfer syntax taken
  ack.accepted = results >= 1 && result == 0;
  return in.ok() && ack.maxXmit >= kCallHeaderSize + 8 && ack.maxRecv >= kCallHeaderSize + 8;
}

bool ParseResponseBody(std::span<const uint8_t> body, std::span<const uint8_t>& stub) {
  if (body.size() < kCallHeaderSize - kHeaderSize) return false;
  stub = body.subspan(kCallHeaderSize - kHeaderSize);
  return true;
}

bool ParseFaultBody(std::span<const uint8_t> body, uint32_t& status) {
  NdrReader in(body);
  in.U32();
  in.U16();
  in.U8();
  in.U8();
  status = in.U32();
  return in.ok();
}

DWORD FaultCode(uint32_t status) {
  switch (status) {
    case 5:
      return ERROR_ACCESS_DENIED;
    case 0x1C010002:  // nca_s_op_rng_error
      return RPC_S_PROCNUM_OUT_OF_RANGE;
    case 0x1C010003:  // nca_s_unk_if
      return RPC_S_UNKNOWN_IF;
    case 0x000006F7:  // nca_s_fault_ndr
      return RPC_X_BAD_STUB_DATA;
    default:
      // Windows hands the Win32 codes of its faults through as they are.
      return status != 0 && status < 0x10000 ? status : static_cast<DWORD>(RPC_S_CALL_FAILED);
  }
}

std::vector<std::vector<uint8_t>> BuildRequest(uint32_t callId, uint16_t opnum,
                                               std::span<const uint8_t> stub, uint16_t maxFragment) {
  // Stub pieces stay 8-byte multiples, so every fragment but the last is
  // aligned as NDR wants the stub it continues.
  const size_t room = std::max<size_t>(8, (maxFragment - kCallHeaderSize) / 8 * 8);
  std::vector<std::vector<uint8_t>> fragments;
  size_t sent = 0;
  do {
    const size_t piece = std::min(room, stub.size() - sent);
    uint8_t flags = 0;
    if (sent == 0) flags |= PFC_FIRST_FRAG;
    if (sent + piece == stub.size()) flags |= PFC_LAST_FRAG;
    NdrWriter out;
    PutHeader(out, PduType::kRequest, flags, callId);
    out.U32(static_cast<uint32_t>(stub.size() - sent));  // alloc_hint
    out.U16(0);                                          // context id
    out.U16(opnum);
    out.Raw(stub.subspan(sent, piece));
    fragments.push_back(Finish(out));
    sent += piece;
  } while (sent < stub.size());
  return fragments;
}

std::vector<uint8_t> BuildBind(uint32_t callId, const SyntaxId& abstract, uint16_t maxFragment) {
  NdrWriter out;
  PutHeader(out, PduType::kBind, PFC_FIRST_FRAG | PFC_LAST_FRAG, callId);
  out.U16(maxFragment);
  out.U16(maxFragment);
  out.U32(0);  // a new association group
  out.U8(1);   // one presentation context
  out.U8(0);
  out.U16(0);
  out.U16(0);  // its id
  out.U8(1);   // one transfer syntax
  out.U8(0);
  for (const SyntaxId* syntax : {&abstract, &NdrSyntax()}) {
    out.Raw(syntax->uuid);
    out.U16(syntax->major);
    out.U16(syntax->minor);
  }
  return Finish(out);
}

DWORD Connection::Exchange(const std::function<DWORD()>& exchange) {
  if (broken_) return RPC_S_CALL_FAILED;
  const DWORD status = exchange();
  // After a broken exchange the stream may hold the rest of an answer, and
  // a fault ends a call only: nothing else is to be trusted on it.
  if (status != ERROR_SUCCESS && !faulted_) broken_ = true;
  faulted_ = false;
  return status;
}

DWORD Connection::ReadPdu(PduHeader& header, std::vector<uint8_t>& body) {
  // A pipe read asking for more than the message holds waits for a time-out,
  // so the header comes first and tells how much follows.
  uint8_t head[kHeaderSize];
  if (const DWORD status = transport_->Read(head, sizeof head); status != ERROR_SUCCESS) return status;
  if (!ParseHeader(head, header)) return RPC_S_PROTOCOL_ERROR;
  body.resize(header.fragLength - kHeaderSize);
  if (!body.empty()) {
    if (const DWORD status = transport_->Read(body.data(), body.size()); status != ERROR_SUCCESS) return status;
  }
  bytesIn_ += header.fragLength;
  // Authentication trailers are not asked for and so not expected.
  if (header.authLength != 0) return RPC_S_PROTOCOL_ERROR;
  return ERROR_SUCCESS;
}

DWORD Connection::Bind(const SyntaxId& abstract) {
  const DWORD status = Exchange([&] { return BindOnce(abstract); });
  return status;
}

DWORD Connection::BindOnce(const SyntaxId& abstract) {
  const uint32_t callId = nextCallId_++;
  if (const DWORD status = transport_->Write(BuildBind(callId, abstract, maxXmit_)); status != ERROR_SUCCESS) {
    return status;
  }
  PduHeader header;
  std::vector<uint8_t> body;
  if (const DWORD status = ReadPdu(header, body); status != ERROR_SUCCESS) return status;
  ++calls_;
  if (header.callId != callId) return RPC_S_PROTOCOL_ERROR;
  if (header.type == PduType::kBindNak) return RPC_S_UNKNOWN_IF;
  BindAck ack;
  if (header.type != PduType::kBindAck || !ParseBindAck(body, ack)) return RPC_S_PROTOCOL_ERROR;
  if (!ack.accepted) return RPC_S_UNKNOWN_IF;
  // The server's receive size bounds what we send; its transmit size,
  // what it sends us, is its business as long as each PDU says its length.
  maxXmit_ = std::min(maxXmit_, ack.maxRecv);
  return ERROR_SUCCESS;
}

DWORD Connection::Call(uint16_t opnum, std::span<const uint8_t> stub, std::vector<uint8_t>& answer) {
  return Exchange([&] { return CallOnce(opnum, stub, answer); });
}

DWORD Connection::CallOnce(uint16_t opnum, std::span<const uint8_t> stub, std::vector<uint8_t>& answer) {
  answer.clear();
  const uint32_t callId = nextCallId_++;
  for (const auto& fragment : BuildRequest(callId, opnum, stub, maxXmit_)) {
    if (const DWORD status = transport_->Write(fragment); status != ERROR_SUCCESS) return status;
  }
  ++calls_;
  PduHeader header;
  std::vector<uint8_t> body;
  for (bool first = true;; first = false) {
    if (const DWORD status = ReadPdu(header, body); status != ERROR_SUCCESS) return status;
    if (header.callId != callId) return RPC_S_PROTOCOL_ERROR;
    if (header.type == PduType::kFault) {
      uint32_t fault = 0;
      if (!ParseFaultBody(body, fault)) return RPC_S_PROTOCOL_ERROR;
      faulted_ = (header.flags & PFC_LAST_FRAG) != 0;
      return FaultCode(fault);
    }
    std::span<const uint8_t> piece;
    if (header.type != PduType::kResponse || !ParseResponseBody(body, piece) ||
        first != ((header.flags & PFC_FIRST_FRAG) != 0) || piece.size() > kMaxAnswer - answer.size()) {
      return RPC_S_PROTOCOL_ERROR;
    }
    answer.insert(answer.end(), piece.begin(), piece.end());
    if ((header.flags & PFC_LAST_FRAG) != 0) return ERROR_SUCCESS;
  }
}

}  // namespace platform::rpc
