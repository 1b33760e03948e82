#include "platform/browser/srvs_rpc.h"

#include "platform/rpc/ndr.h"

namespace platform::srvs {

const rpc::SyntaxId& Interface() {
  static const rpc::SyntaxId id = rpc::MakeSyntax("4b324fc8-1670-01d3-1278-5a47bf6ee188", 3, 0);
  return id;
}

std::vector<uint8_t> ServerGetInfoRequest(std::string_view computer) {
  rpc::NdrWriter out;
  out.Pointer(true);
  out.TerminatedString("\\\\" + std::string(computer));
  out.U32(101);
  return out.Take();
}

DWORD ParseServerGetInfoAnswer(std::span<const uint8_t> answer, BrowseEntry& entry) {
  rpc::NdrReader in(answer);
  const uint32_t level = in.U32();
  bool name = false;
  bool comment = false;
  if (in.Pointer()) {
    if (level != 101) return rpc::RPC_X_BAD_STUB_DATA;
    in.U32();  // platform
    name = in.Pointer();
    entry.versionMajor = in.U32();
    entry.versionMinor = in.U32();
    entry.type = in.U32();
    comment = in.Pointer();
  }
  if (name) entry.name = in.TerminatedString();
  if (comment) entry.comment = in.TerminatedString();
  const uint32_t status = in.U32();
  if (!in.ok() || in.remaining() != 0) return rpc::RPC_X_BAD_STUB_DATA;
  return status;
}

}  // namespace platform::srvs
