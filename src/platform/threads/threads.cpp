#include "platform/threads/threads.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/base/last_error.h"
#include "platform/files/paths.h"

namespace platform {
namespace {

// The abstract socket address for a semaphore name on this computer. The
// machine folder is hashed because the address holds at most 107 bytes.
sockaddr_un SemaphoreAddress(const char* name, socklen_t& length) {
  std::string folder = MachineFolder();
  char resolved[PATH_MAX];
  if (::realpath(folder.c_str(), resolved) != nullptr) folder = resolved;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : folder) hash = (hash ^ c) * 1099511628211ull;
  char text[sizeof(sockaddr_un::sun_path)];
  std::snprintf(text, sizeof text, "corvid/%016llx/%.64s", static_cast<unsigned long long>(hash),
                name);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t n = std::strlen(text);
  std::memcpy(address.sun_path + 1, text, n);  // leading NUL: abstract namespace
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
  return address;
}

// A named semaphore: the socket that holds its name.
class NamedMarker final : public KernelObject {
 public:
  explicit NamedMarker(int fd) : fd_(fd) {}
  ~NamedMarker() override {
    if (fd_ >= 0) ::close(fd_);
  }

 private:
  int fd_;
};

HANDLE ToHandle(KernelObject* object) { return object; }

// Binds the name on a new socket; -1 with errno when that fails.
int BindName(const char* name) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  socklen_t length = 0;
  const sockaddr_un address = SemaphoreAddress(name, length);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

class PosixThreads final : public ThreadsService {
 public:
  HANDLE OpenSemaphore(DWORD, BOOL, const char* name) override {
    if (name == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    // A probe bind: it succeeds only when nobody holds the name, and the
    // probe lets go of it at once.
    const int fd = BindName(name);
    if (fd >= 0) {
      ::close(fd);
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    if (errno != EADDRINUSE) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    return ToHandle(new NamedMarker(-1));
  }

  HANDLE CreateSemaphore(void*, LONG, LONG, const char* name) override {
    if (name == nullptr) return ToHandle(new NamedMarker(-1));  // unnamed: nothing to mark
    const int fd = BindName(name);
    if (fd >= 0) {
      SetLastError(ERROR_SUCCESS);
      return ToHandle(new NamedMarker(fd));
    }
    if (errno == EADDRINUSE) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return ToHandle(new NamedMarker(-1));
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }

  BOOL CloseHandle(HANDLE handle) override {
    if (handle == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    delete static_cast<KernelObject*>(handle);
    return TRUE;
  }
};

}  // namespace

ThreadsService& ThreadsService::Default() {
  static PosixThreads* threads = new PosixThreads();
  return *threads;
}

}  // namespace platform

using platform::Slot;
using platform::ThreadsService;

HANDLE OpenSemaphoreA(DWORD access, BOOL inherit, const char* name) {
  return Slot<ThreadsService>::Current().OpenSemaphore(access, inherit, name);
}
HANDLE CreateSemaphoreA(void* security, LONG initialCount, LONG maximumCount, const char* name) {
  return Slot<ThreadsService>::Current().CreateSemaphore(security, initialCount, maximumCount,
                                                         name);
}
BOOL CloseHandle(HANDLE handle) { return Slot<ThreadsService>::Current().CloseHandle(handle); }
