// Account names of the live network's computers, asked of each computer's
// local security authority over RPC (lsat_rpc.h), with the contract of
// accounts.h. Answers, and the names nobody maps, are kept per computer and
// identifier for the life of the process (a gather run); a computer that
// cannot be asked is asked again only after a minute, so a dead host costs
// one time-out rather than one per record.
#pragma once

#include "platform/accounts_time/accounts.h"

namespace platform {

AccountsService& LiveAccountsService();

}  // namespace platform
