#include "platform/eventlog/evt_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/base/text.h"

namespace platform::evt {
namespace {

constexpr size_t kWindowSize = 64 * 1024;
constexpr uint32_t kDefaultMaxSize = 0x80000;  // what a log without a readable header gets
constexpr uint32_t kSmallestMaxSize = 0x100;

uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

EVENTLOGRECORD FixedFrom(const uint8_t* p) {
  EVENTLOGRECORD r;
  r.Length = Get32(p + 0);
  r.Reserved = Get32(p + 4);
  r.RecordNumber = Get32(p + 8);
  r.TimeGenerated = Get32(p + 12);
  r.TimeWritten = Get32(p + 16);
  r.EventID = Get32(p + 20);
  r.EventType = Get16(p + 24);
  r.NumStrings = Get16(p + 26);
  r.EventCategory = Get16(p + 28);
  r.ReservedFlags = Get16(p + 30);
  r.ClosingRecordNumber = Get32(p + 32);
  r.StringOffset = Get32(p + 36);
  r.UserSidLength = Get32(p + 40);
  r.UserSidOffset = Get32(p + 44);
  r.DataLength = Get32(p + 48);
  r.DataOffset = Get32(p + 52);
  return r;
}

void PutFixed(uint8_t* p, const EVENTLOGRECORD& r) {
  Put32(p + 0, r.Length);
  Put32(p + 4, r.Reserved);
  Put32(p + 8, r.RecordNumber);
  Put32(p + 12, r.TimeGenerated);
  Put32(p + 16, r.TimeWritten);
  Put32(p + 20, r.EventID);
  Put16(p + 24, r.EventType);
  Put16(p + 26, r.NumStrings);
  Put16(p + 28, r.EventCategory);
  Put16(p + 30, r.ReservedFlags);
  Put32(p + 32, r.ClosingRecordNumber);
  Put32(p + 36, r.StringOffset);
  Put32(p + 40, r.UserSidLength);
  Put32(p + 44, r.UserSidOffset);
  Put32(p + 48, r.DataLength);
  Put32(p + 52, r.DataOffset);
}

struct EofRecord {
  uint32_t beginRecord = 0;
  uint32_t endRecord = 0;
  uint32_t currentRecordNumber = 0;
  uint32_t oldestRecordNumber = 0;
};

void PutEof(uint8_t* p, const EofRecord& eof) {
  Put32(p, kEofSize);
  for (int i = 0; i < 4; ++i) Put32(p + 4 + 4 * i, kEofMarks[i]);
  Put32(p + 20, eof.beginRecord);
  Put32(p + 24, eof.endRecord);
  Put32(p + 28, eof.currentRecordNumber);
  Put32(p + 32, eof.oldestRecordNumber);
  Put32(p + 36, kEofSize);
}

void PutHeader(uint8_t* p, const FileHeader& h) {
  Put32(p + 0, kHeaderSize);
  Put32(p + 4, kSignature);
  Put32(p + 8, 1);
  Put32(p + 12, 1);
  Put32(p + 16, h.startOffset);
  Put32(p + 20, h.endOffset);
  Put32(p + 24, h.currentRecordNumber);
  Put32(p + 28, h.oldestRecordNumber);
  Put32(p + 32, h.maxSize);
  Put32(p + 36, h.flags);
  Put32(p + 40, h.retention);
  Put32(p + 44, kHeaderSize);
}

// Positions in the circular area [kHeaderSize, fileSize).
uint32_t Advance(uint32_t fileSize, uint32_t at, uint64_t by) {
  const uint64_t ring = fileSize - kHeaderSize;
  return static_cast<uint32_t>(kHeaderSize + ((at - kHeaderSize) + by) % ring);
}
uint32_t Distance(uint32_t fileSize, uint32_t from, uint32_t to) {
  return to >= from ? to - from : (fileSize - kHeaderSize) - (from - to);
}
bool InRing(uint32_t fileSize, uint32_t offset) {
  return offset >= kHeaderSize && offset < fileSize;
}

// The cursor record at `offset`, if one is there and agrees with itself.
bool ReadEofAt(ByteSource& source, uint32_t fileSize, uint32_t offset, EofRecord& eof) {
  if (!InRing(fileSize, offset)) return false;
  uint8_t b[kEofSize];
  if (!ReadRing(source, fileSize, offset, b, sizeof b)) return false;
  if (Get32(b) != kEofSize || Get32(b + 36) != kEofSize) return false;
  for (int i = 0; i < 4; ++i) {
    if (Get32(b + 4 + 4 * i) != kEofMarks[i]) return false;
  }
  eof.beginRecord = Get32(b + 20);
  eof.endRecord = Get32(b + 24);
  eof.currentRecordNumber = Get32(b + 28);
  eof.oldestRecordNumber = Get32(b + 32);
  // The numbers are not checked: the walk goes by offsets, and a log whose
  // numbers disagree with its records still reads.
  return eof.endRecord == offset && InRing(fileSize, eof.beginRecord);
}

// Looks at every DWORD-aligned position of the circular area, beginning at
// `from` (where the stale header last saw the cursor, so the real one is
// usually close behind), and returns the first cursor record found.
bool ScanForEof(ByteSource& source, uint32_t fileSize, uint32_t from, uint32_t& found,
                EofRecord& eof) {
  const uint32_t ring = fileSize - kHeaderSize;
  std::vector<uint8_t> buffer;
  const auto scan = [&](uint32_t begin, uint32_t end) {
    for (uint32_t piece = begin; piece < end;) {
      const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kWindowSize, end - piece));
      const uint32_t size = std::min(count + 4, ring);
      buffer.resize(size);
      if (!ReadRing(source, fileSize, piece, buffer.data(), size)) return false;
      for (uint32_t i = 0; i < count; i += 4) {
        const bool candidate =
            i + 8 <= size ? Get32(&buffer[i]) == kEofSize && Get32(&buffer[i + 4]) == kEofMarks[0]
                          : true;
        if (candidate && ReadEofAt(source, fileSize, piece + i, eof)) {
          found = piece + i;
          return true;
        }
      }
      piece += count;
    }
    return false;
  };
  uint32_t start = from & ~3u;
  if (!InRing(fileSize, start)) start = kHeaderSize;
  return scan(start, fileSize) || scan(kHeaderSize, start);
}

