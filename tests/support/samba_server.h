// Samba's smbd as a Windows computer of the live network: one server per
// address with its own configuration and folders (a shared ncalrpc folder
// would hand every server's pipes to the first one's RPC helpers), three
// event logs, a C$ share and one user; with nmbd, a member of the workgroup's
// browse list or its master browser; given a realm, samba in place of smbd:
// the domain controller of a new domain, whose KDC gives tickets (netbios
// off: only lmhosts names it). eventlogadm writes records; rpcclient
// says independently what the server holds. smbd, nmbd and the
// samba-dcerpcd smbd starts are stopped by their ids. smbd needs root for
// port 445: elsewhere a test skips (SAMBA_UNAVAILABLE), in CI it fails.
//
// A process that includes this enters a network of its own before main: its
// servers take no address of the machine's or of another test's, and a
// veth pair carries 10.99.0.0/24, where broadcasts reach nmbd (which ignores
// loopback addresses and the loopback device cannot broadcast). Its Samba
// programs ask no winbindd: the one socket path is shared by every network,
// and a domain controller's winbindd elsewhere would map these servers'
// users to ids of its own and fail their logons.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/eventlog/evt_file.h"
#include "support/subprocess.h"

#define SAMBA_UNAVAILABLE(server)                                            \
  do {                                                                       \
    if (std::getenv("CI") != nullptr) FAIL() << (server).why();              \
    GTEST_SKIP() << "no Samba server for the test: " << (server).why();      \
  } while (0)

namespace testing_support {

using platform::evt::EventRecordData;

// Why the process has no network of its own; empty when it has.
inline std::string EnterPrivateNetwork() {
  const char* make = "PATH=/usr/sbin:/sbin:$PATH; ip link set lo up && ip link add b0 type veth peer name b1 && "
                     "ip link set b1 up && ip link set b0 up && "
                     "for h in 2 3 4 5; do ip addr add 10.99.0.$h/24 brd + dev b0; done";
  if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) return "no network namespace of the test's own";
  ::setenv("_NO_WINBINDD", "1", 1);
  return Run({"/bin/sh", "-ec", make}) == 0 ? "" : "ip (iproute2) could not make the test's network";
}
inline const std::string kPrivateNetwork = EnterPrivateNetwork();

class SambaComputer {
 public:
  static constexpr const char* kPassword = "Corvid-test-1";
  enum class Browsing { kNone, kMember, kMaster };

