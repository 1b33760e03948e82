#include "platform/registry/rrp_rpc.h"

namespace platform::rrp {
namespace {

DWORD Status(rpc::NdrReader& in) {
  const uint32_t status = in.U32();
  if (!in.ok() || in.remaining() != 0) return rpc::RPC_X_BAD_STUB_DATA;
  return status;
}

// A unique pointer to a DWORD.
void PutNumber(rpc::NdrWriter& out, uint32_t value) {
  out.Pointer(true);
  out.U32(value);
}

}  // namespace

const rpc::SyntaxId& Interface() {
  static const rpc::SyntaxId id = rpc::MakeSyntax("338cd001-2244-31f1-aaaa-900038001003", 1, 0);
  return id;
}

std::vector<uint8_t> OpenLocalMachineRequest(uint32_t access) {
  rpc::NdrWriter out;
  out.Pointer(false);  // the server name, which servers ignore
  out.U32(access);
  return out.Take();
}

std::vector<uint8_t> OpenKeyRequest(const rpc::ContextHandle& key, std::string_view subKey, uint32_t access) {
  rpc::NdrWriter out;
  out.Handle(key);
  out.UnicodeString(subKey, true);
  out.U32(0);  // options
  out.U32(access);
  return out.Take();
}

std::vector<uint8_t> QueryValueRequest(const rpc::ContextHandle& key, std::string_view name, uint32_t room) {
  rpc::NdrWriter out;
  out.Handle(key);
  out.UnicodeString(name, true);
  PutNumber(out, 0);  // type
  out.Pointer(true);  // the data: room for `room` bytes, none sent
  out.U32(room);
  out.U32(0);
  out.U32(0);
  PutNumber(out, room);  // its size
  PutNumber(out, 0);     // its length
  return out.Take();
}

std::vector<uint8_t> EnumKeyRequest(const rpc::ContextHandle& key, uint32_t index) {
  rpc::NdrWriter out;
  out.Handle(key);
  out.U32(index);
  // The name's room: an empty string with kNameRoom bytes of buffer.
  out.U16(0);
  out.U16(kNameRoom);
  out.Pointer(true);
  out.U32(kNameRoom / 2);
  out.U32(0);
  out.U32(0);
  // No class asked for, the time of the last write asked for.
  out.Pointer(true);
  out.U16(0);
  out.U16(0);
  out.Pointer(false);
  out.Pointer(true);
  out.U32(0);
  out.U32(0);
  return out.Take();
}

std::vector<uint8_t> CloseKeyRequest(const rpc::ContextHandle& key) {
  rpc::NdrWriter out;
  out.Handle(key);
  return out.Take();
}

DWORD ParseKeyAnswer(std::span<const uint8_t> answer, rpc::ContextHandle& key) {
  rpc::NdrReader in(answer);
  key = in.Handle();
  return Status(in);
}

DWORD ParseQueryValueAnswer(std::span<const uint8_t> answer, uint32_t& type, std::vector<uint8_t>& data,
                            uint32_t& size) {
  rpc::NdrReader in(answer);
  type = in.Pointer() ? in.U32() : REG_NONE;
  data.clear();
  if (in.Pointer()) {
    const uint32_t maxCount = in.U32();
    const uint32_t offset = in.U32();
    const uint32_t actual = in.U32();
    if (offset != 0 || actual > maxCount || actual > kMaxValue) return rpc::RPC_X_BAD_STUB_DATA;
    const auto bytes = in.Raw(actual);
    data.assign(bytes.begin(), bytes.end());
  }
  size = in.Pointer() ? in.U32() : 0;
  uint32_t length = in.Pointer() ? in.U32() : 0;
  const DWORD status = Status(in);
  if (status == rpc::RPC_X_BAD_STUB_DATA) return status;
  if (status == ERROR_SUCCESS && length < data.size()) data.resize(length);
  return status;
}

DWORD ParseEnumKeyAnswer(std::span<const uint8_t> answer, std::string& name) {
  rpc::NdrReader in(answer);
  name = in.UnicodeString();
  if (in.Pointer()) {  // the class
    in.UnicodeString();
  }
  if (in.Pointer()) {  // the time of the last write
    in.U32();
    in.U32();
  }
  return Status(in);
}

}  // namespace platform::rrp