bool PreadAll(int fd, void* out, size_t size, uint64_t offset) {
  auto* p = static_cast<uint8_t*>(out);
  while (size > 0) {
    const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool PwriteAll(int fd, const void* data, size_t size, uint64_t offset) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool WriteRing(int fd, uint32_t fileSize, uint32_t offset, const uint8_t* data, size_t size) {
  const size_t first = std::min<size_t>(size, fileSize - offset);
  if (!PwriteAll(fd, data, first, offset)) return false;
  return first == size || PwriteAll(fd, data + first, size - first, kHeaderSize);
}

DWORD WriteError() {
  return errno == ENOSPC || errno == EDQUOT ? static_cast<DWORD>(ERROR_DISK_FULL)
                                            : static_cast<DWORD>(ERROR_WRITE_FAULT);
}

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Opens `path` and locks it; when the file was replaced (cleared) while we
// waited, the lock is on a file nobody reads any more, so take the new one.
DWORD OpenLocked(const std::string& path, int flags, bool exclusive, Fd& out) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    out.Reset(fd);
    int status;
    do {
      status = ::flock(fd, exclusive ? LOCK_EX : LOCK_SH);
    } while (status != 0 && errno == EINTR);
    if (status != 0) return ERROR_ACCESS_DENIED;
    if (StillNamedBy(fd, path)) return ERROR_SUCCESS;
  }
  return ERROR_ACCESS_DENIED;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Writable as Windows means it: no read-only bit, whoever we run as.
bool Writable(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) != 0 &&
         ::access(path.c_str(), W_OK) == 0;
}

std::atomic<unsigned> tempCounter{0};

// Writes `bytes` to a new file beside `path` and renames it over `path`, so
// the path names the old file or the new one, never half of either.
DWORD ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string temp =
      path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(tempCounter.fetch_add(1));
  mode_t mode = 0644;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return ErrorFromErrno(errno);
  DWORD status = ERROR_SUCCESS;
  if (!PwriteAll(fd, bytes.data(), bytes.size(), 0) || ::fsync(fd) != 0) status = WriteError();
  if (::close(fd) != 0 && status == ERROR_SUCCESS) status = WriteError();
  if (status == ERROR_SUCCESS && ::rename(temp.c_str(), path.c_str()) != 0) {
    status = ErrorFromErrno(errno);
  }
  if (status != ERROR_SUCCESS) {
    ::unlink(temp.c_str());
    return status;
  }
  SyncFolder(FolderOf(path));
  return ERROR_SUCCESS;
}

