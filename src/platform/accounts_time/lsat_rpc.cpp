#include "platform/accounts_time/lsat_rpc.h"

namespace platform::lsat {
namespace {

constexpr uint32_t kLookupNames = 0x00000800;  // POLICY_LOOKUP_NAMES
constexpr uint16_t kLookupWorkstation = 1;
// More domains or names than one identifier can bring is no answer of ours.
constexpr uint32_t kMaxEntries = 64;

DWORD FromNtStatus(uint32_t status) {
  switch (status) {
    case 0:
    case 0x00000107:  // STATUS_SOME_NOT_MAPPED
      return ERROR_SUCCESS;
    case 0xC0000073:  // STATUS_NONE_MAPPED
      return ERROR_NONE_MAPPED;
    case 0xC0000022:  // STATUS_ACCESS_DENIED
      return ERROR_ACCESS_DENIED;
    case 0xC0000008:  // STATUS_INVALID_HANDLE
      return ERROR_INVALID_HANDLE;
    default:
      return ERROR_NONE_MAPPED;
  }
}

// Passes over a conformant RPC_SID: its sub-authority count first, as the
// array's size.
void SkipSid(rpc::NdrReader& in) {
  const uint32_t count = in.U32();
  in.U8();
  const uint8_t declared = in.U8();
  in.Raw(6);
  if (count != declared || count > 15) in.Fail();
  for (uint32_t i = 0; in.ok() && i < count; ++i) in.U32();
}

}  // namespace

const rpc::SyntaxId& Interface() {
  static const rpc::SyntaxId id = rpc::MakeSyntax("12345778-1234-abcd-ef00-0123456789ab", 0, 0);
  return id;
}

std::vector<uint8_t> OpenPolicyRequest() {
  rpc::NdrWriter out;
  out.Pointer(false);  // the server name, which servers ignore
  out.U32(24);         // object attributes, all empty
  out.Pointer(false);
  out.Pointer(false);
  out.U32(0);
  out.Pointer(false);
  out.Pointer(false);
  out.U32(kLookupNames);
  return out.Take();
}

std::vector<uint8_t> LookupSidRequest(const rpc::ContextHandle& policy, std::span<const uint8_t> sid) {
  rpc::NdrWriter out;
  out.Handle(policy);
  out.U32(1);  // one identifier
  out.Pointer(true);
  out.U32(1);
  out.Pointer(true);
  const uint8_t count = sid.size() >= 2 ? sid[1] : 0;
  out.U32(count);
  out.Raw(sid.first(std::min<size_t>(sid.size(), 8 + 4 * static_cast<size_t>(count))));
  out.U32(0);  // no names yet
  out.Pointer(false);
  out.U16(kLookupWorkstation);
  out.U32(0);  // mapped count
  return out.Take();
}

std::vector<uint8_t> CloseRequest(const rpc::ContextHandle& policy) {
  rpc::NdrWriter out;
  out.Handle(policy);
  return out.Take();
}

DWORD ParseOpenPolicyAnswer(std::span<const uint8_t> answer, rpc::ContextHandle& policy) {
  rpc::NdrReader in(answer);
  policy = in.Handle();
  const uint32_t status = in.U32();
  if (!in.ok() || in.remaining() != 0) return rpc::RPC_X_BAD_STUB_DATA;
  // A policy that cannot be opened is the computer refusing us.
  return status == 0 ? static_cast<DWORD>(ERROR_SUCCESS) : static_cast<DWORD>(ERROR_ACCESS_DENIED);
}

DWORD ParseLookupSidAnswer(std::span<const uint8_t> answer, Translated& out) {
  rpc::NdrReader in(answer);
  std::vector<std::string> domains;
  if (in.Pointer()) {
    const uint32_t entries = in.U32();
    const bool present = in.Pointer();
    in.U32();  // the most entries
    if (entries > kMaxEntries) return rpc::RPC_X_BAD_STUB_DATA;
    if (present) {
      const uint32_t count = in.U32();
      if (count != entries) return rpc::RPC_X_BAD_STUB_DATA;
      std::vector<std::pair<uint16_t, bool>> names(count);
      std::vector<bool> sids(count);
      for (uint32_t i = 0; i < count; ++i) {
        names[i].first = in.U16();
        in.U16();
        names[i].second = in.Pointer();
        sids[i] = in.Pointer();
      }
      for (uint32_t i = 0; in.ok() && i < count; ++i) {
        domains.push_back(names[i].second ? in.UnicodeCharacters(names[i].first) : std::string());
        if (sids[i]) SkipSid(in);
      }
    }
  }
  const uint32_t entries = in.U32();
  const bool present = in.Pointer();
  if (entries > kMaxEntries) return rpc::RPC_X_BAD_STUB_DATA;
  std::vector<Translated> names;
  if (present) {
    const uint32_t count = in.U32();
    if (count != entries) return rpc::RPC_X_BAD_STUB_DATA;
    struct Fixed {
      uint16_t use;
      uint16_t length;
      bool text;
      int32_t domain;
    };
    std::vector<Fixed> fixed(count);
    for (Fixed& f : fixed) {
      f.use = in.U16();
      in.Align(4);  // the name that follows holds a pointer
      f.length = in.U16();
      in.U16();
      f.text = in.Pointer();
      f.domain = static_cast<int32_t>(in.U32());
    }
    for (const Fixed& f : fixed) {
      Translated t;
      if (f.text) t.name = in.UnicodeCharacters(f.length);
      t.use = f.use >= SidTypeUser && f.use <= SidTypeComputer ? static_cast<SID_NAME_USE>(f.use) : SidTypeUnknown;
      if (f.domain >= 0 && static_cast<size_t>(f.domain) < domains.size()) t.domain = domains[f.domain];
      names.push_back(std::move(t));
    }
  }
  in.U32();  // mapped count
  const uint32_t status = in.U32();
  if (!in.ok() || in.remaining() != 0) return rpc::RPC_X_BAD_STUB_DATA;
  if (const DWORD code = FromNtStatus(status); code != ERROR_SUCCESS) return code;
  if (names.empty() || names[0].use == SidTypeUnknown || names[0].use == SidTypeInvalid || names[0].name.empty()) {
    return ERROR_NONE_MAPPED;
  }
  out = names[0];
  return ERROR_SUCCESS;
}

}  // namespace platform::lsat
