// The server service's NetrServerGetInfo (MS-SRVS over \PIPE\srvsvc) at
// level 101: what a computer says of itself. The answer's status is a Win32
// code; RPC_X_BAD_STUB_DATA is an answer that does not parse.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/browser/browser.h"
#include "platform/rpc/dcerpc.h"

namespace platform::srvs {

enum Opnum : uint16_t { kServerGetInfo = 21 };

const rpc::SyntaxId& Interface();

std::vector<uint8_t> ServerGetInfoRequest(std::string_view computer);
DWORD ParseServerGetInfoAnswer(std::span<const uint8_t> answer, BrowseEntry& entry);

}  // namespace platform::srvs