std::vector<uint8_t> EmptyLogBytes(uint32_t maxSize, uint32_t retention) {
  std::vector<uint8_t> bytes(kHeaderSize + kEofSize);
  FileHeader h;
  h.startOffset = kHeaderSize;
  h.endOffset = kHeaderSize;
  h.currentRecordNumber = 1;
  h.oldestRecordNumber = 0;
  h.maxSize = maxSize;
  h.retention = retention;
  PutHeader(bytes.data(), h);
  PutEof(bytes.data() + kHeaderSize, EofRecord{kHeaderSize, kHeaderSize, 1, 0});
  return bytes;
}

DWORD CopyFileTo(int from, uint64_t size, const std::string& to) {
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (out.get() < 0)
    return errno == EEXIST ? static_cast<DWORD>(ERROR_ALREADY_EXISTS) : ErrorFromErrno(errno);
  std::vector<uint8_t> piece(kWindowSize);
  for (uint64_t at = 0; at < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), size - at));
    if (!PreadAll(from, piece.data(), n, at)) {
      ::unlink(to.c_str());
      return ERROR_READ_FAULT;
    }
    if (!PwriteAll(out.get(), piece.data(), n, at)) {
      const DWORD status = WriteError();
      ::unlink(to.c_str());
      return status;
    }
    at += n;
  }
  if (::fsync(out.get()) != 0) {
    ::unlink(to.c_str());
    return WriteError();
  }
  return ERROR_SUCCESS;
}

// The UTF-16 text of the record body at `pos`, converted to UTF-8 into
// what `room(n)` gives for its n bytes at most; `pos` moves past the
// terminator. Its length, or npos when no terminator comes before `end`.
template <class Room>
size_t TakeWideText(std::span<const uint8_t> bytes, uint32_t& pos, uint32_t end, Room room) {
  const size_t nul = FindUtf16Nul(bytes.data(), pos, end);
  if (nul >= end) return std::string_view::npos;
  const size_t length = Utf16leToUtf8(bytes.data() + pos, nul - pos, room((nul - pos) / 2 * 3));
  pos = static_cast<uint32_t>(nul + 2);
  return length;
}

// A NUL-terminated text of the record body at `pos`, which moves past the
// terminator; false when no terminator comes before `end`.
bool TakeText(std::span<const uint8_t> bytes, uint32_t& pos, uint32_t end, TextWidth width,
              std::string& out) {
  if (width == TextWidth::kUtf8) {
    for (uint32_t i = pos; i < end; ++i) {
      if (bytes[i] == 0) {
        out.assign(reinterpret_cast<const char*>(bytes.data() + pos), i - pos);
        pos = i + 1;
        return true;
      }
    }
    return false;
  }
  const size_t length = TakeWideText(bytes, pos, end, [&](size_t most) {
    out.resize(most);
    return out.data();
  });
  if (length == std::string_view::npos) return false;
  out.resize(length);
  return true;
}

void PutText(std::vector<uint8_t>& out, std::string_view text, TextWidth width) {
  text = text.substr(0, text.find('\0'));  // a C string ends at its first NUL
  if (width == TextWidth::kUtf8) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
  } else {
    const std::vector<uint8_t> wide = Utf8ToUtf16le(text);
    out.insert(out.end(), wide.begin(), wide.end());
    out.push_back(0);
    out.push_back(0);
  }
}

}  // namespace

// --- Byte sources ---

bool MemorySource::ReadAt(uint64_t offset, void* out, size_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  if (size > 0) std::memcpy(out, bytes_.data() + offset, size);
  return true;
}

FileSource::FileSource(int fd, size_t window) : fd_(fd), windowSize_(window) {
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) size_ = static_cast<uint64_t>(st.st_size);
}

FileSource::FileSource(int fd, const struct stat& status, size_t window)
    : fd_(fd), windowSize_(window), size_(status.st_size > 0 ? static_cast<uint64_t>(status.st_size) : 0) {}

bool FileSource::ReadAt(uint64_t offset, void* out, size_t size) {
  if (offset > size_ || size > size_ - offset) return false;
  if (size > windowSize_) return PreadAll(fd_, out, size, offset);
  if (offset < windowStart_ || offset + size > windowStart_ + windowFill_) {
    // A read elsewhere (the header, the cursor, the first record of a
    // bufferful) fills a few pages; reading on past the window's end fills
    // twice as much each time, up to the window, from a little before that
    // end: the record that crosses it, whose last field was asked for first,
    // comes in the same read. A bufferful costs the copy of what it reads
    // rather than of two whole windows.
    constexpr size_t kFirstFill = 16 * 1024;
    constexpr size_t kOverlap = 4 * 1024;
    const uint64_t windowEnd = windowStart_ + windowFill_;
    uint64_t start = offset;
    if (windowFill_ > 0 && offset >= windowStart_ && offset <= windowEnd + nextFill_) {
      nextFill_ = std::min(windowSize_, nextFill_ * 2);
      start = std::min<uint64_t>(offset, std::max<uint64_t>(windowStart_, windowEnd - std::min(windowFill_, kOverlap)));
      if (offset + size - start > windowSize_) start = offset;
    } else {
      nextFill_ = std::min(windowSize_, kFirstFill);
    }
    const size_t fill = static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(nextFill_, offset + size - start), size_ - start));
    if (window_ == nullptr) window_.reset(new uint8_t[windowSize_]);
    windowFill_ = 0;
    if (!PreadAll(fd_, window_.get(), fill, start)) return false;
    windowFill_ = fill;
    windowStart_ = start;
  }
  std::memcpy(out, window_.get() + (offset - windowStart_), size);
  return true;
}

