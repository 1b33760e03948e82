// libsmbclient stays behind this file: no other file of ours includes it.
//
// Every connection gets a context of its own, and every call into the
// library is made under one lock (see LibraryMutex).
#include "platform/smb/smb_network.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <libsmbclient.h>
#include <netdb.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <unordered_map>

#include "platform/base/text.h"
#include "platform/files/paths.h"

namespace platform::smb {
namespace {

// Held for every call into the library: its per-call memory frames are
// not kept per thread (the build we link has no thread set-up to ask for),
// and type queries run one thread per computer.
std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unique_lock<std::mutex> Hold() { return std::unique_lock<std::mutex>(LibraryMutex()); }

std::string Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return std::string(text);
}

void Wipe(std::string& text) {
  volatile char* bytes = text.data();
  for (size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
  text.clear();
}

void CopyField(const std::string& from, char* to, int size) {
  if (size <= 0) return;
  std::snprintf(to, static_cast<size_t>(size), "%s", from.c_str());
}

// Asked by the library at each logon; a shared context may log on again
// later (a dropped connection), so the file is read each time rather than
// kept in memory.
void Authenticate(SMBCCTX* context, const char*, const char*, char* workgroup, int workgroupSize, char* user,
                  int userSize, char* password, int passwordSize) {
  const auto* file = static_cast<const std::string*>(smbc_getOptionUserData(context));
  if (file == nullptr || file->empty()) return;
  Credentials credentials;
  std::string why;
  if (ReadAuthFile(*file, credentials, why) != ERROR_SUCCESS) return;
  if (!credentials.domain.empty()) CopyField(credentials.domain, workgroup, workgroupSize);
  CopyField(credentials.user, user, userSize);
  CopyField(credentials.password, password, passwordSize);
}

// Tells once per process why the authentication file was refused: each
// connection finds the same, and a run log line says the code.
void TellOnce(const std::string& why) {
  static std::mutex mutex;
  static std::set<std::string> told;
  std::lock_guard<std::mutex> guard(mutex);
  if (told.insert(why).second) std::fprintf(stderr, "corvid: %s\n", why.c_str());
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENODEV:  // the name did not resolve
      return ERROR_BAD_NETPATH;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return rpc::RPC_S_CALL_FAILED;
  }
}

// A URL path component: everything but unreserved characters escaped.
void AppendEscaped(std::string& url, std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
        byte == '-' || byte == '.' || byte == '_' || byte == '~' || byte == '$') {
      url += c;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 15];
    }
  }
}

// A Kerberos ticket names the computer (cifs/NAME) and Samba asks for none
// toward a bare address, so with Kerberos the URL keeps the name, which
// libsmbclient then resolves through our lmhosts first (UseOurLmhosts); with
// a password the lmhosts address goes in the URL itself.
std::string Url(const std::string& computer, std::string_view path, bool byName) {
  const std::string address = byName ? std::string() : LmhostsAddress(computer);
  std::string url = "smb://";
  AppendEscaped(url, address.empty() ? computer : address);
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      if (i > start) {
        url += '/';
        AppendEscaped(url, path.substr(start, i - start));
      }
      start = i + 1;
    }
  }
  return url;
}

// Whether our lmhosts or the system's resolver gives `computer` an address.
bool Resolves(const std::string& computer) {
  if (!LmhostsAddress(computer).empty()) return true;
  addrinfo* found = nullptr;
  if (::getaddrinfo(computer.c_str(), nullptr, nullptr, &found) != 0) return false;
  ::freeaddrinfo(found);
  return true;
}

// Computers that did not answer, or refused the logon, lately: asked again
// only after a while, so that one dead host costs one time-out in a run and
// a wrong password one refused logon (not one per log, which could lock the
// account out), per authentication file.
class Failures {
 public:
  static constexpr auto kUnreachable = std::chrono::minutes(1);
  static constexpr auto kLogonRefused = std::chrono::minutes(10);

