#include "platform/accounts_time/live_accounts.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/accounts_time/lsat_rpc.h"
#include "platform/base/last_error.h"
#include "platform/base/text.h"
#include "platform/smb/smb_network.h"

namespace platform {
namespace {

constexpr auto kRetryUnreachable = std::chrono::minutes(1);

BOOL Give(const lsat::Translated& t, char* name, DWORD* nameSize, char* domain, DWORD* domainSize,
          SID_NAME_USE* use) {
  const size_t nameLength = t.name.size();
  const size_t domainLength = t.domain.size();
  if (name == nullptr || domain == nullptr || *nameSize <= nameLength || *domainSize <= domainLength) {
    *nameSize = static_cast<DWORD>(nameLength + 1);
    *domainSize = static_cast<DWORD>(domainLength + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(name, t.name.c_str(), nameLength + 1);
  std::memcpy(domain, t.domain.c_str(), domainLength + 1);
  *nameSize = static_cast<DWORD>(nameLength);
  *domainSize = static_cast<DWORD>(domainLength);
  if (use != nullptr) *use = t.use;
  return TRUE;
}

// One question over a connection of its own: lookups are rare once the
// answers are kept.
DWORD Ask(const std::string& computer, std::span<const uint8_t> sid, lsat::Translated& out) {
  std::unique_ptr<rpc::Transport> pipe;
  if (const DWORD status = smb::OpenPipe(computer, "lsarpc", pipe); status != ERROR_SUCCESS) return status;
  rpc::Connection connection(std::move(pipe));
  if (const DWORD status = connection.Bind(lsat::Interface()); status != ERROR_SUCCESS) return status;
  std::vector<uint8_t> answer;
  rpc::ContextHandle policy;
  DWORD status = connection.Call(lsat::kOpenPolicy2, lsat::OpenPolicyRequest(), answer);
  if (status == ERROR_SUCCESS) status = lsat::ParseOpenPolicyAnswer(answer, policy);
  if (status != ERROR_SUCCESS) return status;
  status = connection.Call(lsat::kLookupSids, lsat::LookupSidRequest(policy, sid), answer);
  if (status == ERROR_SUCCESS) status = lsat::ParseLookupSidAnswer(answer, out);
  connection.Call(lsat::kClose, lsat::CloseRequest(policy), answer);
  return status;
}

class LiveAccounts final : public AccountsService {
 public:
  BOOL LookupAccountSid(const char* systemName, const void* sid, char* name, DWORD* nameSize, char* domain,
                        DWORD* domainSize, SID_NAME_USE* use) override {
    const auto* bytes = static_cast<const uint8_t*>(sid);
    const size_t length = SidLength(bytes, 8 + 4 * 15);
    if (length == 0 || nameSize == nullptr || domainSize == nullptr || systemName == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::string_view server(systemName);
    while (!server.empty() && server.front() == '\\') server.remove_prefix(1);
    const std::string computer = FoldCase(server);
    const std::string key = computer + "\n" + SidText(bytes);
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (const auto down = unreachable_.find(computer); down != unreachable_.end()) {
        if (std::chrono::steady_clock::now() < down->second.until) {
          SetLastError(down->second.code);
          return FALSE;
        }
        unreachable_.erase(down);
      }
      if (const auto known = answers_.find(key); known != answers_.end()) {
        if (!known->second.found) {
          SetLastError(ERROR_NONE_MAPPED);
          return FALSE;
        }
        return Give(known->second.translated, name, nameSize, domain, domainSize, use);
      }
    }
    lsat::Translated translated;
    const DWORD status = Ask(std::string(server), {bytes, length}, translated);
    std::lock_guard<std::mutex> guard(mutex_);
    if (status == ERROR_SUCCESS || status == ERROR_NONE_MAPPED) {
      if (answers_.size() >= 4096) answers_.clear();
      answers_[key] = Answer{status == ERROR_SUCCESS, translated};
    } else {
      // As Windows answers for a computer that cannot be asked.
      const DWORD code = status == ERROR_BAD_NETPATH ? static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE) : status;
      unreachable_[computer] = Down{std::chrono::steady_clock::now() + kRetryUnreachable, code};
      SetLastError(code);
      return FALSE;
    }
    if (status != ERROR_SUCCESS) {
      SetLastError(ERROR_NONE_MAPPED);
      return FALSE;
    }
    return Give(translated, name, nameSize, domain, domainSize, use);
  }

 private:
  struct Answer {
    bool found = false;
    lsat::Translated translated;
  };
  struct Down {
    std::chrono::steady_clock::time_point until;
    DWORD code;
  };
  std::mutex mutex_;
  std::unordered_map<std::string, Answer> answers_;
  std::unordered_map<std::string, Down> unreachable_;
};

}  // namespace

AccountsService& LiveAccountsService() {
  static LiveAccounts* service = new LiveAccounts();  // lives as long as the process
  return *service;
}

}  // namespace platform
