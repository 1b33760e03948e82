// Threads, processes and synchronisation.
//
// Handles are kernel objects of ours: CloseHandle releases any of them, and
// a handle that is not (or no longer) one of ours is refused, not followed.
// A named semaphore marks a running instance; in its place stands a name in
// the kernel's abstract socket namespace, bound for as long as the handle is
// open, so the kernel drops it when the process ends, even by a crash, and
// it never leaves a file behind. The name is qualified by this computer's
// machine folder, so two machine folders are two computers.
// Failures return null and leave the reason in GetLastError().
#pragma once

#include "platform/base/service.h"
#include "platform/base/win32.h"

namespace platform {

// Base of every object a HANDLE points to.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

typedef DWORD (*LPTHREAD_START_ROUTINE)(void* parameter);

}  // namespace platform

struct STARTUPINFOA {
  DWORD cb;
  char* lpReserved;
  char* lpDesktop;
  char* lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

enum : DWORD { NORMAL_PRIORITY_CLASS = 0x00000020 };

namespace platform {

class ThreadsService {
 public:
  virtual ~ThreadsService() = default;

  // Starts `start(parameter)` at once on a new thread; the handle is
  // signalled when it ends. Closing the handle does not stop the thread.
  virtual HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                              void* parameter, DWORD flags, DWORD* threadId) = 0;
  // WAIT_OBJECT_0 when the object is signalled within `milliseconds`
  // (INFINITE waits for ever), WAIT_TIMEOUT otherwise, WAIT_FAILED for a
  // handle that cannot be waited on.
  virtual DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) = 0;
  // The stand-in for killing a thread, which Linux cannot do safely: from
  // the moment it returns, the thread is cut off from every shared effect
  // (see SideEffectPermit), its handle is signalled with `exitCode`, and the
  // thread itself is left to run out or to end with the process. It waits
  // for a side effect already under way to finish, at most a few seconds.
  virtual BOOL TerminateThread(HANDLE thread, DWORD exitCode) = 0;
  virtual BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) = 0;
  virtual void Sleep(DWORD milliseconds) = 0;

  // Starts a program: `applicationName` is a Windows path to it (mapped to
  // the host), `commandLine` its arguments as one line, the program first
  // (blanks separate, double quotes group). The handle is waitable and is
  // signalled when the process ends; closing it does not end the process.
  // ERROR_FILE_NOT_FOUND for a missing program, ERROR_ACCESS_DENIED for one
  // that may not run, ERROR_BAD_EXE_FORMAT for one that is no program.
  virtual BOOL CreateProcess(const char* applicationName, char* commandLine, void* processAttributes,
                             void* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                             void* environment, const char* currentDirectory, STARTUPINFOA* startupInfo,
                             PROCESS_INFORMATION* processInformation) = 0;
  // STILL_ACTIVE while it runs.
  virtual BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) = 0;
  virtual BOOL TerminateProcess(HANDLE process, UINT exitCode) = 0;

  // Null with ERROR_FILE_NOT_FOUND when no such semaphore exists.
  virtual HANDLE OpenSemaphore(DWORD access, BOOL inherit, const char* name) = 0;
  // An existing name gives a handle with ERROR_ALREADY_EXISTS, as on Windows.
  virtual HANDLE CreateSemaphore(void* security, LONG initialCount, LONG maximumCount,
                                 const char* name) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;

  static ThreadsService& Default();
};

// Forwards every call to a target; a fake overrides only what it changes.
class ThreadsWrapper : public ThreadsService {
 public:
  explicit ThreadsWrapper(ThreadsService& target = ThreadsService::Default()) : target_(target) {}
  HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
                      DWORD flags, DWORD* threadId) override {
    return target_.CreateThread(security, stackSize, start, parameter, flags, threadId);
  }
  DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) override {
    return target_.WaitForSingleObject(object, milliseconds);
  }
  BOOL TerminateThread(HANDLE thread, DWORD exitCode) override { return target_.TerminateThread(thread, exitCode); }
  BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) override {
    return target_.GetExitCodeThread(thread, exitCode);
  }
  void Sleep(DWORD milliseconds) override { target_.Sleep(milliseconds); }
  BOOL CreateProcess(const char* applicationName, char* commandLine, void* processAttributes,
                     void* threadAttributes, BOOL inheritHandles, DWORD creationFlags, void* environment,
                     const char* currentDirectory, STARTUPINFOA* startupInfo,
                     PROCESS_INFORMATION* processInformation) override {
    return target_.CreateProcess(applicationName, commandLine, processAttributes, threadAttributes,
                                 inheritHandles, creationFlags, environment, currentDirectory, startupInfo,
                                 processInformation);
  }
  BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) override {
    return target_.GetExitCodeProcess(process, exitCode);
  }
  BOOL TerminateProcess(HANDLE process, UINT exitCode) override {
    return target_.TerminateProcess(process, exitCode);
  }
  HANDLE OpenSemaphore(DWORD access, BOOL inherit, const char* name) override {
    return target_.OpenSemaphore(access, inherit, name);
  }
  HANDLE CreateSemaphore(void* security, LONG initialCount, LONG maximumCount, const char* name) override {
    return target_.CreateSemaphore(security, initialCount, maximumCount, name);
  }
  BOOL CloseHandle(HANDLE handle) override { return target_.CloseHandle(handle); }

 private:
  ThreadsService& target_;
};

// A thread's permission to change what other threads see (the computer
// list, the database). Held for the scope of one change; a terminated
// thread is refused, and TerminateThread waits for a change under way, so
// no change of a terminated thread lands after its termination. Threads
// that CreateThread did not start are always permitted.
class SideEffectPermit {
 public:
  SideEffectPermit();
  ~SideEffectPermit();
  SideEffectPermit(const SideEffectPermit&) = delete;
  SideEffectPermit& operator=(const SideEffectPermit&) = delete;
  explicit operator bool() const { return granted_; }

 private:
  void* state_;
  bool granted_;
};

// True when the calling thread was terminated: it should stop at once.
bool CurrentThreadTerminated();

// Handle bookkeeping for every service that hands out kernel objects.
HANDLE RegisterHandle(KernelObject* object);
KernelObject* LookupHandle(HANDLE handle);

}  // namespace platform

enum : DWORD {
  WAIT_OBJECT_0 = 0,
  WAIT_TIMEOUT = 258,
  WAIT_FAILED = 0xFFFFFFFF,
  INFINITE = 0xFFFFFFFF,
  STILL_ACTIVE = 259,
};

using platform::LPTHREAD_START_ROUTINE;

HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD flags, DWORD* threadId);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
BOOL TerminateThread(HANDLE thread, DWORD exitCode);
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
void Sleep(DWORD milliseconds);
BOOL CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                    void* threadAttributes, BOOL inheritHandles, DWORD creationFlags, void* environment,
                    const char* currentDirectory, STARTUPINFOA* startupInfo,
                    PROCESS_INFORMATION* processInformation);
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);
BOOL TerminateProcess(HANDLE process, UINT exitCode);
// Ends the calling thread, which CreateThread must have started, with
// `exitCode`; the thread's stack is unwound.
[[noreturn]] void ExitThread(DWORD exitCode);

HANDLE OpenSemaphoreA(DWORD access, BOOL inherit, const char* name);
HANDLE CreateSemaphoreA(void* security, LONG initialCount, LONG maximumCount, const char* name);
BOOL CloseHandle(HANDLE handle);
