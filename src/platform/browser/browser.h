// Network browser: the computers the network announces, and what one
// computer says of itself.
//
// The network root (see files/paths.h) holds browse.lst, the browse list:
// one computer a line, "NAME TYPE MAJOR.MINOR [comment]", TYPE being the
// sv101_type bits in hex; '#' starts a comment line. It may name computers
// that are switched off and miss some that are on: a computer is on exactly
// when its folder exists under the network root.
//
// Contract, as the Win32 calls keep it: NERR_Success (0) or an error code;
// ERROR_MORE_DATA (234) when the records do not fit the preferred size (the
// buffer then holds those that do); ERROR_BAD_NETPATH (53) for a computer
// that does not answer. Buffers come from the service and go back through
// NetApiBufferFree. Safe to call from several threads at once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/service.h"
#include "platform/base/win32.h"

typedef DWORD NET_API_STATUS;

enum : DWORD {
  NERR_Success = 0,
  MAX_PREFERRED_LENGTH = 0xFFFFFFFF,
  PLATFORM_ID_NT = 500,
};

enum : DWORD {
  SV_TYPE_WORKSTATION = 0x00000001,
  SV_TYPE_SERVER = 0x00000002,
  SV_TYPE_DOMAIN_CTRL = 0x00000008,
  SV_TYPE_DOMAIN_BAKCTRL = 0x00000010,
  SV_TYPE_NT = 0x00001000,
  SV_TYPE_SERVER_NT = 0x00008000,
  SV_TYPE_ALL = 0xFFFFFFFF,
};

struct SERVER_INFO_101 {
  DWORD sv101_platform_id;
  LPWSTR sv101_name;
  DWORD sv101_version_major;
  DWORD sv101_version_minor;
  DWORD sv101_type;
  LPWSTR sv101_comment;
};

namespace platform {

class NetworkBrowserService {
 public:
  virtual ~NetworkBrowserService() = default;
  // Level 101 only. `serverName` and `domain` null: this computer's browser
  // and its primary domain.
  virtual NET_API_STATUS NetServerEnum(LPCWSTR serverName, DWORD level, BYTE** buffer,
                                       DWORD preferredMaximumLength, DWORD* entriesRead,
                                       DWORD* totalEntries, DWORD serverType, LPCWSTR domain,
                                       DWORD* resumeHandle) = 0;
  // `serverName` is "\\NAME" (or "NAME").
  virtual NET_API_STATUS NetServerGetInfo(LPCWSTR serverName, DWORD level, BYTE** buffer) = 0;
  virtual NET_API_STATUS NetApiBufferFree(void* buffer) = 0;

  static NetworkBrowserService& Default();
};

class NetworkBrowserWrapper : public NetworkBrowserService {
 public:
  explicit NetworkBrowserWrapper(NetworkBrowserService& target) : target_(target) {}
  NET_API_STATUS NetServerEnum(LPCWSTR serverName, DWORD level, BYTE** buffer,
                               DWORD preferredMaximumLength, DWORD* entriesRead,
                               DWORD* totalEntries, DWORD serverType, LPCWSTR domain,
                               DWORD* resumeHandle) override {
    return target_.NetServerEnum(serverName, level, buffer, preferredMaximumLength, entriesRead,
                                 totalEntries, serverType, domain, resumeHandle);
  }
  NET_API_STATUS NetServerGetInfo(LPCWSTR serverName, DWORD level, BYTE** buffer) override {
    return target_.NetServerGetInfo(serverName, level, buffer);
  }
  NET_API_STATUS NetApiBufferFree(void* buffer) override { return target_.NetApiBufferFree(buffer); }

 private:
  NetworkBrowserService& target_;
};

// One line of the browse list.
struct BrowseEntry {
  std::string name;
  DWORD type = 0;
  DWORD versionMajor = 0;
  DWORD versionMinor = 0;
  std::string comment;
};

// The entries of a browse list's bytes; lines that do not read as one are
// passed over, as a browser ignores a garbled announcement.
std::vector<BrowseEntry> ParseBrowseList(std::string_view bytes);

// Level-101 records in one buffer that NetApiBufferFree releases: the
// records first, then their texts, as the platform lays them out. Fakes use
// it to answer as the real service does.
BYTE* AllocateServerInfo(const std::vector<BrowseEntry>& entries);
// The bytes a record of `entry` takes in such a buffer.
size_t ServerInfoSize(const BrowseEntry& entry);

// Wide text of the platform (UTF-16) to and from UTF-8.
std::string NarrowText(LPCWSTR text);
std::vector<WCHAR> WideText(std::string_view text);  // terminated

}  // namespace platform

NET_API_STATUS NetServerEnum(LPCWSTR serverName, DWORD level, BYTE** buffer,
                             DWORD preferredMaximumLength, DWORD* entriesRead, DWORD* totalEntries,
                             DWORD serverType, LPCWSTR domain, DWORD* resumeHandle);
NET_API_STATUS NetServerGetInfo(LPCWSTR serverName, DWORD level, BYTE** buffer);
NET_API_STATUS NetApiBufferFree(void* buffer);
