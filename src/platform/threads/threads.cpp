#include "platform/threads/threads.h"

#include <limits.h>
#include <stdlib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/files/paths.h"

namespace platform {
namespace {

// Every live handle, so that a stale or foreign one is refused.
std::mutex handleMutex;
std::unordered_set<KernelObject*> liveHandles;

// What a thread and its handles share; it outlives whichever ends last.
struct ThreadState {
  std::mutex mutex;
  std::condition_variable ended;
  bool finished = false;
  DWORD exitCode = STILL_ACTIVE;
  std::atomic<bool> terminated{false};
  // Held while the thread changes shared state; permits nest, so a change
  // made of several steps holds one permit across all of them.
  std::recursive_timed_mutex effects;
};

class ThreadObject final : public KernelObject {
 public:
  explicit ThreadObject(std::shared_ptr<ThreadState> state) : state_(std::move(state)) {}
  ThreadState& state() { return *state_; }

 private:
  std::shared_ptr<ThreadState> state_;
};

thread_local ThreadState* currentThread = nullptr;

// A child process. Its status is collected once; a handle closed while the
// process runs leaves a reaper behind, so no zombie outlives it.
class ProcessObject final : public KernelObject {
 public:
  explicit ProcessObject(pid_t pid) : pid_(pid) {}
  ~ProcessObject() override {
    if (!Poll()) {
      const pid_t pid = pid_;
      std::thread([pid] {
        int status = 0;
        ::waitpid(pid, &status, 0);
      }).detach();
    }
  }
  pid_t pid() const { return pid_; }
  // True once the process has ended; its exit code is then known.
  bool Poll() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      ended_ = true;
      exitCode_ = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status)) : forcedCode_;
    }
    return ended_;
  }
  DWORD exitCode() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_ ? exitCode_ : static_cast<DWORD>(STILL_ACTIVE);
  }
  void SetForcedCode(DWORD code) {
    std::lock_guard<std::mutex> lock(mutex_);
    forcedCode_ = code;
  }

 private:
  pid_t pid_;
  std::mutex mutex_;
  bool ended_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
  DWORD forcedCode_ = 1;
};

// The thread handle of a started process: nothing to do with it but close.
class ProcessThreadObject final : public KernelObject {};

