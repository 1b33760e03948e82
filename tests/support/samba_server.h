// Samba's smbd as a Windows computer of the live network, for tests: one
// server per loopback address, each with its own configuration and its own
// state, lock, private, pid, cache and ncalrpc folders (sharing the ncalrpc
// folder would hand every server's pipes to the first one's RPC helpers),
// the event logs Application, System and Security, a C$ share, and one
// user made with smbpasswd. Records are written with Samba's eventlogadm;
// rpcclient says independently what the server holds.
//
// smbd is the test's child; the samba-dcerpcd it starts on demand leaves
// its process id in the pid folder. Both are stopped by those ids.
//
// smbd needs root to serve port 445: elsewhere a test skips, except in CI
// (CI set), where a server that does not start fails the test:
//
//   SambaComputer& pdc = SharedSamba(0);
//   if (!pdc.ok()) { SAMBA_UNAVAILABLE(pdc); }
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include "support/subprocess.h"

#define SAMBA_UNAVAILABLE(server)                                            \
  do {                                                                       \
    if (std::getenv("CI") != nullptr) FAIL() << (server).why();              \
    GTEST_SKIP() << "no Samba server for the test: " << (server).why();      \
  } while (0)

namespace testing_support {

struct SambaRecord {
  uint32_t written = 0;  // also the generated time
  uint32_t eventId = 0;
  const char* type = "INFO";  // INFO, ERROR, WARNING, AUDIT SUCCESS, AUDIT FAILURE
  uint16_t category = 0;
  std::string source;
  std::string computer;
  std::vector<std::string> strings;
};

class SambaComputer {
 public:
  static constexpr const char* kPassword = "Corvid-test-1";

  SambaComputer(std::string name, std::string address) : name_(std::move(name)), address_(std::move(address)) {
    why_ = Start();
  }
  ~SambaComputer() { Stop(); }
  SambaComputer(const SambaComputer&) = delete;
  SambaComputer& operator=(const SambaComputer&) = delete;

  bool ok() const { return why_.empty(); }
  const std::string& why() const { return why_; }
  const std::string& name() const { return name_; }
  const std::string& address() const { return address_; }
  const std::string& user() const { return user_; }
  std::filesystem::path share() const { return folder_ / "c"; }
  std::string config() const { return (folder_ / "smb.conf").string(); }
  // An smbclient-style authentication file for this server's user.
  std::string authFile() const { return (folder_ / "auth").string(); }

  // Appends records with eventlogadm; false when it fails.
  bool Write(const char* log, const std::vector<SambaRecord>& records) const {
    std::ostringstream text;
    for (const SambaRecord& r : records) {
      text << "LEN: 0\nRS1: 1699505740\nRCN: 0\nTMG: " << r.written << "\nTMW: " << r.written
           << "\nEID: " << r.eventId << "\nETP: " << r.type << "\nECT: " << r.category
           << "\nRS2: 0\nCRN: 0\nUSL: 0\nSRC: " << r.source << "\nSRN: " << r.computer << "\n";
      for (const std::string& s : r.strings) text << "STR: " << s << "\n";
      text << "DAT:\n\n";
    }
    const std::string input = (folder_ / "records.txt").string();
    std::ofstream(input, std::ios::binary) << text.str();
    return Run({"/usr/sbin/eventlogadm", "-s", config(), "-o", "write", log}, input) == 0;
  }

  // rpcclient's output for one command, logged on as this server's user.
  std::string Rpcclient(const std::string& command) const {
    const std::string out = (folder_ / "rpcclient.out").string();
    Run({"/usr/bin/rpcclient", "-A", authFile(), "-c", command, address_}, "/dev/null", out);
    return ReadAll(out);
  }
  // What rpcclient counts in a log; -1 when it says nothing readable.
  long RecordCount(const char* log) const {
    const std::string text = Rpcclient(std::string("eventlog_numrecord ") + log);
    const size_t at = text.find("number of records: ");
    return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + 19, nullptr, 10);
  }

