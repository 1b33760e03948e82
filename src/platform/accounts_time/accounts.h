// Accounts: the name behind a security identifier, as a computer answers.
//
// Well-known identifiers (SYSTEM, LOCAL SERVICE, Everyone, the BUILTIN
// groups, ...) are answered by every computer that can be reached. A
// computer's own accounts are read from its registry in the layout of the
// SAM hive: the machine identifier in the "V" value of
// SAM\SAM\Domains\Account, and each account a key under
// Domains\Account\Users\Names (groups: Aliases\Names, Groups\Names) whose
// default value's registry type is the account's relative identifier.
//
// Contract, as LookupAccountSidA keeps it: TRUE with the name and its
// domain; FALSE with ERROR_NONE_MAPPED (1332) for an identifier nobody
// knows, RPC_S_SERVER_UNAVAILABLE (1722) for a computer that cannot be
// reached, ERROR_INSUFFICIENT_BUFFER (122) with the sizes needed (counting
// the terminators) when a buffer is short, ERROR_INVALID_PARAMETER for an
// identifier that is not well formed. Safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/base/service.h"
#include "platform/base/win32.h"

typedef void* PSID;

enum SID_NAME_USE {
  SidTypeUser = 1,
  SidTypeGroup,
  SidTypeDomain,
  SidTypeAlias,
  SidTypeWellKnownGroup,
  SidTypeDeletedAccount,
  SidTypeInvalid,
  SidTypeUnknown,
  SidTypeComputer,
};

enum : LONG { ERROR_NONE_MAPPED = 1332, RPC_S_SERVER_UNAVAILABLE = 1722 };

namespace platform {

class AccountsService {
 public:
  virtual ~AccountsService() = default;
  virtual BOOL LookupAccountSid(const char* systemName, const void* sid, char* name,
                                DWORD* nameSize, char* domain, DWORD* domainSize,
                                SID_NAME_USE* use) = 0;
  static AccountsService& Default();
};

// The bytes a well-formed identifier of at most `available` bytes takes, or
// 0 when it is not one (bad revision, too many parts, longer than given).
size_t SidLength(const uint8_t* sid, size_t available);
// "S-1-5-21-...", for a well-formed identifier.
std::string SidText(const uint8_t* sid);

}  // namespace platform

BOOL LookupAccountSidA(const char* systemName, const void* sid, char* name, DWORD* nameSize,
                       char* domain, DWORD* domainSize, SID_NAME_USE* use);
