#include "platform/accounts_time/accounts.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/accounts_time/live_accounts.h"
#include "platform/base/last_error.h"
#include "platform/base/text.h"
#include "platform/files/paths.h"
#include "platform/registry/registry.h"
#include "platform/smb/smb_network.h"

namespace platform {
namespace {

struct WellKnown {
  const char* sid;
  const char* name;
  const char* domain;
  SID_NAME_USE use;
};

constexpr WellKnown kWellKnown[] = {
    {"S-1-0-0", "NULL SID", "", SidTypeWellKnownGroup},
    {"S-1-1-0", "Everyone", "", SidTypeWellKnownGroup},
    {"S-1-2-0", "LOCAL", "", SidTypeWellKnownGroup},
    {"S-1-3-0", "CREATOR OWNER", "", SidTypeWellKnownGroup},
    {"S-1-3-1", "CREATOR GROUP", "", SidTypeWellKnownGroup},
    {"S-1-5-1", "DIALUP", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-2", "NETWORK", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-3", "BATCH", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-4", "INTERACTIVE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-6", "SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-7", "ANONYMOUS LOGON", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-8", "PROXY", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-9", "ENTERPRISE DOMAIN CONTROLLERS", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-10", "SELF", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-11", "Authenticated Users", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-12", "RESTRICTED", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-13", "TERMINAL SERVER USER", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-14", "REMOTE INTERACTIVE LOGON", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-18", "SYSTEM", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-19", "LOCAL SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-20", "NETWORK SERVICE", "NT AUTHORITY", SidTypeWellKnownGroup},
    {"S-1-5-32", "BUILTIN", "BUILTIN", SidTypeDomain},
    {"S-1-5-32-544", "Administrators", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-545", "Users", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-546", "Guests", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-547", "Power Users", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-548", "Account Operators", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-549", "Server Operators", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-550", "Print Operators", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-551", "Backup Operators", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-552", "Replicator", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-554", "Pre-Windows 2000 Compatible Access", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-555", "Remote Desktop Users", "BUILTIN", SidTypeAlias},
    {"S-1-5-32-556", "Network Configuration Operators", "BUILTIN", SidTypeAlias},
};

uint32_t SubAuthority(const uint8_t* sid, size_t i) {
  const uint8_t* p = sid + 8 + 4 * i;
  return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string StripBackslashes(const char* name) {
  std::string_view view(name != nullptr ? name : "");
  while (!view.empty() && view.front() == '\\') view.remove_prefix(1);
  return std::string(view);
}

bool Reachable(const std::string& computer) {
  if (computer.empty()) return true;
  if (computer.find_first_of("\\/") != std::string::npos || computer == "." || computer == "..") return false;
  struct stat st;
  return ::stat(MapPath("\\\\" + computer).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Reads a value's bytes; empty when anything fails.
std::vector<uint8_t> ReadBytes(HKEY root, const char* path, const char* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  DWORD size = 0;
  std::vector<uint8_t> bytes;
  if (RegQueryValueExA(key, value, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    bytes.resize(size);
    if (RegQueryValueExA(key, value, nullptr, nullptr, bytes.data(), &size) != ERROR_SUCCESS) bytes.clear();
  }
  RegCloseKey(key);
  return bytes;
}

uint32_t Dword(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<uint32_t>(p[3]) << 24);
}

// The three parts of the machine identifier S-1-5-21-a-b-c that the domain's
// "V" value holds. V starts with a table of (offset, length, ?) entries
// whose offsets count from its end at 0x30; the second entry is the
// identifier. A V without that table (a hand-made export) is taken to end
// with the parts.
bool MachineSid(const std::vector<uint8_t>& v, uint32_t parts[3]) {
  constexpr size_t kTableSize = 0x30;
  if (v.size() >= kTableSize) {
    const uint64_t offset = kTableSize + static_cast<uint64_t>(Dword(&v[12]));
    const uint32_t length = Dword(&v[16]);
    if (length == 24 && offset <= v.size() - length) {
      const uint8_t* sid = v.data() + offset;
      static constexpr uint8_t kPrefix[] = {1, 4, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0};
      if (std::memcmp(sid, kPrefix, sizeof kPrefix) == 0) {
        for (size_t i = 0; i < 3; ++i) parts[i] = Dword(sid + 12 + 4 * i);
        return true;
      }
    }
  }
  if (v.size() < 12) return false;
  for (size_t i = 0; i < 3; ++i) parts[i] = Dword(v.data() + v.size() - 12 + 4 * i);
  return true;
}

std::string ComputerNameOf(HKEY root, const std::string& asked) {
  const std::vector<uint8_t> bytes =
      ReadBytes(root, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName");
  std::string name(bytes.begin(), bytes.end());
  name = name.substr(0, name.find('\0'));
  return name.empty() ? asked : name;
}

// The account of relative identifier `rid` among the keys of `namesPath`,
// whose default values carry the identifier as their type.
bool FindByRid(HKEY root, const char* namesPath, uint32_t rid, std::string& name) {
  HKEY names = nullptr;
  if (RegOpenKeyExA(root, namesPath, 0, KEY_READ, &names) != ERROR_SUCCESS) return false;
  bool found = false;
  for (DWORD index = 0; !found; ++index) {
    char child[256];
    DWORD size = sizeof child;
    const LONG status = RegEnumKeyExA(names, index, child, &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) break;
    HKEY account = nullptr;
    if (RegOpenKeyExA(names, child, 0, KEY_QUERY_VALUE, &account) != ERROR_SUCCESS) continue;
    DWORD type = 0;
    DWORD dataSize = 0;
    if (RegQueryValueExA(account, nullptr, nullptr, &type, nullptr, &dataSize) == ERROR_SUCCESS &&
        type == rid) {
      name.assign(child, size);
      found = true;
    }
    RegCloseKey(account);
  }
  RegCloseKey(names);
  return found;
}

struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  bool operator==(const FileStamp& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec;
  }
};

bool StampOf(const std::string& path, FileStamp& stamp) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  stamp = FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  return true;
}

class RegistryAccounts final : public AccountsService {
 public:
  // A gather asks the same computer about the same few accounts for every
  // record; an answer is kept for as long as the file that holds that
  // computer's SAM is unchanged, which costs one stat instead of a walk
  // through its SAM, and an answer checked within kTrusted is given without
  // even that, as message files are.
  BOOL LookupAccountSid(const char* systemName, const void* sid, char* name, DWORD* nameSize,
                        char* domain, DWORD* domainSize, SID_NAME_USE* use) override {
    if (sid == nullptr || nameSize == nullptr || domainSize == nullptr ||
        SidLength(static_cast<const uint8_t*>(sid), 8 + 4 * 15) == 0) {
      return Uncached(systemName, sid, name, nameSize, domain, domainSize, use);
    }
    const auto* sidBytes = static_cast<const uint8_t*>(sid);
    const std::string_view sidText(reinterpret_cast<const char*>(sidBytes), SidLength(sidBytes, 8 + 4 * 15));
    const std::string_view asked(systemName != nullptr ? systemName : "");
    const uint64_t generation = CurrentRoots().generation;
    const auto time = std::chrono::steady_clock::now();
    // The answers this thread gave last are given again while trusted,
    // compared as the caller spelt the computer, without a key to build.
    struct Recent {
      const RegistryAccounts* owner = nullptr;
      std::string system;
      uint64_t generation = 0;
      std::string sid;
      Answer answer;
    };
    thread_local Recent recent[4];
    thread_local size_t nextRecent = 0;
    for (const Recent& known : recent) {
      if (known.owner == this && known.sid == sidText && known.system == asked && known.generation == generation &&
          time - known.answer.checked <= kTrusted) {
        return Answer::Give(known.answer, name, nameSize, domain, domainSize, use);
      }
    }
    const auto remember = [&](const Answer& answer) {
      recent[nextRecent] = Recent{this, std::string(asked), generation, std::string(sidText), answer};
      nextRecent = (nextRecent + 1) % std::size(recent);
    };
    const std::string computer = StripBackslashes(systemName);
    // Per machine folder and network root, by their generation; the SID as
    // its bytes, which the check above has measured.
    std::string key = FoldCase(computer) + "\n" + std::to_string(generation) + "\n";
    key.append(sidText);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = answers_.find(key);
      FileStamp now;
      if (it != answers_.end() &&
          (time - it->second.checked <= kTrusted ||
           (StampOf(it->second.registryFile, now) && now == it->second.stamp))) {
        Answer& known = it->second;
        if (time - known.checked > kTrusted) known.checked = time;
        remember(known);
        return Answer::Give(known, name, nameSize, domain, domainSize, use);
      }
    }
    const std::string registryFile = RegistryFileOf(computer, "SAM");
    FileStamp before;
    const bool stamped = StampOf(registryFile, before);
    char account[256];
    char owner[256];
    DWORD accountSize = sizeof account;
    DWORD ownerSize = sizeof owner;
    SID_NAME_USE kind = SidTypeUnknown;
    const BOOL ok = Uncached(systemName, sid, account, &accountSize, owner, &ownerSize, &kind);
    const DWORD error = GetLastError();
    // Only answers about a computer that could be asked are kept.
    if (stamped && (ok || error == ERROR_NONE_MAPPED)) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (answers_.size() >= 4096) answers_.clear();
      const Answer& stored = answers_[key] =
          Answer{registryFile, before, ok != FALSE, account, owner, kind, std::chrono::steady_clock::now()};
      remember(stored);
    }
    if (!ok) {
      // Names too long for our buffers: let the caller's buffers be measured.
      if (error == ERROR_INSUFFICIENT_BUFFER) return Uncached(systemName, sid, name, nameSize, domain, domainSize, use);
      SetLastError(error);
      return FALSE;
    }
    return Respond(account, owner, kind, name, nameSize, domain, domainSize, use);
  }

 private:
  static constexpr auto kTrusted = std::chrono::milliseconds(500);

  struct Answer {
    std::string registryFile;
    FileStamp stamp;
    bool found = false;
    std::string account;
    std::string owner;
    SID_NAME_USE kind = SidTypeUnknown;
    std::chrono::steady_clock::time_point checked;
    static BOOL Give(const Answer& a, char* name, DWORD* nameSize, char* domain, DWORD* domainSize,
                     SID_NAME_USE* use) {
      if (!a.found) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
      }
      return Respond(a.account.c_str(), a.owner.c_str(), a.kind, name, nameSize, domain, domainSize, use);
    }
  };

