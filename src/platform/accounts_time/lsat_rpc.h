// The local security authority's lookup calls (MS-LSAT over \PIPE\lsarpc):
// opening the policy and translating security identifiers to names. Answers
// give NTSTATUS values as Win32 codes; RPC_X_BAD_STUB_DATA is an answer that
// does not parse.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/accounts_time/accounts.h"
#include "platform/rpc/dcerpc.h"
#include "platform/rpc/ndr.h"

namespace platform::lsat {

enum Opnum : uint16_t {
  kClose = 0,
  kLookupSids = 15,
  kOpenPolicy2 = 44,
};

const rpc::SyntaxId& Interface();

struct Translated {
  std::string name;
  std::string domain;
  SID_NAME_USE use = SidTypeUnknown;
};

std::vector<uint8_t> OpenPolicyRequest();
// `sid` is a well-formed identifier (SidLength).
std::vector<uint8_t> LookupSidRequest(const rpc::ContextHandle& policy, std::span<const uint8_t> sid);
std::vector<uint8_t> CloseRequest(const rpc::ContextHandle& policy);

DWORD ParseOpenPolicyAnswer(std::span<const uint8_t> answer, rpc::ContextHandle& policy);
// ERROR_NONE_MAPPED for an identifier the computer does not know.
DWORD ParseLookupSidAnswer(std::span<const uint8_t> answer, Translated& out);

}  // namespace platform::lsat
