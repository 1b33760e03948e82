// The live network: Windows computers reached over SMB through Samba's
// libsmbclient (SMB2/3, NTLMv2 or Kerberos, signing, name resolution), for
// the services that reach other computers. CORVID_NETWORK=smb: chooses it;
// anything else names the folder network (paths.h).
//
// Credentials come from the smbclient-style file that CORVID_SMB_AUTH names
// ("username =", "password =", "domain =" lines), which must be readable by
// its owner only; without it, a Kerberos ticket cache is used where there is
// one. They are read at each logon, handed to libsmbclient and wiped; they
// never reach argv, the run log or the database.
//
// The pipes and share files of one computer share one SMB session (one
// logon) for as long as they are used within two minutes of each other.
//
// Names resolve first through $CORVID_HOME/lmhosts ("ADDRESS NAME" lines,
// '#' comments), then as libsmbclient resolves them (DNS, WINS, broadcast).
// A Kerberos logon hands libsmbclient the name, which its ticket names,
// rather than the address; libsmbclient reads our lmhosts for it.
//
// Failures are Win32 codes: a computer that does not answer or resolve 53
// (within kTimeoutMs for each connection and each call), a refused logon
// 1326 (with Kerberos also: no ticket to offer), access denied 5, no such
// pipe or file 2, a connection lost or timed out mid-call 1726. A computer that gave 53 is not tried again for a
// minute, nor one that refused a password for ten minutes with the same
// credentials: a run pays one time-out per dead host, and a wrong password
// costs one refused logon rather than one per log.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win32.h"
#include "platform/rpc/transport.h"

namespace platform::smb {

enum : LONG { ERROR_LOGON_FAILURE = 1326 };

// How long a connection or a call may take before it is given up.
constexpr int kTimeoutMs = 10000;

bool LiveNetwork();

struct Credentials {
  std::string user;
  std::string password;
  std::string domain;
  ~Credentials();
};

// Reads the authentication file; ERROR_ACCESS_DENIED with `why` set when it
// is readable by group or others, 2 when it is not there.
DWORD ReadAuthFile(const std::string& path, Credentials& out, std::string& why);

// The address $CORVID_HOME/lmhosts gives `name`, or empty.
std::string LmhostsAddress(std::string_view name);

// \\computer\PIPE\<pipe> as the stream of an RPC connection.
DWORD OpenPipe(const std::string& computer, std::string_view pipe, std::unique_ptr<rpc::Transport>& out);

// A whole file of a share: `path` is "SHARE\dir\file" on `computer`. At most
// `limit` bytes, ERROR_NOT_ENOUGH_MEMORY beyond.
DWORD ReadShareFile(const std::string& computer, std::string_view path, size_t limit,
                    std::vector<uint8_t>& bytes, int64_t* modified = nullptr);

// The modification time of a file of a share, without reading it.
DWORD StatShareFile(const std::string& computer, std::string_view path, int64_t& modified, uint64_t& size);

// SMB sessions made so far in this process (each one logon at most).
uint64_t SessionsStarted();
// Closes the sessions no pipe holds: the next call logs on anew, as a new
// process would (a password changed on the server is seen then, not before,
// as on Windows, whose connections also outlive a change of password).
void CloseSessions();

// The computers a workgroup's master browser lists, with their comments;
// `workgroup` empty: the authentication file's domain, else the one Samba's
// configuration names. ERROR_NO_BROWSER_SERVERS_FOUND (6118) when no
// browser answers.
struct ListedServer {
  std::string name;
  std::string comment;
};
DWORD ListServers(std::string workgroup, std::vector<ListedServer>& servers);

}  // namespace platform::smb