  DWORD Recent(const std::string& key) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto found = failures_.find(key);
    if (found == failures_.end()) return ERROR_SUCCESS;
    if (std::chrono::steady_clock::now() >= found->second.until) {
      failures_.erase(found);
      return ERROR_SUCCESS;
    }
    return found->second.code;
  }
  void Remember(const std::string& key, DWORD code) {
    if (code != ERROR_BAD_NETPATH && code != ERROR_LOGON_FAILURE) return;
    std::lock_guard<std::mutex> guard(mutex_);
    if (failures_.size() >= 4096) failures_.clear();
    failures_[key] = {std::chrono::steady_clock::now() + (code == ERROR_LOGON_FAILURE ? kLogonRefused : kUnreachable),
                      code};
  }

 private:
  struct Failure {
    std::chrono::steady_clock::time_point until;
    DWORD code;
  };
  std::mutex mutex_;
  std::unordered_map<std::string, Failure> failures_;
};

Failures& RecentFailures() {
  static Failures* failures = new Failures();  // lives as long as the process
  return *failures;
}

std::atomic<uint64_t> sessionsStarted{0};

// libsmbclient looks names up in Samba's lmhosts file before DNS, WINS and
// broadcast; made ours, it resolves the names we hand it as names as we
// would. The setter is libsamba-util's, loaded with libsmbclient but declared
// in no header it installs: without it, Samba's own lmhosts file stays.
void UseOurLmhosts() {
  using Setter = const char* (*)(const char*);
  static const auto set = reinterpret_cast<Setter>(::dlsym(RTLD_DEFAULT, "set_dyn_LMHOSTSFILE"));
  if (set != nullptr) set((MachineFolder() + "/lmhosts").c_str());
}

// One libsmbclient context, logged on with the authentication file's
// credentials (or a Kerberos ticket). The library keeps one connection per
// server in it, so every pipe and share file of a computer opened through
// the same session costs one logon.
class Session {
 public:
  ~Session() {
    if (context_ == nullptr) return;
    std::lock_guard<std::mutex> guard(LibraryMutex());
    smbc_free_context(context_, 1);
  }

  // Reads the credentials as they are now. `computer` empty: no computer in
  // particular (the browse list).
  DWORD Start(const std::string& computer) {
    Credentials credentials;
    if (const char* file = std::getenv("CORVID_SMB_AUTH"); file != nullptr && *file != '\0') {
      authFile_ = file;
      std::string why;
      if (const DWORD status = ReadAuthFile(authFile_, credentials, why); status != ERROR_SUCCESS) {
        TellOnce(why);
        return status;
      }
    }
    domain_ = credentials.domain;
    // Other credentials (a corrected password), or another file to read them
    // from at the next logon, are tried afresh.
    const size_t who = std::hash<std::string>{}(credentials.user + '\n' + credentials.password + '\n' +
                                                credentials.domain + '\n' + authFile_);
    key_ = FoldCase(computer) + '\n' + std::to_string(who);
    if (!computer.empty()) {
      if (const DWORD recent = RecentFailures().Recent(key_); recent != ERROR_SUCCESS) return recent;
    }
    kerberos_ = credentials.user.empty();
    return ERROR_SUCCESS;
  }