  BOOL Uncached(const char* systemName, const void* sid, char* name, DWORD* nameSize, char* domain,
                DWORD* domainSize, SID_NAME_USE* use) {
    if (sid == nullptr || nameSize == nullptr || domainSize == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const auto* bytes = static_cast<const uint8_t*>(sid);
    if (SidLength(bytes, 8 + 4 * 15) == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const std::string computer = StripBackslashes(systemName);
    if (!Reachable(computer)) {
      SetLastError(RPC_S_SERVER_UNAVAILABLE);
      return FALSE;
    }
    const std::string text = SidText(bytes);
    for (const WellKnown& known : kWellKnown) {
      if (text == known.sid) return Respond(known.name, known.domain, known.use, name, nameSize, domain, domainSize, use);
    }
    // S-1-5-21-a-b-c-rid: an account of a computer's own domain.
    const uint8_t count = bytes[1];
    if (count == 5 && text.rfind("S-1-5-21-", 0) == 0) {
      HKEY root = nullptr;
      if (RegConnectRegistryA(computer.empty() ? nullptr : computer.c_str(), HKEY_LOCAL_MACHINE, &root) ==
          ERROR_SUCCESS) {
        uint32_t machine[3] = {};
        bool same = MachineSid(ReadBytes(root, "SAM\\SAM\\Domains\\Account", "V"), machine);
        for (size_t i = 0; same && i < 3; ++i) same = machine[i] == SubAuthority(bytes, 1 + i);
        std::string account;
        SID_NAME_USE kind = SidTypeUser;
        if (same) {
          const uint32_t rid = SubAuthority(bytes, 4);
          if (FindByRid(root, "SAM\\SAM\\Domains\\Account\\Users\\Names", rid, account)) {
            kind = SidTypeUser;
          } else if (FindByRid(root, "SAM\\SAM\\Domains\\Account\\Groups\\Names", rid, account)) {
            kind = SidTypeGroup;
          } else if (FindByRid(root, "SAM\\SAM\\Domains\\Account\\Aliases\\Names", rid, account)) {
            kind = SidTypeAlias;
          }
        }
        const std::string owner = ComputerNameOf(root, computer);
        RegCloseKey(root);
        if (!account.empty()) {
          return Respond(account.c_str(), owner.c_str(), kind, name, nameSize, domain, domainSize, use);
        }
      }
    }
    SetLastError(ERROR_NONE_MAPPED);
    return FALSE;
  }

  static BOOL Respond(const char* account, const char* owner, SID_NAME_USE kind, char* name,
                     DWORD* nameSize, char* domain, DWORD* domainSize, SID_NAME_USE* use) {
    const size_t nameLength = std::strlen(account);
    const size_t domainLength = std::strlen(owner);
    if (name == nullptr || domain == nullptr || *nameSize <= nameLength || *domainSize <= domainLength) {
      *nameSize = static_cast<DWORD>(nameLength + 1);
      *domainSize = static_cast<DWORD>(domainLength + 1);
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    std::memcpy(name, account, nameLength + 1);
    std::memcpy(domain, owner, domainLength + 1);
    *nameSize = static_cast<DWORD>(nameLength);
    *domainSize = static_cast<DWORD>(domainLength);
    if (use != nullptr) *use = kind;
    return TRUE;
  }

  std::mutex mutex_;
  std::unordered_map<std::string, Answer> answers_;
};

}  // namespace

size_t SidLength(const uint8_t* sid, size_t available) {
  if (sid == nullptr || available < 8 || sid[0] != 1 || sid[1] > 15) return 0;
  const size_t length = 8 + 4 * static_cast<size_t>(sid[1]);
  return length <= available ? length : 0;
}

std::string SidText(const uint8_t* sid) {
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | sid[i];
  // Appended piece by piece: GCC 12 sees a false overlap (-Wrestrict) in
  // "literal" + string at -O2 and above.
  std::string text = "S-1-";
  text += std::to_string(authority);
  for (size_t i = 0; i < sid[1]; ++i) {
    text += '-';
    text += std::to_string(SubAuthority(sid, i));
  }
  return text;
}

// The network setting picks who answers for another computer: its folder's
// registry, or the live computer itself.
class NetworkAccounts final : public AccountsService {
 public:
  BOOL LookupAccountSid(const char* systemName, const void* sid, char* name, DWORD* nameSize, char* domain,
                        DWORD* domainSize, SID_NAME_USE* use) override {
    if (systemName != nullptr && systemName[std::strspn(systemName, "\\")] != '\0' && smb::LiveNetwork()) {
      return LiveAccountsService().LookupAccountSid(systemName, sid, name, nameSize, domain, domainSize, use);
    }
    return folder_.LookupAccountSid(systemName, sid, name, nameSize, domain, domainSize, use);
  }

 private:
  RegistryAccounts folder_;
};

AccountsService& AccountsService::Default() {
  static NetworkAccounts* accounts = new NetworkAccounts();
  return *accounts;
}

}  // namespace platform

BOOL LookupAccountSidA(const char* systemName, const void* sid, char* name, DWORD* nameSize,
                       char* domain, DWORD* domainSize, SID_NAME_USE* use) {
  return platform::Slot<platform::AccountsService>::Current().LookupAccountSid(
      systemName, sid, name, nameSize, domain, domainSize, use);
}