bool ReadRing(ByteSource& source, uint32_t fileSize, uint32_t offset, void* out, size_t size) {
  if (!InRing(fileSize, offset) || size > fileSize - kHeaderSize) return false;
  const size_t first = std::min<size_t>(size, fileSize - offset);
  auto* p = static_cast<uint8_t*>(out);
  if (!source.ReadAt(offset, p, first)) return false;
  return first == size || source.ReadAt(kHeaderSize, p + first, size - first);
}

// --- Header and cursor ---

DWORD ReadHeader(ByteSource& source, FileHeader& header) {
  uint8_t b[kHeaderSize];
  if (!source.ReadAt(0, b, sizeof b)) return ERROR_EVENTLOG_FILE_CORRUPT;
  if (Get32(b) != kHeaderSize || Get32(b + 4) != kSignature || Get32(b + 8) != 1 ||
      Get32(b + 12) != 1 || Get32(b + 44) != kHeaderSize) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  header.startOffset = Get32(b + 16);
  header.endOffset = Get32(b + 20);
  header.currentRecordNumber = Get32(b + 24);
  header.oldestRecordNumber = Get32(b + 28);
  header.maxSize = Get32(b + 32);
  header.flags = Get32(b + 36);
  header.retention = Get32(b + 40);
  return ERROR_SUCCESS;
}

DWORD LocateRecords(ByteSource& source, LogLayout& layout, uint32_t eofHint) {
  layout = LogLayout();
  const uint64_t size = source.Size();
  if (size < kHeaderSize + kEofSize || size > UINT32_MAX) return ERROR_EVENTLOG_FILE_CORRUPT;
  const auto fileSize = static_cast<uint32_t>(size);
  if (const DWORD status = ReadHeader(source, layout.header); status != ERROR_SUCCESS) {
    return status;
  }
  layout.fileSize = fileSize;
  EofRecord eof;
  uint32_t at = layout.header.endOffset;
  if (!ReadEofAt(source, fileSize, at, eof)) {
    layout.recovered = true;
    at = eofHint;
    if ((eofHint == 0 || !ReadEofAt(source, fileSize, at, eof)) &&
        !ScanForEof(source, fileSize, layout.header.endOffset, at, eof)) {
      return ERROR_EVENTLOG_FILE_CORRUPT;
    }
  }
  layout.endOffset = at;
  layout.startOffset = eof.beginRecord;
  layout.currentRecordNumber = eof.currentRecordNumber;
  layout.oldestRecordNumber = eof.oldestRecordNumber;
  if (layout.Empty()) layout.startOffset = layout.endOffset;
  return ERROR_SUCCESS;
}

// --- Records ---

DWORD EncodeRecord(const EventRecordData& record, TextWidth width, std::vector<uint8_t>& out) {
  if (record.strings.size() > 0xFFFF) return ERROR_INVALID_PARAMETER;
  out.assign(kFixedSize, 0);
  PutText(out, record.source, width);
  PutText(out, record.computer, width);
  out.resize((out.size() + 3) & ~size_t{3});
  EVENTLOGRECORD fixed{};
  fixed.Reserved = kSignature;
  fixed.RecordNumber = record.recordNumber;
  fixed.TimeGenerated = record.timeGenerated;
  fixed.TimeWritten = record.timeWritten;
  fixed.EventID = record.eventId;
  fixed.EventType = record.eventType;
  fixed.NumStrings = static_cast<WORD>(record.strings.size());
  fixed.EventCategory = record.eventCategory;
  const auto offset = [&] { return static_cast<DWORD>(out.size()); };
  if (out.size() + record.sid.size() > UINT32_MAX / 2) return ERROR_INVALID_PARAMETER;
  fixed.UserSidOffset = offset();
  fixed.UserSidLength = static_cast<DWORD>(record.sid.size());
  out.insert(out.end(), record.sid.begin(), record.sid.end());
  fixed.StringOffset = offset();
  for (const std::string& text : record.strings) {
    PutText(out, text, width);
    if (out.size() > UINT32_MAX / 2) return ERROR_INVALID_PARAMETER;
  }
  if (out.size() + record.data.size() > UINT32_MAX / 2) return ERROR_INVALID_PARAMETER;
  fixed.DataOffset = offset();
  fixed.DataLength = static_cast<DWORD>(record.data.size());
  out.insert(out.end(), record.data.begin(), record.data.end());
  // Windows pads with 1 to 4 bytes, never none, and so do we.
  out.resize(out.size() + 4 - out.size() % 4 + 4, 0);
  fixed.Length = offset();
  PutFixed(out.data(), fixed);
  Put32(out.data() + out.size() - 4, fixed.Length);
  return ERROR_SUCCESS;
}

