// The real network browser: the network root's browse list, or on the live
// network the workgroup's master browser and each computer's server service.
#include "platform/browser/browser.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/base/text.h"
#include "platform/browser/srvs_rpc.h"
#include "platform/files/paths.h"
#include "platform/registry/registry.h"
#include "platform/smb/smb_network.h"

namespace platform {
namespace {

constexpr NET_API_STATUS kInvalidLevel = 124;              // ERROR_INVALID_LEVEL
constexpr NET_API_STATUS kNoBrowserServersFound = 6118;    // ERROR_NO_BROWSER_SERVERS_FOUND

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view NextWord(std::string_view& line) {
  size_t start = 0;
  while (start < line.size() && IsBlank(line[start])) ++start;
  size_t end = start;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  const std::string_view word = line.substr(start, end - start);
  line.remove_prefix(end);
  return word;
}

bool ParseNumber(std::string_view text, int base, DWORD& out) {
  const size_t maxDigits = base == 16 ? 8 : 9;  // never overflows 32 bits
  if (text.empty() || text.size() > maxDigits) return false;
  DWORD value = 0;
  for (char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    value = value * static_cast<DWORD>(base) + static_cast<DWORD>(digit);
  }
  out = value;
  return true;
}

size_t WideLength(std::string_view text) { return WideText(text).size(); }  // terminator included

std::vector<BrowseEntry> ReadBrowseList(bool& found) {
  std::ifstream in(NetworkRoot() + "/browse.lst", std::ios::binary);
  found = static_cast<bool>(in);
  if (!found) return {};
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseBrowseList(bytes);
}

std::string StripBackslashes(std::string name) {
  size_t skip = 0;
  while (skip < name.size() && skip < 2 && name[skip] == '\\') ++skip;
  return name.substr(skip);
}

bool ComputerIsOn(const std::string& name) {
  if (name.empty() || name.find_first_of("\\/") != std::string::npos || name == "." ||
      name == "..") {
    return false;
  }
  struct stat st;
  return ::stat(MapPath("\\\\" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Reads one text value of a remote key; empty when anything fails.
std::string RemoteText(HKEY root, const char* path, const char* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  char buffer[64] = {};
  DWORD size = sizeof buffer - 1;
  const LONG status = RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::string(buffer, strnlen(buffer, size)) : std::string();
}

// What a computer that the browser does not announce says of itself: its
// product type and version, from its own registry.
bool DescribeFromRegistry(const std::string& name, BrowseEntry& entry) {
  HKEY root = nullptr;
  if (RegConnectRegistryA(name.c_str(), HKEY_LOCAL_MACHINE, &root) != ERROR_SUCCESS) return false;
  const std::string product =
      RemoteText(root, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType");
  const std::string version =
      RemoteText(root, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion");
  RegCloseKey(root);
  entry.name = name;
  entry.type = SV_TYPE_NT | SV_TYPE_WORKSTATION | SV_TYPE_SERVER;
  // A domain controller that does not announce itself is taken for a backup
  // one: the primary is the domain's master browser and always announces.
  if (EqualsIgnoreCase(product, "LanmanNT")) entry.type |= SV_TYPE_DOMAIN_BAKCTRL | SV_TYPE_SERVER_NT;
  if (EqualsIgnoreCase(product, "ServerNT")) entry.type |= SV_TYPE_SERVER_NT;
  const size_t dot = version.find('.');
  if (dot != std::string::npos) {
    ParseNumber(std::string_view(version).substr(0, dot), 10, entry.versionMajor);
    ParseNumber(std::string_view(version).substr(dot + 1), 10, entry.versionMinor);
  }
  return true;
}

// As many whole records as the preferred size holds, texts included, in one
// buffer of NetApiBufferFree's; ERROR_MORE_DATA when some did not fit.
NET_API_STATUS GiveEntries(std::vector<BrowseEntry> entries, DWORD preferredMaximumLength, BYTE** buffer,
                           DWORD* entriesRead, DWORD* totalEntries) {
  size_t used = 0;
  size_t fits = 0;
  while (fits < entries.size() && (preferredMaximumLength == MAX_PREFERRED_LENGTH ||
                                   used + ServerInfoSize(entries[fits]) <= preferredMaximumLength)) {
    used += ServerInfoSize(entries[fits++]);
  }
  *totalEntries = static_cast<DWORD>(entries.size());
  *entriesRead = static_cast<DWORD>(fits);
  entries.resize(fits);
  *buffer = AllocateServerInfo(entries);
  return fits < *totalEntries ? static_cast<NET_API_STATUS>(ERROR_MORE_DATA) : NERR_Success;
}

class BrowseListBrowser final : public NetworkBrowserService {
 public:
  NET_API_STATUS NetServerEnum(LPCWSTR, DWORD level, BYTE** buffer, DWORD preferredMaximumLength,
                               DWORD* entriesRead, DWORD* totalEntries, DWORD serverType, LPCWSTR,
                               DWORD*) override {
    if (buffer == nullptr || entriesRead == nullptr || totalEntries == nullptr) {
      return ERROR_INVALID_PARAMETER;
    }
    *buffer = nullptr;
    *entriesRead = *totalEntries = 0;
    if (level != 101) return kInvalidLevel;
    bool found = false;
    std::vector<BrowseEntry> entries;
    for (BrowseEntry& entry : ReadBrowseList(found)) {
      if ((entry.type & serverType) != 0) entries.push_back(std::move(entry));
    }
    if (!found) return kNoBrowserServersFound;
    return GiveEntries(std::move(entries), preferredMaximumLength, buffer, entriesRead, totalEntries);
  }

  NET_API_STATUS NetServerGetInfo(LPCWSTR serverName, DWORD level, BYTE** buffer) override {
    if (buffer == nullptr || serverName == nullptr) return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    if (level != 101) return kInvalidLevel;
    const std::string name = StripBackslashes(NarrowText(serverName));
    if (!ComputerIsOn(name)) return ERROR_BAD_NETPATH;
    bool found = false;
    for (const BrowseEntry& entry : ReadBrowseList(found)) {
      if (EqualsIgnoreCase(entry.name, name)) {
        *buffer = AllocateServerInfo({entry});
        return NERR_Success;
      }
    }
    BrowseEntry described;
    if (!DescribeFromRegistry(name, described)) return ERROR_BAD_NETPATH;
    *buffer = AllocateServerInfo({described});
    return NERR_Success;
  }

  NET_API_STATUS NetApiBufferFree(void* buffer) override {
    std::free(buffer);
    return NERR_Success;
  }
};

}  // namespace

std::vector<BrowseEntry> ParseBrowseList(std::string_view bytes) {
  std::vector<BrowseEntry> entries;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(pos, end - pos);
    pos = end + 1;
    if (line.find('\0') != std::string_view::npos) continue;
    std::string_view rest = line;
    const std::string_view name = NextWord(rest);
    if (name.empty() || name.front() == '#') continue;
    std::string_view type = NextWord(rest);
    if (type.size() > 2 && type[0] == '0' && (type[1] == 'x' || type[1] == 'X')) type.remove_prefix(2);
    const std::string_view version = NextWord(rest);
    const size_t dot = version.find('.');
    BrowseEntry entry;
    if (!ParseNumber(type, 16, entry.type) || dot == std::string_view::npos ||
        !ParseNumber(version.substr(0, dot), 10, entry.versionMajor) ||
        !ParseNumber(version.substr(dot + 1), 10, entry.versionMinor)) {
      continue;
    }
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
    entry.name = std::string(name);
    entry.comment = std::string(rest);
    entries.push_back(std::move(entry));
  }
  return entries;
}

size_t ServerInfoSize(const BrowseEntry& entry) {
  return sizeof(SERVER_INFO_101) + (WideLength(entry.name) + WideLength(entry.comment)) * sizeof(WCHAR);
}

BYTE* AllocateServerInfo(const std::vector<BrowseEntry>& entries) {
  size_t total = 0;
  for (const BrowseEntry& entry : entries) total += ServerInfoSize(entry);
  auto* block = static_cast<BYTE*>(std::calloc(1, total > 0 ? total : 1));
  if (block == nullptr) return nullptr;
  auto* records = reinterpret_cast<SERVER_INFO_101*>(block);
  auto* text = reinterpret_cast<WCHAR*>(block + entries.size() * sizeof(SERVER_INFO_101));
  auto place = [&text](const std::string& narrow) {
    const std::vector<WCHAR> wide = WideText(narrow);
    std::memcpy(text, wide.data(), wide.size() * sizeof(WCHAR));
    WCHAR* start = text;
    text += wide.size();
    return start;
  };
  for (size_t i = 0; i < entries.size(); ++i) {
    records[i].sv101_platform_id = PLATFORM_ID_NT;
    records[i].sv101_name = place(entries[i].name);
    records[i].sv101_version_major = entries[i].versionMajor;
    records[i].sv101_version_minor = entries[i].versionMinor;
    records[i].sv101_type = entries[i].type;
    records[i].sv101_comment = place(entries[i].comment);
  }
  return block;
}

std::string NarrowText(LPCWSTR text) {
  if (text == nullptr) return {};
  std::vector<uint8_t> bytes;
  for (const WCHAR* p = text; *p != 0; ++p) {
    bytes.push_back(static_cast<uint8_t>(*p & 0xFF));
    bytes.push_back(static_cast<uint8_t>(*p >> 8));
  }
  return Utf16leToUtf8(bytes.data(), bytes.size());
}

std::vector<WCHAR> WideText(std::string_view text) {
  const std::vector<uint8_t> bytes = Utf8ToUtf16le(text);
  std::vector<WCHAR> wide(bytes.size() / 2 + 1, 0);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    wide[i / 2] = static_cast<WCHAR>(bytes[i] | (bytes[i + 1] << 8));
  }
  return wide;
}

namespace {

// What a live computer says of itself, over its server service.
NET_API_STATUS AskServer(const std::string& name, BrowseEntry& entry) {
  std::unique_ptr<rpc::Transport> pipe;
  if (const DWORD status = smb::OpenPipe(name, "srvsvc", pipe); status != ERROR_SUCCESS) return status;
  rpc::Connection connection(std::move(pipe));
  if (const DWORD status = connection.Bind(srvs::Interface()); status != ERROR_SUCCESS) return status;
  std::vector<uint8_t> answer;
  DWORD status = connection.Call(srvs::kServerGetInfo, srvs::ServerGetInfoRequest(name), answer);
  if (status == ERROR_SUCCESS) status = srvs::ParseServerGetInfoAnswer(answer, entry);
  if (entry.name.empty()) entry.name = name;
  return status;
}

// The live network's browser: the workgroup's browse list as its master
// browser serves it, each computer typed by its own answer (the list that
// libsmbclient gives carries no types); a computer that does not answer is
// left out, as a browser drops one that stopped announcing itself.
class LiveBrowser final : public NetworkBrowserService {
 public:
  NET_API_STATUS NetServerEnum(LPCWSTR, DWORD level, BYTE** buffer, DWORD preferredMaximumLength,
                               DWORD* entriesRead, DWORD* totalEntries, DWORD serverType, LPCWSTR domain,
                               DWORD*) override {
    if (buffer == nullptr || entriesRead == nullptr || totalEntries == nullptr) return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    *entriesRead = *totalEntries = 0;
    if (level != 101) return kInvalidLevel;
    std::vector<smb::ListedServer> listed;
    if (const DWORD status = smb::ListServers(NarrowText(domain), listed); status != ERROR_SUCCESS) return status;
    std::vector<BrowseEntry> entries;
    for (const smb::ListedServer& server : listed) {
      BrowseEntry entry;
      if (AskServer(server.name, entry) != NERR_Success || (entry.type & serverType) == 0) continue;
      if (entry.comment.empty()) entry.comment = server.comment;
      entries.push_back(std::move(entry));
    }
    return GiveEntries(std::move(entries), preferredMaximumLength, buffer, entriesRead, totalEntries);
  }

  NET_API_STATUS NetServerGetInfo(LPCWSTR serverName, DWORD level, BYTE** buffer) override {
    if (buffer == nullptr || serverName == nullptr) return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    if (level != 101) return kInvalidLevel;
    BrowseEntry entry;
    if (const NET_API_STATUS status = AskServer(StripBackslashes(NarrowText(serverName)), entry);
        status != NERR_Success) {
      return status;
    }
    *buffer = AllocateServerInfo({entry});
    return NERR_Success;
  }

  NET_API_STATUS NetApiBufferFree(void* buffer) override {
    std::free(buffer);
    return NERR_Success;
  }
};

// The network setting picks the browser: the network root's browse list, or
// the live network's.
class NetworkBrowser final : public NetworkBrowserService {
 public:
  NET_API_STATUS NetServerEnum(LPCWSTR serverName, DWORD level, BYTE** buffer, DWORD preferredMaximumLength,
                               DWORD* entriesRead, DWORD* totalEntries, DWORD serverType, LPCWSTR domain,
                               DWORD* resumeHandle) override {
    return Current().NetServerEnum(serverName, level, buffer, preferredMaximumLength, entriesRead, totalEntries,
                                   serverType, domain, resumeHandle);
  }
  NET_API_STATUS NetServerGetInfo(LPCWSTR serverName, DWORD level, BYTE** buffer) override {
    return Current().NetServerGetInfo(serverName, level, buffer);
  }
  // Both hand out buffers of the same allocator.
  NET_API_STATUS NetApiBufferFree(void* buffer) override { return folder_.NetApiBufferFree(buffer); }

 private:
  NetworkBrowserService& Current() {
    return smb::LiveNetwork() ? static_cast<NetworkBrowserService&>(live_) : folder_;
  }
  BrowseListBrowser folder_;
  LiveBrowser live_;
};

}  // namespace

NetworkBrowserService& NetworkBrowserService::Default() {
  static NetworkBrowser* browser = new NetworkBrowser();
  return *browser;
}

}  // namespace platform

using platform::NetworkBrowserService;
using platform::Slot;

NET_API_STATUS NetServerEnum(LPCWSTR serverName, DWORD level, BYTE** buffer,
                             DWORD preferredMaximumLength, DWORD* entriesRead, DWORD* totalEntries,
                             DWORD serverType, LPCWSTR domain, DWORD* resumeHandle) {
  return Slot<NetworkBrowserService>::Current().NetServerEnum(
      serverName, level, buffer, preferredMaximumLength, entriesRead, totalEntries, serverType,
      domain, resumeHandle);
}
NET_API_STATUS NetServerGetInfo(LPCWSTR serverName, DWORD level, BYTE** buffer) {
  return Slot<NetworkBrowserService>::Current().NetServerGetInfo(serverName, level, buffer);
}
NET_API_STATUS NetApiBufferFree(void* buffer) {
  return Slot<NetworkBrowserService>::Current().NetApiBufferFree(buffer);
}
