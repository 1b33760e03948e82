// The HKEY_LOCAL_MACHINE of the live network's computers, read over RPC
// (rrp_rpc.h) on each computer's \PIPE\winreg, with the contract of
// registry.h. Read only: keys open for reading, and SetValueEx and
// CreateKeyEx are ERROR_ACCESS_DENIED.
//
// A connected root is one RPC connection; the keys opened under it share
// it. Values come whole from the server and are answered here, texts in
// UTF-8, so sizes are those of the single-byte calls.
#pragma once

#include "platform/registry/registry.h"

namespace platform {

RegistryService& LiveRegistryService();
bool IsLiveRegistryKey(HKEY key);

}  // namespace platform