DWORD DecodeRecord(std::span<const uint8_t> bytes, TextWidth width, EventRecordData& out) {
  if (bytes.size() < kMinRecordSize || bytes.size() > UINT32_MAX) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  const EVENTLOGRECORD fixed = FixedFrom(bytes.data());
  const auto size = static_cast<uint32_t>(bytes.size());
  if (fixed.Length != size || fixed.Reserved != kSignature ||
      Get32(bytes.data() + size - 4) != size) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  const uint32_t body = size - 4;
  const auto within = [&](uint32_t offset, uint64_t length) {
    return offset >= kFixedSize && offset <= body && length <= body - offset;
  };
  // Cleared, not replaced, so that a caller's buffers are used again.
  out.sid.clear();
  out.data.clear();
  out.strings.resize(fixed.NumStrings);
  uint32_t pos = kFixedSize;
  if (!TakeText(bytes, pos, body, width, out.source) ||
      !TakeText(bytes, pos, body, width, out.computer)) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  if (fixed.UserSidLength > 0) {
    if (!within(fixed.UserSidOffset, fixed.UserSidLength)) return ERROR_EVENTLOG_FILE_CORRUPT;
    out.sid.assign(bytes.begin() + fixed.UserSidOffset,
                   bytes.begin() + fixed.UserSidOffset + fixed.UserSidLength);
  }
  if (fixed.NumStrings > 0) {
    if (!within(fixed.StringOffset, 0)) return ERROR_EVENTLOG_FILE_CORRUPT;
    pos = fixed.StringOffset;
    for (std::string& text : out.strings) {
      if (!TakeText(bytes, pos, body, width, text)) return ERROR_EVENTLOG_FILE_CORRUPT;
    }
  }
  if (fixed.DataLength > 0) {
    if (!within(fixed.DataOffset, fixed.DataLength)) return ERROR_EVENTLOG_FILE_CORRUPT;
    out.data.assign(bytes.begin() + fixed.DataOffset,
                    bytes.begin() + fixed.DataOffset + fixed.DataLength);
  }
  out.recordNumber = fixed.RecordNumber;
  out.timeGenerated = fixed.TimeGenerated;
  out.timeWritten = fixed.TimeWritten;
  out.eventId = fixed.EventID;
  out.eventType = fixed.EventType;
  out.eventCategory = fixed.EventCategory;
  return ERROR_SUCCESS;
}

