// The live network's settings: the authentication file is refused unless
// private, and lmhosts names addresses. What it reaches is tested against a
// real Samba server (live_eventlog_test.cpp).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/smb/smb_network.h"
#include "support/temp_machine.h"

namespace {

using testing_support::TempMachine;

TEST(AuthFile, OnlyAPrivateFileIsRead) {
  TempMachine machine;
  machine.Write("auth", "username = gatherer\n  password =  s3cret = x \r\ndomain=CORVIDNET\n# comment\n");
  const std::string path = (machine.root() / "auth").string();
  const struct {
    mode_t mode;
    DWORD status;
  } kCases[] = {{0600, ERROR_SUCCESS}, {0400, ERROR_SUCCESS}, {0640, ERROR_ACCESS_DENIED}, {0604, ERROR_ACCESS_DENIED}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mode);
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
    platform::smb::Credentials credentials;
    std::string why;
    EXPECT_EQ(platform::smb::ReadAuthFile(path, credentials, why), c.status);
    if (c.status != ERROR_SUCCESS) {
      EXPECT_NE(why.find(path), std::string::npos) << why;
      EXPECT_TRUE(credentials.password.empty());
      continue;
    }
    EXPECT_EQ(credentials.user, "gatherer");
    EXPECT_EQ(credentials.password, "s3cret = x");
    EXPECT_EQ(credentials.domain, "CORVIDNET");
  }
}

TEST(Lmhosts, NamesAnAddressWhateverTheCase) {
  TempMachine machine;
  machine.Write("lmhosts", "# address name\n127.0.0.2   PDC01 #PRE\n\n127.0.0.3\tws04\n#127.0.0.9 OFF05\n");
  const struct {
    const char* name;
    const char* address;
  } kCases[] = {{"PDC01", "127.0.0.2"}, {"pdc01", "127.0.0.2"}, {"WS04", "127.0.0.3"}, {"OFF05", ""}, {"PDC0", ""}};
  for (const auto& c : kCases) EXPECT_EQ(platform::smb::LmhostsAddress(c.name), c.address) << c.name;
}

}  // namespace
