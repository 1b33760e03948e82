// Child processes of tests: our programs, run as a user or a scheduler would
// with their output captured, and the servers and tools of the fixtures.
// Each is waited for, or killed, by its process id.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_machine.h"

namespace testing_support {

// Starts argv[0] with standard input, output and errors redirected; the
// program runs only if `prepare`, run in the child first, succeeds.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& input, const std::string& output,
                   const std::string& errors, const std::function<bool()>& prepare = {}) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::dup2(::open(input.c_str(), O_RDONLY), 0);
  ::dup2(::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
  ::dup2(errors == output ? 1 : ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
  if (prepare && !prepare()) ::_exit(126);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

// The exit status (128 + the signal that ended it); -1 when not ended in time.
inline int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (int status = 0; std::chrono::steady_clock::now() < deadline;) {
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

inline void Kill(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

// As WaitFor, and a child that did not end in time is killed.
inline int WaitOrKill(pid_t pid, std::chrono::milliseconds limit) {
  const int status = WaitFor(pid, limit);
  if (status < 0) Kill(pid);
  return status;
}

// A tool's exit status, its output and errors into `output`; -1 when it
// could not start or did not end in time.
inline int Run(const std::vector<std::string>& argv, const std::string& input = "/dev/null",
               const std::string& output = "/dev/null", std::chrono::milliseconds limit = std::chrono::minutes(1),
               const std::function<bool()>& prepare = {}) {
  const pid_t pid = Spawn(argv, input, output, output, prepare);
  return pid < 0 ? -1 : WaitOrKill(pid, limit);
}

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
  const std::string base = folder + "/child" + std::to_string(++counter);
  Child child{-1, base + ".out", base + ".err"};
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  child.pid = Spawn(argv, "/dev/null", child.out, child.err, [&] {
    for (const std::string& assignment : extraEnv) ::putenv(const_cast<char*>(assignment.c_str()));
    return true;
  });
  return child;
}

inline int WaitFor(const Child& child, std::chrono::milliseconds limit) { return WaitFor(child.pid, limit); }
inline void Kill(const Child& child) { Kill(child.pid); }

// True once some process has `fifo` open for reading: opening its writing
// end without blocking succeeds only then.
inline bool HasReader(const std::string& fifo, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) {
      ::close(fd);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace testing_support