// Splits a command line at blanks, double quotes grouping.
std::vector<std::string> SplitCommandLine(const char* line) {
  std::vector<std::string> words;
  if (line == nullptr) return words;
  std::string word;
  bool quoted = false;
  bool inWord = false;
  for (const char* p = line; *p != '\0'; ++p) {
    if (*p == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (*p == ' ' || *p == '\t')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += *p;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}
std::atomic<DWORD> nextThreadId{1000};

// Thrown by ExitThread and caught where the thread began, so the stack
// unwinds as a return would.
struct ThreadExit {
  DWORD code;
};

// The first ending counts: a thread that runs out after its termination
// keeps the termination's exit code.
void Finish(ThreadState& state, DWORD code) {
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.finished) return;
  state.finished = true;
  state.exitCode = code;
  state.ended.notify_all();
}

// How long a termination waits for a change under way (a commit, say).
constexpr auto kTerminationGrace = std::chrono::seconds(5);

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
  HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, void* parameter, DWORD,
                      DWORD* threadId) override {
    if (start == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    auto state = std::make_shared<ThreadState>();
    const DWORD id = nextThreadId++;
    try {
      std::thread([state, start, parameter] {
        currentThread = state.get();
        DWORD code = 0;
        try {
          code = start(parameter);
        } catch (const ThreadExit& exit) {
          code = exit.code;
        }
        Finish(*state, code);
      }).detach();
    } catch (const std::system_error&) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    if (threadId != nullptr) *threadId = id;
    return RegisterHandle(new ThreadObject(std::move(state)));
  }

  DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override {
    if (auto* process = dynamic_cast<ProcessObject*>(LookupHandle(object))) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
      while (!process->Poll()) {
        if (milliseconds != INFINITE && std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      return WAIT_OBJECT_0;
    }
    auto* thread = dynamic_cast<ThreadObject*>(LookupHandle(object));
    if (thread == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    ThreadState& state = thread->state();
    std::unique_lock<std::mutex> lock(state.mutex);
    if (milliseconds == INFINITE) {
      state.ended.wait(lock, [&] { return state.finished; });
      return WAIT_OBJECT_0;
    }
    const bool done = state.ended.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                           [&] { return state.finished; });
    return done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }

  BOOL TerminateThread(HANDLE handle, DWORD exitCode) override {
    auto* thread = dynamic_cast<ThreadObject*>(LookupHandle(handle));
    if (thread == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    ThreadState& state = thread->state();
    state.terminated = true;
    // From here on no new change is permitted; let one under way land.
    if (state.effects.try_lock_for(kTerminationGrace)) state.effects.unlock();
    Finish(state, exitCode);
    return TRUE;
  }

  BOOL GetExitCodeThread(HANDLE handle, DWORD* exitCode) override {
    auto* thread = dynamic_cast<ThreadObject*>(LookupHandle(handle));
    if (thread == nullptr || exitCode == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    std::lock_guard<std::mutex> lock(thread->state().mutex);
    *exitCode = thread->state().exitCode;
    return TRUE;
  }

  void Sleep(DWORD milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  BOOL CreateProcess(const char* applicationName, char* commandLine, void*, void*, BOOL, DWORD, void*,
                     const char* currentDirectory, STARTUPINFOA*, PROCESS_INFORMATION* info) override {
    std::vector<std::string> words = SplitCommandLine(commandLine);
    std::string program = applicationName != nullptr ? applicationName : (words.empty() ? "" : words[0]);
    if (program.empty() || info == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const std::string host = MapPath(program);
    if (words.empty()) words.push_back(host);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv[0] = const_cast<char*>(host.c_str());
    argv.push_back(nullptr);
    // A folder of our own for the child, when asked for; the caller's
    // otherwise.
    const std::string folder = currentDirectory != nullptr ? MapPath(currentDirectory) : std::string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, host.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
      SetLastError(error == ENOENT || error == ENOTDIR ? ERROR_FILE_NOT_FOUND
                   : error == ENOEXEC                  ? ERROR_BAD_EXE_FORMAT
                                                       : ERROR_ACCESS_DENIED);
      return FALSE;
    }
    info->hProcess = RegisterHandle(new ProcessObject(pid));
    info->hThread = RegisterHandle(new ProcessThreadObject());
    info->dwProcessId = static_cast<DWORD>(pid);
    info->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
  }

  BOOL GetExitCodeProcess(HANDLE handle, DWORD* exitCode) override {
    auto* process = dynamic_cast<ProcessObject*>(LookupHandle(handle));
    if (process == nullptr || exitCode == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    process->Poll();
    *exitCode = process->exitCode();
    return TRUE;
  }

  BOOL TerminateProcess(HANDLE handle, UINT exitCode) override {
    auto* process = dynamic_cast<ProcessObject*>(LookupHandle(handle));
    if (process == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (process->Poll()) return TRUE;  // already ended
    process->SetForcedCode(exitCode);
    // Windows ends it at once, without asking.
    if (::kill(process->pid(), SIGKILL) != 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    return TRUE;
  }

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
    return RegisterHandle(new NamedMarker(-1));
  }

  HANDLE CreateSemaphore(void*, LONG, LONG, const char* name) override {
    if (name == nullptr) return RegisterHandle(new NamedMarker(-1));  // unnamed: nothing to mark
    const int fd = BindName(name);
    if (fd >= 0) {
      SetLastError(ERROR_SUCCESS);
      return RegisterHandle(new NamedMarker(fd));
    }
    if (errno == EADDRINUSE) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return RegisterHandle(new NamedMarker(-1));
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }

  BOOL CloseHandle(HANDLE handle) override {
    KernelObject* object = nullptr;
    {
      std::lock_guard<std::mutex> lock(handleMutex);
      auto it = liveHandles.find(static_cast<KernelObject*>(handle));
      if (it != liveHandles.end()) {
        object = *it;
        liveHandles.erase(it);
      }
    }
    if (object == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    delete object;
    return TRUE;
  }
};

}  // namespace

HANDLE RegisterHandle(KernelObject* object) {
  std::lock_guard<std::mutex> lock(handleMutex);
  liveHandles.insert(object);
  return object;
}

KernelObject* LookupHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(handleMutex);
  auto it = liveHandles.find(static_cast<KernelObject*>(handle));
  return it != liveHandles.end() ? *it : nullptr;
}

SideEffectPermit::SideEffectPermit() : state_(currentThread), granted_(true) {
  if (state_ == nullptr) return;
  auto* state = static_cast<ThreadState*>(state_);
  state->effects.lock();
  if (state->terminated) {
    state->effects.unlock();
    granted_ = false;
  }
}

SideEffectPermit::~SideEffectPermit() {
  if (state_ != nullptr && granted_) static_cast<ThreadState*>(state_)->effects.unlock();
}

bool CurrentThreadTerminated() { return currentThread != nullptr && currentThread->terminated; }

ThreadsService& ThreadsService::Default() {
  static PosixThreads* threads = new PosixThreads();
  return *threads;
}

}  // namespace platform

using platform::Slot;
using platform::ThreadsService;

HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD flags, DWORD* threadId) {
  return Slot<ThreadsService>::Current().CreateThread(security, stackSize, start, parameter, flags,
                                                      threadId);
}
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return Slot<ThreadsService>::Current().WaitForSingleObject(object, milliseconds);
}
BOOL TerminateThread(HANDLE thread, DWORD exitCode) {
  return Slot<ThreadsService>::Current().TerminateThread(thread, exitCode);
}
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
  return Slot<ThreadsService>::Current().GetExitCodeThread(thread, exitCode);
}
void Sleep(DWORD milliseconds) { Slot<ThreadsService>::Current().Sleep(milliseconds); }
BOOL CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                    void* threadAttributes, BOOL inheritHandles, DWORD creationFlags, void* environment,
                    const char* currentDirectory, STARTUPINFOA* startupInfo,
                    PROCESS_INFORMATION* processInformation) {
  return Slot<ThreadsService>::Current().CreateProcess(applicationName, commandLine, processAttributes,
                                                       threadAttributes, inheritHandles, creationFlags,
                                                       environment, currentDirectory, startupInfo,
                                                       processInformation);
}
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
  return Slot<ThreadsService>::Current().GetExitCodeProcess(process, exitCode);
}
BOOL TerminateProcess(HANDLE process, UINT exitCode) {
  return Slot<ThreadsService>::Current().TerminateProcess(process, exitCode);
}
[[noreturn]] void ExitThread(DWORD exitCode) { throw platform::ThreadExit{exitCode}; }

HANDLE OpenSemaphoreA(DWORD access, BOOL inherit, const char* name) {
  return Slot<ThreadsService>::Current().OpenSemaphore(access, inherit, name);
}
HANDLE CreateSemaphoreA(void* security, LONG initialCount, LONG maximumCount, const char* name) {
  return Slot<ThreadsService>::Current().CreateSemaphore(security, initialCount, maximumCount,
                                                         name);
}
BOOL CloseHandle(HANDLE handle) { return Slot<ThreadsService>::Current().CloseHandle(handle); }