DWORD ToSingleByte(std::span<const uint8_t> wide, std::vector<uint8_t>& out) {
  // Every record read passes here, so it is converted in one pass into
  // `out`, with the checks of DecodeRecord and the layout of EncodeRecord.
  if (wide.size() < kMinRecordSize || wide.size() > UINT32_MAX) return ERROR_EVENTLOG_FILE_CORRUPT;
  const EVENTLOGRECORD fixed = FixedFrom(wide.data());
  const auto size = static_cast<uint32_t>(wide.size());
  if (fixed.Length != size || fixed.Reserved != kSignature || Get32(wide.data() + size - 4) != size) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  const uint32_t body = size - 4;
  const auto within = [&](uint32_t offset, uint64_t length) {
    return offset >= kFixedSize && offset <= body && length <= body - offset;
  };
  // Written at a cursor into room sized once for what a sound record can
  // need; only a record whose parts overlap asks for more.
  out.resize(size_t{size} / 2 * 3 + kFixedSize + 8);
  size_t used = kFixedSize;
  const auto room = [&](size_t bytes) {
    if (bytes > out.size() - used) out.resize(std::max(used + bytes, out.size() * 2));
    return out.data() + used;
  };
  // The UTF-16 text at `pos`, appended as UTF-8 with its NUL.
  const auto takeText = [&](uint32_t& pos) {
    const size_t length =
        TakeWideText(wide, pos, body, [&](size_t most) { return reinterpret_cast<char*>(room(most + 1)); });
    if (length == std::string_view::npos) return false;
    out[used + length] = 0;
    used += length + 1;
    return true;
  };
  const auto append = [&](uint32_t offset, uint32_t length) {
    std::memcpy(room(length), wide.data() + offset, length);
    used += length;
  };
  const auto padTo = [&](size_t end) {
    std::memset(room(end - used), 0, end - used);
    used = end;
  };
  uint32_t pos = kFixedSize;
  if (!takeText(pos) || !takeText(pos)) return ERROR_EVENTLOG_FILE_CORRUPT;
  padTo((used + 3) & ~size_t{3});
  EVENTLOGRECORD narrow = fixed;
  if (fixed.UserSidLength > 0 && !within(fixed.UserSidOffset, fixed.UserSidLength)) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  narrow.UserSidOffset = static_cast<DWORD>(used);
  if (fixed.UserSidLength > 0) append(fixed.UserSidOffset, fixed.UserSidLength);
  narrow.StringOffset = static_cast<DWORD>(used);
  if (fixed.NumStrings > 0) {
    if (!within(fixed.StringOffset, 0)) return ERROR_EVENTLOG_FILE_CORRUPT;
    pos = fixed.StringOffset;
    for (WORD i = 0; i < fixed.NumStrings; ++i) {
      if (!takeText(pos) || used > UINT32_MAX / 2) return ERROR_EVENTLOG_FILE_CORRUPT;
    }
  }
  if (fixed.DataLength > 0 && !within(fixed.DataOffset, fixed.DataLength)) return ERROR_EVENTLOG_FILE_CORRUPT;
  // Three bytes of UTF-8 for two of UTF-16: the same bound as EncodeRecord's.
  if (used + fixed.DataLength > UINT32_MAX / 2) return ERROR_EVENTLOG_FILE_CORRUPT;
  narrow.DataOffset = static_cast<DWORD>(used);
  if (fixed.DataLength > 0) append(fixed.DataOffset, fixed.DataLength);
  // Windows pads with 1 to 4 bytes, never none, and so do we.
  padTo(used + 4 - used % 4 + 4);
  out.resize(used);
  narrow.Length = static_cast<DWORD>(used);
  PutFixed(out.data(), narrow);
  Put32(out.data() + used - 4, narrow.Length);
  return ERROR_SUCCESS;
}

// --- Walking ---

RecordReader::RecordReader(ByteSource& source, const LogLayout& layout)
    : source_(source), layout_(layout), position_(layout.startOffset) {}

bool RecordReader::Seek(uint32_t offset) {
  const uint32_t size = layout_.fileSize;
  if (!InRing(size, offset) || Distance(size, layout_.startOffset, offset) >
                                   Distance(size, layout_.startOffset, layout_.endOffset)) {
    return false;
  }
  position_ = offset;
  return true;
}

DWORD RecordReader::Find(EVENTLOGRECORD& fixed) {
  if (AtEnd()) return ERROR_HANDLE_EOF;
  const uint32_t size = layout_.fileSize;
  const auto recordAt = [&](uint32_t at) {
    uint8_t b[kFixedSize];
    if (!ReadRing(source_, size, at, b, sizeof b)) return false;
    fixed = FixedFrom(b);
    if (fixed.Length < kMinRecordSize || fixed.Reserved != kSignature ||
        fixed.Length > Distance(size, at, layout_.endOffset)) {
      return false;
    }
    uint8_t copy[4];
    return ReadRing(source_, size, Advance(size, at, fixed.Length - 4), copy, 4) &&
           Get32(copy) == fixed.Length;
  };
  if (recordAt(position_)) return ERROR_SUCCESS;
  // Before the wrap point a log may end its run of records early and leave
  // the rest of the file unused; the records go on at the start of the area.
  if (position_ > layout_.endOffset && recordAt(kHeaderSize)) {
    position_ = kHeaderSize;
    return ERROR_SUCCESS;
  }
  return ERROR_EVENTLOG_FILE_CORRUPT;
}

DWORD RecordReader::Peek(EVENTLOGRECORD& fixed) { return Find(fixed); }

