// Threads, processes and synchronisation.
//
// Handles are kernel objects of ours: CloseHandle releases any of them.
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

class ThreadsService {
 public:
  virtual ~ThreadsService() = default;

  // Null with ERROR_FILE_NOT_FOUND when no such semaphore exists.
  virtual HANDLE OpenSemaphore(DWORD access, BOOL inherit, const char* name) = 0;
  // An existing name gives a handle with ERROR_ALREADY_EXISTS, as on Windows.
  virtual HANDLE CreateSemaphore(void* security, LONG initialCount, LONG maximumCount,
                                 const char* name) = 0;
  virtual BOOL CloseHandle(HANDLE handle) = 0;

  static ThreadsService& Default();
};

}  // namespace platform

HANDLE OpenSemaphoreA(DWORD access, BOOL inherit, const char* name);
HANDLE CreateSemaphoreA(void* security, LONG initialCount, LONG maximumCount, const char* name);
BOOL CloseHandle(HANDLE handle);
