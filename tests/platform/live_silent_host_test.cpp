// A computer that takes the connection and never answers: the call gives up
// within the connection time-out with 53, and the next one for that computer
// in the run fails at once, so a dead host costs one time-out a run.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/base/last_error.h"
#include "platform/eventlog/eventlog.h"
#include "platform/smb/smb_network.h"
#include "support/samba_server.h"
#include "support/temp_machine.h"

namespace {

using testing_support::ScopedEnv;

// Listens on address:445 and leaves every connection unanswered (the kernel
// completes them from the backlog; nothing is ever accepted or read).
class SilentListener {
 public:
  explicit SilentListener(const char* address) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(445);
    ::inet_pton(AF_INET, address, &where.sin_addr);
    ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 && ::listen(fd_, 16) == 0;
  }
  ~SilentListener() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return ok_; }

 private:
  int fd_ = -1;
  bool ok_ = false;
};

TEST(LiveSilentHost, GivesUpWithinTheTimeOutOnceARun) {
  SilentListener listener("127.0.0.11");
  if (!listener.ok()) GTEST_SKIP() << "cannot listen on 127.0.0.11:445";
  testing_support::TempMachine machine;
  machine.Write("lmhosts", "127.0.0.11 SILENT\n");
  machine.Write("auth", "username = nobody\npassword = none\n");
  ::chmod((machine.root() / "auth").c_str(), 0600);
  ScopedEnv network("CORVID_NETWORK", std::string("smb:"));
  ScopedEnv auth("CORVID_SMB_AUTH", (machine.root() / "auth").string());
  using Clock = std::chrono::steady_clock;
  const auto seconds = [](Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); };

  auto start = Clock::now();
  EXPECT_EQ(OpenEventLogA("SILENT", "System"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
  const double first = seconds(start);
  // The library's time-out, with room for a loaded machine.
  EXPECT_LT(first, 2.0 * platform::smb::kTimeoutMs / 1000) << first;

  start = Clock::now();
  EXPECT_EQ(OpenEventLogA("SILENT", "Application"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
  EXPECT_LT(seconds(start), 1.0) << "remembered for the run";
  std::printf("silent host: first call %.1f s\n", first);
}

}  // namespace