  // The context itself, after Start. A browse list is served only by RAP,
  // which SMB1 alone carries; every other use stays on SMB2 and later.
  DWORD Open(bool browseList = false) {
    std::lock_guard<std::mutex> guard(LibraryMutex());
    context_ = smbc_new_context();
    if (context_ == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    smbc_setDebug(context_, 0);
    smbc_setTimeout(context_, kTimeoutMs);
    smbc_setOptionUserData(context_, &authFile_);
    smbc_setFunctionAuthDataWithContext(context_, Authenticate);
    smbc_setOptionNoAutoAnonymousLogin(context_, 1);
    smbc_setOptionUseKerberos(context_, kerberos_ ? 1 : 0);
    smbc_setOptionFallbackAfterKerberos(context_, 0);
    smbc_setOptionUseCCache(context_, kerberos_ ? 1 : 0);
    UseOurLmhosts();
    if (browseList) smbc_setOptionProtocols(context_, "NT1", "NT1");
    if (smbc_init_context(context_) == nullptr) {
      smbc_free_context(context_, 1);
      context_ = nullptr;
      return ERROR_NOT_ENOUGH_MEMORY;
    }
    sessionsStarted.fetch_add(1, std::memory_order_relaxed);
    return ERROR_SUCCESS;
  }

  SMBCCTX* context() const { return context_; }
  const std::string& domain() const { return domain_; }
  // The computer and the credentials, as the pool and the failures know them.
  const std::string& key() const { return key_; }
  // `path` (share first) on `computer`, as this session names it.
  std::string UrlOf(const std::string& computer, std::string_view path) const {
    return Url(computer, path, kerberos_);
  }

  // The code of a failed open, remembered for the computer when it did not
  // answer or refused a password: a refused ticket risks no lockout, and the
  // next try after a kinit must use the new one.
  DWORD OpenFailure(int error, const std::string& computer, std::string_view share) {
    const DWORD code = OpenFailureCode(error, computer, share);
    if (!computer.empty() && !(kerberos_ && code == ERROR_LOGON_FAILURE)) RecentFailures().Remember(key_, code);
    return code;
  }

 private:
  // A refused logon is told apart from a refused share or file by asking for
  // the share's root, which needs the logon only.
  DWORD OpenFailureCode(int error, const std::string& computer, std::string_view share) {
    const DWORD code = ErrorFromErrno(error);
    if (code != ERROR_ACCESS_DENIED && code != rpc::RPC_S_CALL_FAILED) return code;
    // libsmbclient says EINVAL for a name that resolves to nothing, and for a
    // Kerberos logon with no ticket to offer (none, expired, no KDC answered).
    if (error == EINVAL && kerberos_ && Resolves(computer)) return ERROR_LOGON_FAILURE;
    if (error == ETIMEDOUT || error == EIO || error == EINVAL) return ERROR_BAD_NETPATH;
    if (code != ERROR_ACCESS_DENIED) return code;
    struct stat st;
    auto hold = Hold();
    if (smbc_getFunctionStat(context_)(context_, UrlOf(computer, share).c_str(), &st) != 0 &&
        (errno == EACCES || errno == EPERM)) {
      return ERROR_LOGON_FAILURE;
    }
    return code;
  }

  SMBCCTX* context_ = nullptr;
  std::string authFile_;  // where the credentials are read at each logon
  std::string domain_;
  std::string key_;
  bool kerberos_ = false;
};

// The sessions of the computers a run reaches, by computer and credentials.
// One that failed an open is dropped, so the next try starts clean; one
// unused for kIdle is closed.
class SessionPool {
 public:
  static constexpr auto kIdle = std::chrono::minutes(2);
  static constexpr size_t kMaxSessions = 64;

  DWORD Get(const std::string& computer, std::shared_ptr<Session>& out) {
    auto fresh = std::make_shared<Session>();
    if (const DWORD status = fresh->Start(computer); status != ERROR_SUCCESS) return status;
    std::vector<std::shared_ptr<Session>> closing;  // freed outside our lock
    std::lock_guard<std::mutex> guard(mutex_);
    const auto now = std::chrono::steady_clock::now();
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (now - it->second.used > kIdle || (sessions_.size() >= kMaxSessions && it->first != fresh->key())) {
        closing.push_back(std::move(it->second.session));
        it = sessions_.erase(it);
      } else {
        ++it;
      }
    }
    Entry& entry = sessions_[fresh->key()];
    if (entry.session == nullptr) {
      if (const DWORD status = fresh->Open(); status != ERROR_SUCCESS) {
        sessions_.erase(fresh->key());
        return status;
      }
      entry.session = std::move(fresh);
    }
    entry.used = now;
    out = entry.session;
    return ERROR_SUCCESS;
  }

  void Clear() {
    std::unordered_map<std::string, Entry> closing;
    std::lock_guard<std::mutex> guard(mutex_);
    closing.swap(sessions_);
  }