  SambaComputer(std::string name, std::string address, Browsing browsing = Browsing::kNone, std::string realm = "")
      : name_(std::move(name)), address_(std::move(address)), browsing_(browsing), realm_(std::move(realm)) {
    why_ = Start();
  }
  ~SambaComputer() {
    if (nmbd_ > 0 && ::kill(nmbd_, SIGTERM) == 0) WaitOrKill(nmbd_, std::chrono::seconds(30));
    if (smbd_ > 0 && ::kill(smbd_, SIGTERM) == 0) WaitOrKill(smbd_, std::chrono::seconds(30));
    if (folder_.empty()) return;
    std::ifstream pidFile(folder_ / "pid" / "samba-dcerpcd.pid");
    if (long helper = 0; pidFile >> helper && helper > 1) {
      ::kill(static_cast<pid_t>(helper), SIGTERM);
      for (int i = 0; i < 250 && Running(helper); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  bool ok() const { return why_.empty(); }
  const std::string& why() const { return why_; }
  const std::string& address() const { return address_; }
  const std::string& user() const { return user_; }
  std::filesystem::path share() const { return folder_ / "c"; }
  // An smbclient-style authentication file for this server's user.
  std::string authFile() const { return (folder_ / "auth").string(); }
  // A domain controller's KDC, for KRB5_CONFIG; its administrator's ticket.
  std::string krb5Config() const { return (folder_ / "krb5.conf").string(); }
  bool Kinit() const { return Run({"/usr/bin/kinit", user_ + "@" + realm_}, (folder_ / "secret").string()) == 0; }

  // Appends records (their times, id, category, source, computer, strings,
  // and type: error or information) with eventlogadm; false when it fails.
  bool Write(const char* log, const std::vector<EventRecordData>& records) const {
    const std::string input = (folder_ / "records.txt").string();
    std::ofstream text(input, std::ios::binary);
    for (const auto& r : records) {
      const char* type = r.eventType == EVENTLOG_ERROR_TYPE ? "ERROR" : "INFO";
      text << "LEN: 0\nRS1: 1699505740\nRCN: 0\nTMG: " << r.timeGenerated << "\nTMW: " << r.timeWritten
           << "\nEID: " << r.eventId << "\nETP: " << type << "\nECT: " << r.eventCategory
           << "\nRS2: 0\nCRN: 0\nUSL: 0\nSRC: " << r.source << "\nSRN: " << r.computer << "\n";
      for (const std::string& s : r.strings) text << "STR: " << s << "\n";
      text << "DAT:\n\n";
    }
    text.close();
    // Some 100 records a second.
    const auto limit = std::chrono::seconds(60 + records.size() / 50);
    return Run({"/usr/sbin/eventlogadm", "-s", config(), "-o", "write", log}, input, "/dev/null", limit) == 0;
  }

  // rpcclient's output for one command, logged on as this server's user.
  std::string Rpcclient(const std::string& command) const {
    const std::string out = (folder_ / "rpcclient.out").string();
    Run({"/usr/bin/rpcclient", "-A", authFile(), "-c", command, address_}, "/dev/null", out);
    return ReadFile(out);
  }
  // What rpcclient counts in a log; -1 when it says nothing readable.
  long RecordCount(const char* log) const {
    const std::string text = Rpcclient(std::string("eventlog_numrecord ") + log);
    const size_t at = text.find("number of records: ");
    return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + 19, nullptr, 10);
  }

  // Cuts every client's connection, as a failing network would: the smbd
  // children that serve clients are killed; the server takes new ones.
  void DropConnections() const {
    const std::string smbd = std::to_string(smbd_);
    std::istringstream children(ReadFile("/proc/" + smbd + "/task/" + smbd + "/children"));
    for (pid_t child = 0; children >> child;) {
      const std::string name = ReadFile("/proc/" + std::to_string(child) + "/comm");
      if (name == "smbd\n" || name.rfind("smbd[", 0) == 0) ::kill(child, SIGKILL);
    }
  }

  // Whether the browse list this master keeps names every one of `names`
  // (the browsers' election and announcements take some tens of seconds).
  bool Lists(const std::vector<std::string>& names) const {
    for (int second = 0; second < 150; ++second, std::this_thread::sleep_for(std::chrono::seconds(1))) {
      const std::string list = ReadFile((folder_ / "cache/browse.dat").string());
      const auto listed = [&list](const std::string& name) { return list.find('"' + name + '"') != list.npos; };
      if (std::all_of(names.begin(), names.end(), listed)) return true;
    }
    return false;
  }

  // A password for the server's user (made with `add`), then in authFile().
  bool SetPassword(const std::string& password, bool add = false) {
    const std::string secret = (folder_ / "secret").string();
    std::ofstream(secret) << password << "\n" << password << "\n";
    std::vector<std::string> argv{"/usr/bin/smbpasswd", "-c", config(), "-s", user_};
    if (add) argv.insert(argv.begin() + 3, "-a");
    if (Run(argv, secret) != 0) return false;
    std::ofstream(authFile()) << "username = " << user_ << "\npassword = " << password << "\ndomain = " << name_
                              << "\n";
    return ::chmod(authFile().c_str(), 0600) == 0;
  }

  // Room for `bytes` of records in `log` (512 KB by default): the service
  // takes the registry's size into the log when a client next opens it.
  bool SetLogSize(const std::string& log, uint32_t bytes) const {
    const std::string key = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\" + log;
    return RecordCount(log.c_str()) >= 0 &&
           Run({"/usr/bin/net", "-s", config(), "registry", "setvalue", key, "MaxSize", "dword",
                std::to_string(bytes)}) == 0 &&
           RecordCount(log.c_str()) >= 0;
  }

  // An event source of `log` with its message file (a path on the server).
  bool AddSource(const std::string& log, const std::string& source, const std::string& file,
                 uint32_t categories) const {
    // A log key made before the event log service first starts lacks the
    // values (MaxSize, ...) it makes, and the log then cannot be opened.
    if (RecordCount(log.c_str()) < 0) return false;
    const std::string key = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Eventlog\\" + log + "\\" + source;
    const auto net = [&](std::vector<std::string> arguments) {
      arguments.insert(arguments.begin(), {"/usr/bin/net", "-s", config(), "registry"});
      return Run(arguments) == 0;
    };
    return net({"createkey", key}) && net({"setvalue", key, "EventMessageFile", "sz", file}) &&
           net({"setvalue", key, "CategoryMessageFile", "sz", file}) &&
           net({"setvalue", key, "CategoryCount", "dword", std::to_string(categories)});
  }

 private:
  std::string config() const { return (folder_ / "smb.conf").string(); }

  std::string Start() {
    if (::geteuid() != 0) return "smbd needs root to serve port 445";
    if (!kPrivateNetwork.empty()) return kPrivateNetwork;
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
    if (const std::string why = realm_.empty() ? "" : Provision(); !why.empty()) return why;
    if (realm_.empty()) std::ofstream(config())
        << "[global]\n  netbios name = " << name_ << "\n  workgroup = WORKGROUP\n  server role = standalone server\n"
        << "  interfaces = " << address_ << "/" << (address_.rfind("127.", 0) == 0 ? 8 : 24)
        << "\n  bind interfaces only = yes\n  smb ports = 445\n"
        << (browsing_ == Browsing::kNone ? "  disable netbios = yes\n"
                                         : "  server min protocol = NT1\n  local master = yes\n")
        << (browsing_ == Browsing::kMaster ? "  preferred master = yes\n  os level = 65\n" : "")
        << "  state directory = " << f << "/state\n  lock directory = " << f << "/lock\n  private dir = " << f
        << "/private\n  pid directory = " << f << "/pid\n  cache directory = " << f << "/cache\n  ncalrpc dir = " << f
        << "/ncalrpc\n  log file = " << f << "/log/%m.log\n  log level = 1\n  passdb backend = tdbsam\n"
        << "  map to guest = never\n  load printers = no\n  printcap name = /dev/null\n  disable spoolss = yes\n"
        << "  eventlog list = Application System Security\n[C$]\n  path = " << f << "/c\n  read only = yes\n";
    if (!SetPassword(kPassword, realm_.empty())) return "smbpasswd failed";

    const std::string out = f + "/log/smbd.out";
    // A domain controller's smbd asks its winbindd at the one socket path of
    // every network: this pair meets in a folder of its own, in its own mounts.
    const std::string sockets = f + "/winbindd", shared = "/run/samba/winbindd";
    if (!realm_.empty()) for (const std::string& d : {sockets, shared}) std::filesystem::create_directories(d);
    const auto dieWithUs = [&, parent = ::getpid()] {
      const bool own = realm_.empty() || (::unsetenv("_NO_WINBINDD") == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                                          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                                          ::mount(sockets.c_str(), shared.c_str(), nullptr, MS_BIND, nullptr) == 0);
      return own && ::prctl(PR_SET_PDEATHSIG, SIGTERM) == 0 && ::getppid() == parent;
    };
    smbd_ = Spawn({realm_.empty() ? "/usr/sbin/smbd" : "/usr/sbin/samba", "--foreground", "-s", config()}, "/dev/null",
                  out, out, dieWithUs);
    if (browsing_ != Browsing::kNone) {
      nmbd_ = Spawn({"/usr/sbin/nmbd", "--foreground", "-s", config()}, "/dev/null", out, out, dieWithUs);
    }
    for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30); !Listening();) {
      if (smbd_ < 0 || WaitFor(smbd_, std::chrono::milliseconds(100)) >= 0) {
        smbd_ = -1;
        return "smbd ended at start: " + ReadFile(out) + ReadFile(f + "/log/smbd.log");
      }
      if (std::chrono::steady_clock::now() > deadline) return "smbd did not answer in time";
    }
    return "";
  }