  // Cuts every client's connection, as a network that fails would: the
  // smbd processes that serve clients are killed by their ids; the server
  // goes on taking new ones.
  void DropConnections() const {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::ifstream stat(entry.path() / "stat");
      std::string line;
      if (!std::getline(stat, line)) continue;
      const size_t close = line.rfind(')');
      const size_t open = line.find('(');
      if (close == std::string::npos || open == std::string::npos) continue;
      const std::string comm = line.substr(open + 1, close - open - 1);
      std::istringstream rest(line.substr(close + 2));
      char state = 0;
      long parent = 0;
      rest >> state >> parent;
      if (parent == smbd_ && (comm == "smbd" || comm.rfind("smbd[", 0) == 0)) {
        ::kill(static_cast<pid_t>(std::stol(name)), SIGKILL);
      }
    }
  }

  // Gives the server's user another password, which authFile() then holds.
  bool SetPassword(const std::string& password) {
    const std::string secret = (folder_ / "secret").string();
    std::ofstream(secret) << password << "\n" << password << "\n";
    if (Run({"/usr/bin/smbpasswd", "-c", config(), "-s", user_}, secret) != 0) return false;
    WriteAuthFile(password);
    return true;
  }

  // Registers an event source of `log` with its message file (a path as
  // the server's registry keeps it), the way eventlogadm's addsource would.
  bool AddSource(const std::string& log, const std::string& source, const std::string& file,
                 uint32_t categories) const {
    // The server makes its logs' keys (MaxSize, Retention, ...) when its
    // event log service first starts; a log key made before that lacks them
    // and the log then cannot be opened.
    if (!logKeysMade_ && RecordCount(log.c_str()) < 0) return false;
    logKeysMade_ = true;
    const std::string key = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\" + log + "\\" + source;
    return Registry({"createkey", key}) && Registry({"setvalue", key, "EventMessageFile", "sz", file}) &&
           Registry({"setvalue", key, "CategoryMessageFile", "sz", file}) &&
           Registry({"setvalue", key, "CategoryCount", "dword", std::to_string(categories)});
  }

  // `net registry` on this server's registry.
  bool Registry(const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv = {"/usr/bin/net", "-s", config(), "registry"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return Run(argv) == 0;
  }

 private:
  std::string Start() {
    if (::geteuid() != 0) return "smbd needs root to serve port 445";
    for (const char* tool : {"/usr/sbin/smbd", "/usr/sbin/eventlogadm", "/usr/bin/smbpasswd", "/usr/bin/rpcclient"}) {
      if (::access(tool, X_OK) != 0) return std::string(tool) + " is not installed (samba, samba-common-bin)";
    }
    if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr) user_ = pw->pw_name;
    std::string pattern = "/tmp/corvid-smb-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return "cannot make a folder under /tmp";
    folder_ = pattern;
    for (const char* sub : {"state", "lock", "private", "pid", "cache", "ncalrpc", "log", "c/Windows/system32"}) {
      std::filesystem::create_directories(folder_ / sub);
    }
    const std::string f = folder_.string();
    std::ofstream(config()) << "[global]\n"
                            << "  netbios name = " << name_ << "\n"
                            << "  workgroup = CORVIDNET\n"
                            << "  server role = standalone server\n"
                            << "  interfaces = " << address_ << "/8\n"
                            << "  bind interfaces only = yes\n"
                            << "  smb ports = 445\n"
                            << "  disable netbios = yes\n"
                            << "  state directory = " << f << "/state\n"
                            << "  lock directory = " << f << "/lock\n"
                            << "  private dir = " << f << "/private\n"
                            << "  pid directory = " << f << "/pid\n"
                            << "  cache directory = " << f << "/cache\n"
                            << "  ncalrpc dir = " << f << "/ncalrpc\n"
                            << "  log file = " << f << "/log/%m.log\n"
                            << "  log level = 1\n"
                            << "  passdb backend = tdbsam\n"
                            << "  map to guest = never\n"
                            << "  load printers = no\n"
                            << "  printcap name = /dev/null\n"
                            << "  disable spoolss = yes\n"
                            << "  eventlog list = Application System Security\n"
                            << "[C$]\n"
                            << "  path = " << f << "/c\n"
                            << "  read only = yes\n";
    WriteAuthFile(kPassword);
    const std::string secret = (folder_ / "secret").string();
    std::ofstream(secret) << kPassword << "\n" << kPassword << "\n";
    if (Run({"/usr/bin/smbpasswd", "-c", config(), "-a", "-s", user_}, secret) != 0) return "smbpasswd failed";

    const pid_t parent = ::getpid();
    smbd_ = ::fork();
    if (smbd_ == 0) {
      const int out = ::open((f + "/log/smbd.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(out, 2);
      if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) ::_exit(126);
      ::execl("/usr/sbin/smbd", "smbd", "--foreground", "-s", config().c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (smbd_ < 0) return "cannot start smbd";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Listening()) {
      int status = 0;
      if (::waitpid(smbd_, &status, WNOHANG) == smbd_) {
        smbd_ = -1;
        return "smbd ended at start: " + ReadAll(f + "/log/smbd.out") + ReadAll(f + "/log/smbd.log");
      }
      if (std::chrono::steady_clock::now() > deadline) return "smbd did not answer in time";
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
  }

  void WriteAuthFile(const std::string& password) const {
    {
      std::ofstream auth(authFile());
      auth << "username = " << user_ << "\npassword = " << password << "\ndomain = " << name_ << "\n";
    }
    ::chmod(authFile().c_str(), 0600);
  }

  bool Listening() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(445);
    ::inet_pton(AF_INET, address_.c_str(), &where.sin_addr);
    const bool up = ::connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
    ::close(fd);
    return up;
  }

  void Stop() {
    if (smbd_ > 0) {
      ::kill(smbd_, SIGTERM);
      int status = 0;
      ::waitpid(smbd_, &status, 0);
      smbd_ = -1;
    }
    if (folder_.empty()) return;
    std::ifstream pidFile(folder_ / "pid" / "samba-dcerpcd.pid");
    long helper = 0;
    if (pidFile >> helper && helper > 1) {
      ::kill(static_cast<pid_t>(helper), SIGTERM);
      for (int i = 0; i < 250 && Running(static_cast<pid_t>(helper)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // Not ended yet: a helper whose parent never reaps it stays a zombie.
  static bool Running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
  }

  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // The exit status; -1 when it could not run or took over a minute.
  static int Run(const std::vector<std::string>& argv, const std::string& input = "/dev/null",
                 const std::string& output = "/dev/null") {
    const pid_t child = ::fork();
    if (child == 0) {
      const int in = ::open(input.c_str(), O_RDONLY);
      const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(out, 2);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
    if (child < 0) return -1;
    return WaitOrKill(child, std::chrono::minutes(1));
  }

  std::string name_;
  std::string address_;
  std::string user_ = "root";
  std::filesystem::path folder_;
  pid_t smbd_ = -1;
  std::string why_;
  mutable bool logKeysMade_ = false;
};

}  // namespace testing_support
