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

  // Null with ERROR_FILE_NOT_FOUND when no such semaphore exists.
  virtual HANDLE OpenSemaphore(DWORD access, BOOL inherit, const char* name) = 0;
  // An existing name gives a handle with ERROR_ALREADY_EXISTS, as on Windows.
  virtual HANDLE CreateSemaphore(void* security, LONG initialCount, LONG maximumCount,
                                 const char* name) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;

  static ThreadsService& Default();
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
// Ends the calling thread, which CreateThread must have started, with
// `exitCode`; the thread's stack is unwound.
[[noreturn]] void ExitThread(DWORD exitCode);

HANDLE OpenSemaphoreA(DWORD access, BOOL inherit, const char* name);
HANDLE CreateSemaphoreA(void* security, LONG initialCount, LONG maximumCount, const char* name);
BOOL CloseHandle(HANDLE handle);
