#include "platform/files/range_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

RangeLock::Result RangeLock::TryLock(const std::string& path, uint64_t byte) {
  Release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Result::kFailed;
  struct flock range = {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(byte);
  range.l_len = 1;
  int status;
  while ((status = ::fcntl(fd, F_OFD_SETLK, &range)) != 0 && errno == EINTR) {
  }
  if (status == 0) {
    fd_ = fd;
    return Result::kLocked;
  }
  const int error = errno;
  ::close(fd);
  errno = error;
  return error == EAGAIN || error == EACCES ? Result::kBusy : Result::kFailed;
}

void RangeLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace platform