  // The configuration samba-tool writes for a new domain, with a C$ share.
  std::string Provision() {
    if (::access("/usr/bin/kinit", X_OK) != 0) return "kinit is not installed (krb5-user)";
    const std::string f = folder_.string(), out = f + "/log/provision.out";
    if (Run({"/usr/bin/samba-tool", "domain", "provision", "-s", "/dev/null", "--server-role=dc", "--dns-backend=NONE",
             "--realm=" + realm_, "--domain=" + realm_.substr(0, realm_.find('.')), "--host-name=" + name_,
             "--targetdir=" + f, "--option=interfaces = " + address_ + "/24", "--option=bind interfaces only = yes",
             "--option=disable netbios = yes", "--option=server services = s3fs, rpc, kdc, winbindd",
             "--option=pid directory = " + f + "/pid", "--option=ncalrpc dir = " + f + "/ncalrpc",
             "--option=log file = " + f + "/log/%m.log", "--option=eventlog list = Application System Security"},
            "/dev/null", out) != 0) {
      return "samba-tool could not provision (samba-ad-dc, samba-ad-provision): " + ReadFile(out);
    }
    std::filesystem::rename(folder_ / "etc/smb.conf", config());
    std::ofstream(config(), std::ios::app) << "[C$]\n  path = " << f << "/c\n  read only = yes\n";
    std::ofstream(krb5Config()) << "[libdefaults]\n  default_realm = " << realm_ << "\n  dns_lookup_kdc = false\n"
                                << "[realms]\n  " << realm_ << " = {\n    kdc = " << address_ << "\n  }\n";
    user_ = "Administrator";
    return "";
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

  // Not ended yet; a helper not ours to reap may stay a zombie (state Z).
  static bool Running(long pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    return !stat.empty() && stat.find(") Z ") == std::string::npos;
  }

  std::string name_;
  std::string address_;
  Browsing browsing_;
  std::string realm_;
  std::string user_ = "root";
  std::filesystem::path folder_;
  pid_t smbd_ = -1;
  pid_t nmbd_ = -1;
  std::string why_;
};

}  // namespace testing_support