  void Drop(const std::shared_ptr<Session>& session) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (auto it = sessions_.find(session->key()); it != sessions_.end() && it->second.session == session) {
      sessions_.erase(it);
    }
  }

 private:
  struct Entry {
    std::shared_ptr<Session> session;
    std::chrono::steady_clock::time_point used;
  };
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> sessions_;
};

SessionPool& Sessions() {
  static SessionPool* pool = new SessionPool();  // lives as long as the process
  return *pool;
}

// An open through a pooled session failed: the session goes, so that the
// next try starts clean, and the failure becomes its code. `path` begins
// with the share.
DWORD Refused(const std::shared_ptr<Session>& session, int error, const std::string& computer,
              std::string_view path) {
  Sessions().Drop(session);
  return session->OpenFailure(error, computer, path.substr(0, path.find_first_of("\\/")));
}

class Pipe final : public rpc::Transport {
 public:
  Pipe(std::shared_ptr<Session> session, SMBCFILE* file) : session_(std::move(session)), file_(file) {}
  ~Pipe() override {
    auto hold = Hold();
    smbc_getFunctionClose(session_->context())(session_->context(), file_);
  }

  DWORD Write(std::span<const uint8_t> bytes) override {
    SMBCCTX* context = session_->context();
    size_t done = 0;
    auto hold = Hold();
    while (done < bytes.size()) {
      const ssize_t wrote = smbc_getFunctionWrite(context)(context, file_, bytes.data() + done, bytes.size() - done);
      if (wrote <= 0) return wrote < 0 ? ErrorFromErrno(errno) : static_cast<DWORD>(rpc::RPC_S_CALL_FAILED);
      done += static_cast<size_t>(wrote);
    }
    return ERROR_SUCCESS;
  }

  DWORD Read(void* out, size_t size) override {
    SMBCCTX* context = session_->context();
    auto* bytes = static_cast<uint8_t*>(out);
    size_t done = 0;
    auto hold = Hold();
    while (done < size) {
      const ssize_t got = smbc_getFunctionRead(context)(context, file_, bytes + done, size - done);
      if (got <= 0) return got < 0 ? ErrorFromErrno(errno) : static_cast<DWORD>(rpc::RPC_S_CALL_FAILED);
      done += static_cast<size_t>(got);
    }
    return ERROR_SUCCESS;
  }

 private:
  std::shared_ptr<Session> session_;
  SMBCFILE* file_;
};

}  // namespace

Credentials::~Credentials() {
  Wipe(password);
  Wipe(user);
}

bool LiveNetwork() { return CurrentRoots().live; }

DWORD ReadAuthFile(const std::string& path, Credentials& out, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    why = "cannot read the authentication file " + path + ": " + std::strerror(errno);
    return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || (st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    ::close(fd);
    why = "the authentication file " + path + " is readable by others than its owner; chmod 600 it";
    return ERROR_ACCESS_DENIED;
  }
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536;) {
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  std::istringstream lines(text);
  Wipe(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = FoldCase(Trim(std::string_view(line).substr(0, equals)));
    std::string value = Trim(std::string_view(line).substr(equals + 1));
    if (name == "username") out.user = std::move(value);
    if (name == "password") out.password = std::move(value);
    if (name == "domain") out.domain = std::move(value);
    Wipe(line);
  }
  return ERROR_SUCCESS;
}

std::string LmhostsAddress(std::string_view name) {
  std::ifstream in(MachineFolder() + "/lmhosts");
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string address, host;
    if (!(fields >> address >> host) || address[0] == '#') continue;
    if (EqualsIgnoreCase(host, name)) return address;
  }
  return {};
}

DWORD OpenPipe(const std::string& computer, std::string_view pipe, std::unique_ptr<rpc::Transport>& out) {
  std::shared_ptr<Session> session;
  if (const DWORD status = Sessions().Get(computer, session); status != ERROR_SUCCESS) return status;
  SMBCCTX* context = session->context();
  std::string path = "IPC$\\";
  path += pipe;
  SMBCFILE* file = nullptr;
  int error = 0;
  {
    auto hold = Hold();
    file = smbc_getFunctionOpen(context)(context, session->UrlOf(computer, path).c_str(), O_RDWR, 0);
    error = errno;
  }
  if (file == nullptr) return Refused(session, error, computer, path);
  out = std::make_unique<Pipe>(std::move(session), file);
  return ERROR_SUCCESS;
}

