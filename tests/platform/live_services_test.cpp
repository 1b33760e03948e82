// Account names and server information on the live network, asked of
// Samba's smbd: what its local security authority maps, as rpcclient maps
// it, and the codes of what it does not; what its server service says of
// it; and, with no master browser, an empty browse list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/accounts_time/accounts.h"
#include "platform/base/last_error.h"
#include "platform/browser/browser.h"
#include "support/samba_server.h"
#include "support/temp_machine.h"

namespace {

using testing_support::SambaComputer;
using testing_support::ScopedEnv;

// "S-1-5-32-544" as bytes.
std::vector<uint8_t> SidBytes(const std::string& text) {
  std::vector<uint8_t> sid(8);
  std::istringstream parts(text.substr(4));
  uint64_t authority = 0;
  char dash = 0;
  parts >> authority;
  sid[0] = 1;
  for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<uint8_t>(authority >> (8 * (5 - i)));
  for (uint32_t part; parts >> dash >> part;) {
    for (int i = 0; i < 4; ++i) sid.push_back(static_cast<uint8_t>(part >> (8 * i)));
    ++sid[1];
  }
  return sid;
}

TEST(LiveServices, AccountsAndServerInformationComeFromTheComputer) {
  SambaComputer server("LIVEPDC", "127.0.0.2");
  if (!server.ok()) SAMBA_UNAVAILABLE(server);
  testing_support::TempMachine machine;
  machine.Write("lmhosts", server.address() + " LIVEPDC\n127.0.0.9 LIVEOFF\n");
  ScopedEnv network("CORVID_NETWORK", std::string("smb:"));
  ScopedEnv auth("CORVID_SMB_AUTH", server.authFile());
  // rpcclient: "root S-1-5-21-... (User: 1)".
  std::istringstream lookup(server.Rpcclient("lookupnames " + server.user()));
  std::string user, userSid;
  lookup >> user >> userSid;
  ASSERT_EQ(userSid.rfind("S-1-5-21-", 0), 0u) << lookup.str();

  const struct {
    const char* computer;
    std::string sid;
    BOOL ok;
    const char* domain;
    std::string name;
    DWORD error;
  } kCases[] = {
      {"LIVEPDC", "S-1-5-32-544", TRUE, "BUILTIN", "Administrators", 0},
      {"LIVEPDC", userSid, TRUE, "LIVEPDC", server.user(), 0},
      {"LIVEPDC", "S-1-5-21-1-2-3-999", FALSE, "", "", ERROR_NONE_MAPPED},
      {"LIVEOFF", "S-1-5-32-544", FALSE, "", "", RPC_S_SERVER_UNAVAILABLE},
      {"LIVEPDC", userSid, TRUE, "LIVEPDC", server.user(), 0},  // kept from the first answer
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.computer) + " " + c.sid);
    const std::vector<uint8_t> sid = SidBytes(c.sid);
    char name[64] = {};
    char domain[64] = {};
    DWORD nameSize = sizeof name;
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use = SidTypeUnknown;
    SetLastError(0);
    EXPECT_EQ(LookupAccountSidA(c.computer, sid.data(), name, &nameSize, domain, &domainSize, &use), c.ok);
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), c.error);
      continue;
    }
    EXPECT_STREQ(name, c.name.c_str());
    EXPECT_STREQ(domain, c.domain);
  }

  BYTE* buffer = nullptr;
  ASSERT_EQ(NetServerGetInfo(platform::WideText("\\\\LIVEPDC").data(), 101, &buffer), NERR_Success);
  const auto* info = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  EXPECT_EQ(platform::NarrowText(info->sv101_name), "LIVEPDC");
  EXPECT_EQ(info->sv101_type & (SV_TYPE_NT | SV_TYPE_SERVER | SV_TYPE_WORKSTATION),
            SV_TYPE_NT | SV_TYPE_SERVER | SV_TYPE_WORKSTATION);
  NetApiBufferFree(buffer);
  EXPECT_EQ(NetServerGetInfo(platform::WideText("LIVEOFF").data(), 101, &buffer), ERROR_BAD_NETPATH);

  DWORD read = 1;
  DWORD total = 1;
  EXPECT_NE(NetServerEnum(nullptr, 101, &buffer, 65000, &read, &total, 27, nullptr, nullptr), NERR_Success)
      << "no master browser serves the workgroup";
  EXPECT_EQ(read, 0u);
}

}  // namespace
