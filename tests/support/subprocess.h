// Runs one of our programs as a child process, as a user or a scheduler
// would, with its own environment and its output captured.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

struct Child {
  pid_t pid = -1;
  std::string out;  // capture files
  std::string err;
};

// Starts `program` with `arguments` and the current environment plus
// `extraEnv` ("NAME=value"); output goes to files under `folder`.
inline Child Start(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& folder, const std::vector<std::string>& extraEnv = {}) {
  static int counter = 0;
  Child child;
  child.out = folder + "/child" + std::to_string(++counter) + ".out";
  child.err = folder + "/child" + std::to_string(counter) + ".err";
  child.pid = ::fork();
  if (child.pid == 0) {
    const int out = ::open(child.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(child.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int none = ::open("/dev/null", O_RDONLY);
    ::dup2(none, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    for (const std::string& assignment : extraEnv) ::putenv(const_cast<char*>(assignment.c_str()));
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return child;
}

// The exit status, or -1 when the child did not end within `limit`.
inline int WaitFor(const Child& child, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    const pid_t done = ::waitpid(child.pid, &status, WNOHANG);
    if (done == child.pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

// The exit code of a child that ended within `limit`; -1 when it was
// killed by a signal, or had to be killed because it did not end in time.
inline int WaitOrKill(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) != pid) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline void Kill(const Child& child) {
  ::kill(child.pid, SIGKILL);
  int status = 0;
  ::waitpid(child.pid, &status, 0);
}

// True once some process has `fifo` open for reading: opening its writing
// end without blocking succeeds only then.
inline bool HasReader(const std::string& fifo, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) {
      ::close(fd);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace testing_support