DWORD RecordReader::Next(std::vector<uint8_t>& record) {
  EVENTLOGRECORD fixed;
  if (const DWORD status = Find(fixed); status != ERROR_SUCCESS) return status;
  record.resize(fixed.Length);
  if (!ReadRing(source_, layout_.fileSize, position_, record.data(), record.size())) {
    return ERROR_EVENTLOG_FILE_CORRUPT;
  }
  position_ = Advance(layout_.fileSize, position_, fixed.Length);
  return ERROR_SUCCESS;
}

DWORD RecordReader::Skip() {
  EVENTLOGRECORD fixed;
  if (const DWORD status = Find(fixed); status != ERROR_SUCCESS) return status;
  position_ = Advance(layout_.fileSize, position_, fixed.Length);
  return ERROR_SUCCESS;
}

DWORD ForEachRecord(ByteSource& source, const std::function<bool(const EventRecordData&)>& visit) {
  LogLayout layout;
  if (const DWORD status = LocateRecords(source, layout); status != ERROR_SUCCESS) return status;
  RecordReader reader(source, layout);
  std::vector<uint8_t> bytes;
  EventRecordData record;
  while (!reader.AtEnd()) {
    if (const DWORD status = reader.Next(bytes); status != ERROR_SUCCESS) return status;
    if (const DWORD status = DecodeRecord(bytes, TextWidth::kUtf16, record);
        status != ERROR_SUCCESS) {
      return status;
    }
    if (!visit(record)) break;
  }
  return ERROR_SUCCESS;
}

// --- Writing ---

DWORD CreateLog(const std::string& path, uint32_t maxSize, uint32_t retention) {
  maxSize &= ~3u;
  if (maxSize < kSmallestMaxSize) return ERROR_INVALID_PARAMETER;
  Fd existing;
  if (::access(path.c_str(), F_OK) == 0) {
    // Let a writer of the old file finish first; it then finds it replaced.
    if (const DWORD status = OpenLocked(path, O_RDONLY, true, existing); status != ERROR_SUCCESS) {
      return status;
    }
  }
  return ReplaceFile(path, EmptyLogBytes(maxSize, retention));
}

DWORD AppendRecord(const std::string& path, EventRecordData& record) {
  return AppendRecords(path, std::span<EventRecordData>(&record, 1));
}