DWORD StatShareFile(const std::string& computer, std::string_view path, int64_t& modified, uint64_t& size) {
  std::shared_ptr<Session> session;
  if (const DWORD status = Sessions().Get(computer, session); status != ERROR_SUCCESS) return status;
  SMBCCTX* context = session->context();
  const std::string url = session->UrlOf(computer, path);
  struct stat st;
  int failed = 0;
  {
    auto hold = Hold();
    if (smbc_getFunctionStat(context)(context, url.c_str(), &st) != 0) failed = errno != 0 ? errno : EIO;
  }
  if (failed != 0) return Refused(session, failed, computer, path);
  if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
  modified = st.st_mtime;
  size = static_cast<uint64_t>(st.st_size);
  return ERROR_SUCCESS;
}

DWORD ReadShareFile(const std::string& computer, std::string_view path, size_t limit, std::vector<uint8_t>& bytes,
                    int64_t* modified) {
  std::shared_ptr<Session> session;
  if (const DWORD status = Sessions().Get(computer, session); status != ERROR_SUCCESS) return status;
  SMBCCTX* context = session->context();
  const std::string url = session->UrlOf(computer, path);
  auto hold = Hold();
  SMBCFILE* file = smbc_getFunctionOpen(context)(context, url.c_str(), O_RDONLY, 0);
  if (file == nullptr) {
    const int error = errno;
    hold.unlock();
    return Refused(session, error, computer, path);
  }
  DWORD status = ERROR_SUCCESS;
  struct stat st;
  if (smbc_getFunctionFstat(context)(context, file, &st) != 0) {
    status = ErrorFromErrno(errno);
  } else if (S_ISDIR(st.st_mode)) {
    status = ERROR_ACCESS_DENIED;
  } else if (static_cast<uint64_t>(st.st_size) > limit) {
    status = ERROR_NOT_ENOUGH_MEMORY;
  } else {
    if (modified != nullptr) *modified = st.st_mtime;
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = smbc_getFunctionRead(context)(context, file, bytes.data() + done, bytes.size() - done);
      if (got <= 0) {
        status = got < 0 ? ErrorFromErrno(errno) : static_cast<DWORD>(ERROR_HANDLE_EOF);
        break;
      }
      done += static_cast<size_t>(got);
    }
  }
  smbc_getFunctionClose(context)(context, file);
  return status;
}

uint64_t SessionsStarted() { return sessionsStarted.load(std::memory_order_relaxed); }

void CloseSessions() { Sessions().Clear(); }

}  // namespace platform::smb

namespace platform::smb {

DWORD ListServers(std::string workgroup, std::vector<ListedServer>& servers) {
  constexpr DWORD kNoBrowserServersFound = 6118;
  Session session;
  DWORD status = session.Start("");
  if (status == ERROR_SUCCESS) status = session.Open(true);
  if (status != ERROR_SUCCESS) return status;
  SMBCCTX* context = session.context();
  if (workgroup.empty()) workgroup = session.domain();
  if (workgroup.empty() && smbc_getWorkgroup(context) != nullptr) workgroup = smbc_getWorkgroup(context);
  if (workgroup.empty()) return kNoBrowserServersFound;
  std::string url = "smb://";
  AppendEscaped(url, workgroup);
  url += '/';
  auto hold = Hold();
  SMBCFILE* dir = smbc_getFunctionOpendir(context)(context, url.c_str());
  if (dir == nullptr) return kNoBrowserServersFound;
  while (const smbc_dirent* entry = smbc_getFunctionReaddir(context)(context, dir)) {
    if (entry->smbc_type != SMBC_SERVER) continue;
    servers.push_back({entry->name, entry->comment != nullptr ? entry->comment : ""});
  }
  smbc_getFunctionClosedir(context)(context, dir);
  return ERROR_SUCCESS;
}

}  // namespace platform::smb
