// The live network's settings: the authentication file is refused unless
// private, and lmhosts names addresses. What it reaches is tested against a
// real Samba server (live_eventlog_test.cpp).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/smb/smb_network.h"
#include "support/temp_machine.h"

using testing_support::TempMachine;

TEST(AuthFile, OnlyAPrivateFileIsRead) {
  TempMachine machine;
  machine.Write("auth", "username = gatherer\n  password =  s3cret = x \r\ndomain=CORVIDNET\n# comment\n");
  const std::string path = (machine.root() / "auth").string();
  for (const mode_t mode : {0600, 0400, 0640, 0604}) {
    SCOPED_TRACE(mode);
    const bool private_ = mode == 0600 || mode == 0400;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    platform::smb::Credentials c;
    std::string why;
    EXPECT_EQ(platform::smb::ReadAuthFile(path, c, why), private_ ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
    EXPECT_EQ(c.user + "|" + c.password + "|" + c.domain, private_ ? "gatherer|s3cret = x|CORVIDNET" : "||");
    EXPECT_EQ(why.find(path) != std::string::npos, !private_) << why;
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
