// A lock on one byte of a lock file, shared by every process of this host
// that names the same file and byte. It is an open-file-description lock, so
// the kernel drops it when the holder closes the file or dies: a crashed
// holder never blocks the next one, and two threads of one process exclude
// each other as two processes do.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class RangeLock {
 public:
  RangeLock() = default;
  ~RangeLock() { Release(); }
  RangeLock(const RangeLock&) = delete;
  RangeLock& operator=(const RangeLock&) = delete;

  enum class Result { kLocked, kBusy, kFailed };
  // Creates the file when missing (mode 0600). kFailed leaves errno set.
  Result TryLock(const std::string& path, uint64_t byte);
  void Release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace platform