DWORD AppendRecords(const std::string& path, std::span<EventRecordData> records) {
  Fd fd;
  if (const DWORD status = OpenLocked(path, O_RDWR, true, fd); status != ERROR_SUCCESS) {
    return status;
  }
  LogLayout layout;
  {
    FileSource source(fd.get());
    if (const DWORD status = LocateRecords(source, layout); status != ERROR_SUCCESS) {
      return status;
    }
  }
  FileHeader header = layout.header;
  const uint32_t maxSize = std::max(header.maxSize & ~3u, kSmallestMaxSize);
  uint32_t fileSize = layout.fileSize;
  uint32_t start = layout.startOffset;
  uint32_t end = layout.endOffset;
  uint32_t oldest = layout.oldestRecordNumber;
  uint32_t current = layout.currentRecordNumber;
  uint32_t used = layout.Empty() ? 0 : Distance(fileSize, start, end);
  // Until the first wrap the records lie in a row and the file ends with the
  // cursor; it grows by each record until MaxSize.
  bool growing = (header.flags & ELF_LOGFILE_HEADER_WRAP) == 0 &&
                 uint64_t{end} + kEofSize == fileSize && (used == 0 || start <= end);

  DWORD status = ERROR_SUCCESS;
  std::vector<uint8_t> bytes;
  for (EventRecordData& record : records) {
    if (current == 0) current = 1;  // 0 is no record: an oldest of 0 means an empty log
    if (current == UINT32_MAX) {    // numbers are spent: only a clear helps
      status = ERROR_LOG_FILE_FULL;
      break;
    }
    record.recordNumber = current;
    if ((status = EncodeRecord(record, TextWidth::kUtf16, bytes)) != ERROR_SUCCESS) break;
    auto n = static_cast<uint32_t>(bytes.size());
    // One that could not fit even alone is refused before anything moves.
    if (uint64_t{n} + 4 + kEofSize >= std::max(fileSize, maxSize) - kHeaderSize) {
      status = ERROR_LOG_FILE_FULL;
      break;
    }
    if (growing && uint64_t{end} + n + kEofSize > maxSize) {
      growing = false;
      if (fileSize < maxSize) {
        if (::ftruncate(fd.get(), maxSize) != 0) {
          status = WriteError();
          break;
        }
        fileSize = maxSize;
      }
    }
    if (!growing) {
      const uint32_t ring = fileSize - kHeaderSize;
      // Nor do they go on at the start of the area after a record that ends
      // exactly at the end of the file: such a record takes 4 more bytes of
      // padding and so runs over.
      if (Advance(fileSize, end, n) == kHeaderSize) {
        bytes.insert(bytes.end() - 4, 4, 0);
        n += 4;
        Put32(bytes.data(), n);
        Put32(bytes.data() + n - 4, n);
      }
      if (uint64_t{n} + kEofSize >= ring) {
        status = ERROR_LOG_FILE_FULL;
        break;
      }
      // Overwrite as needed: drop the oldest records until this one and the
      // cursor fit in front of the oldest that stays, with room to spare:
      // readers of other makes lose their way when the cursor touches the
      // oldest record.
      while (uint64_t{used} + n + kEofSize >= ring) {
        // The records are checked as a reader checks them, so that a log
        // we did not write is never taken apart at a wrong boundary.
        LogLayout now = layout;
        now.fileSize = fileSize;
        now.startOffset = start;
        now.endOffset = end;
        FileSource direct(fd.get(), 0);
        RecordReader reader(direct, now);
        if ((status = reader.Skip()) != ERROR_SUCCESS) break;
        start = reader.Offset();
        used = Distance(fileSize, start, end);
        // Counted, so that current - oldest stays the number of records;
        // never 0, which would say the log is empty.
        if (++oldest == 0) oldest = 1;
      }
      if (status != ERROR_SUCCESS) break;
      header.flags |= ELF_LOGFILE_HEADER_WRAP;
    }
    if (used == 0) {
      start = end;
      oldest = current;
    }
    const uint32_t newEnd = growing ? end + n : Advance(fileSize, end, n);
    ++current;
    bytes.resize(n + kEofSize);
    PutEof(bytes.data() + n, EofRecord{start, newEnd, current, oldest});
    const bool written = growing ? PwriteAll(fd.get(), bytes.data(), bytes.size(), end)
                                 : WriteRing(fd.get(), fileSize, end, bytes.data(), bytes.size());
    if (!written) {
      status = WriteError();
      break;
    }
    if (growing) fileSize = newEnd + kEofSize;
    end = newEnd;
    used += n;
  }

  header.startOffset = used == 0 ? end : start;
  header.endOffset = end;
  header.currentRecordNumber = current;
  header.oldestRecordNumber = used == 0 ? 0 : oldest;
  header.flags &= ~ELF_LOGFILE_HEADER_DIRTY;
  uint8_t b[kHeaderSize];
  PutHeader(b, header);
  if (!PwriteAll(fd.get(), b, sizeof b, 0) && status == ERROR_SUCCESS) status = WriteError();
  return status;
}

DWORD ClearLog(const std::string& path, const std::string* backupPath, uint32_t unreadFrom) {
  Fd fd;
  if (const DWORD status = OpenLocked(path, O_RDONLY, true, fd); status != ERROR_SUCCESS) {
    return status;
  }
  if (!Writable(path) || !Writable(FolderOf(path))) return ERROR_ACCESS_DENIED;
  FileSource source(fd.get());
  if (unreadFrom != 0) {
    LogLayout layout;
    if (const DWORD status = LocateRecords(source, layout); status != ERROR_SUCCESS) return status;
    if (!layout.Empty() && layout.currentRecordNumber > unreadFrom) return ERROR_EVENTLOG_FILE_CHANGED;
  }
  FileHeader header;
  uint32_t maxSize = kDefaultMaxSize;
  uint32_t retention = 0;
  if (ReadHeader(source, header) == ERROR_SUCCESS && (header.maxSize & ~3u) >= kSmallestMaxSize) {
    maxSize = header.maxSize & ~3u;
    retention = header.retention;
  }
  if (backupPath != nullptr) {
    if (const DWORD status = CopyFileTo(fd.get(), source.Size(), *backupPath);
        status != ERROR_SUCCESS) {
      return status;
    }
  }
  return ReplaceFile(path, EmptyLogBytes(maxSize, retention));
}

FileLock::FileLock(int fd, bool exclusive) : fd_(fd) {
  while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
  }
}

FileLock::~FileLock() { ::flock(fd_, LOCK_UN); }

bool StillNamedBy(int fd, const std::string& path, struct stat* status) {
  struct stat open, named;
  if (status == nullptr) status = &open;
  return ::fstat(fd, status) == 0 && ::stat(path.c_str(), &named) == 0 && status->st_dev == named.st_dev &&
         status->st_ino == named.st_ino;
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      return ERROR_FILE_NOT_FOUND;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EIO:
      return ERROR_READ_FAULT;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

}  // namespace platform::evt
