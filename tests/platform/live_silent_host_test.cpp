// A computer that takes the connection and never answers: the call gives up
// within the connection time-out with 53, and the next one for that computer
// in the run fails at once, so a dead host costs one time-out a run.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "platform/base/last_error.h"
#include "platform/eventlog/eventlog.h"
#include "platform/smb/smb_network.h"
#include "support/samba_server.h"
#include "support/temp_machine.h"

TEST(LiveSilentHost, GivesUpWithinTheTimeOutOnceARun) {
  // Connections to 127.0.0.11:445 complete from the backlog; nothing is ever read.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in where{AF_INET, htons(445), {}, {}};
  ::inet_pton(AF_INET, "127.0.0.11", &where.sin_addr);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || ::listen(listener, 16) != 0) {
    ::close(listener);
    GTEST_SKIP() << "cannot listen on 127.0.0.11:445";
  }
  testing_support::TempMachine machine;
  machine.Write("lmhosts", "127.0.0.11 SILENT\n");
  machine.Write("auth", "username = nobody\npassword = none\n");
  ::chmod((machine.root() / "auth").c_str(), 0600);
  testing_support::ScopedEnv network("CORVID_NETWORK", std::string("smb:"));
  testing_support::ScopedEnv auth("CORVID_SMB_AUTH", (machine.root() / "auth").string());
  for (const char* log : {"System", "Application"}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(OpenEventLogA("SILENT", log), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("silent host, %s: %.1f s\n", log, seconds);
    // The library's time-out, with room for a loaded machine; then remembered.
    EXPECT_LT(seconds, log[0] == 'S' ? 2.0 * platform::smb::kTimeoutMs / 1000 : 1.0);
  }
  ::close(listener);
}
