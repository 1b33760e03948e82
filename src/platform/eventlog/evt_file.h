// The legacy .evt event log file: reading and writing, in one place so that
// the event log service and the tools that fill logs share every rule.
//
// Layout. A 0x30-byte header ("LfLe" at offset 4), then a circular area from
// 0x30 to the end of the file holding the records oldest first and, right
// behind the newest, a 0x28-byte end-of-file cursor record. A record or the
// cursor may run past the end of the file and continue at 0x30. The header is
// rewritten only now and then by Windows (its DIRTY flag says so), so the
// cursor record is the truth: it is looked for where the header says and,
// when it is not there, found by scanning the circular area.
//
// Records hold their texts in UTF-16LE. The single-byte variant that
// ReadEventLogA delivers is the same record with its texts in UTF-8 and its
// offsets, padding and both Length fields recomputed.
//
// Reading never loads the file: it goes through a ByteSource, piece by piece
// (pread on a file, or a span of memory for tests and fuzzing), and every
// field read from the file is checked against the bytes that hold it. A file
// that breaks the rules fails with ERROR_EVENTLOG_FILE_CORRUPT.
//
// Locking, between processes: every reader takes flock(LOCK_SH) on the log
// file for the whole of one read, every writer flock(LOCK_EX) for the whole
// of one append, so no reader sees half a record. Clearing replaces the file
// by rename, so whoever waited for a lock checks afterwards that the path
// still names the file it locked, and starts again when it does not; a
// reading handle that finds its file replaced knows the log was cleared.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/eventlog/eventlog.h"

namespace platform::evt {

constexpr uint32_t kHeaderSize = 0x30;
constexpr uint32_t kEofSize = 0x28;
constexpr uint32_t kFixedSize = sizeof(EVENTLOGRECORD);  // 56
constexpr uint32_t kSignature = 0x654c664c;              // "LfLe"
constexpr uint32_t kEofMarks[4] = {0x11111111, 0x22222222, 0x33333333, 0x44444444};
// The smallest record: the fixed part and the trailing copy of Length.
constexpr uint32_t kMinRecordSize = kFixedSize + 4;

enum : uint32_t {
  ELF_LOGFILE_HEADER_DIRTY = 0x1,
  ELF_LOGFILE_HEADER_WRAP = 0x2,
  ELF_LOGFILE_LOGFULL_WRITTEN = 0x4,
  ELF_LOGFILE_ARCHIVE_SET = 0x8,
};

// Random-access bytes to read a log from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Exactly `size` bytes at `offset`; false when they are not all there or
  // the device fails.
  virtual bool ReadAt(uint64_t offset, void* out, size_t size) = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* out, size_t size) override;

 private:
  std::span<const uint8_t> bytes_;
};

// pread on an open file (not owned) through a read-ahead window, so a walk
// costs one system call per window rather than two per record; window 0
// reads straight from the file (for a writer, whose writes a window would
// miss). The size is taken once, at construction: make one per locked read.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(int fd, size_t window = 64 * 1024);
  // With the file's status already taken, which gives its size.
  FileSource(int fd, const struct stat& status, size_t window = 64 * 1024);
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* out, size_t size) override;

 private:
  int fd_;
  size_t windowSize_;
  uint64_t size_ = 0;
  uint64_t windowStart_ = 0;
  // Left uninitialised: a source lives for one bufferful, and zeroing 64 KB
  // each time cost more than reading them.
  std::unique_ptr<uint8_t[]> window_;
  size_t windowFill_ = 0;
  size_t nextFill_ = 0;
};

struct FileHeader {
  uint32_t startOffset = 0;
  uint32_t endOffset = 0;
  uint32_t currentRecordNumber = 0;  // the number the next record will get
  uint32_t oldestRecordNumber = 0;   // 0 when the log is empty
  uint32_t maxSize = 0;
  uint32_t flags = 0;
  uint32_t retention = 0;
};

// Where the live records lie, as found in one file.
struct LogLayout {
  uint32_t fileSize = 0;     // the circular area is [kHeaderSize, fileSize)
  uint32_t startOffset = 0;  // the oldest record
  uint32_t endOffset = 0;    // the cursor record, right behind the newest
  uint32_t oldestRecordNumber = 0;
  uint32_t currentRecordNumber = 1;
  FileHeader header;       // as the file's header says, stale or not
  bool recovered = false;  // the cursor was not where the header said

  bool Empty() const { return oldestRecordNumber == 0 || startOffset == endOffset; }
  uint32_t RecordCount() const {
    return Empty() || currentRecordNumber < oldestRecordNumber
               ? 0
               : currentRecordNumber - oldestRecordNumber;
  }
};

DWORD ReadHeader(ByteSource& source, FileHeader& header);

// Finds the live records. `eofHint`, when not 0, is where the cursor was
// found last time: tried after the header's offset and before a scan.
DWORD LocateRecords(ByteSource& source, LogLayout& layout, uint32_t eofHint = 0);

// One record's contents, texts in UTF-8 whichever the width of the record.
struct EventRecordData {
  uint32_t recordNumber = 0;   // given by the log on append
  uint32_t timeGenerated = 0;  // seconds since 1970-01-01 00:00:00 UTC
  uint32_t timeWritten = 0;
  uint32_t eventId = 0;
  uint16_t eventType = 0;
  uint16_t eventCategory = 0;
  std::string source;
  std::string computer;
  std::vector<std::string> strings;
  std::vector<uint8_t> sid;
  std::vector<uint8_t> data;

  bool operator==(const EventRecordData&) const = default;
};

enum class TextWidth { kUtf16, kUtf8 };  // as in the file; as ReadEventLogA gives

// The record's bytes: fixed part, source, computer, padding to a DWORD, SID,
// strings, data, padding, Length. ERROR_INVALID_PARAMETER when it cannot be
// one record (more than 65535 strings, over 4 GiB).
DWORD EncodeRecord(const EventRecordData& record, TextWidth width, std::vector<uint8_t>& out);

// The contents of one whole record. Offsets are checked only for the parts
// that are present (a DataOffset beyond the record with DataLength 0 is
// harmless, as Windows writes such records).
DWORD DecodeRecord(std::span<const uint8_t> bytes, TextWidth width, EventRecordData& out);

// A record from the file as ReadEventLogA delivers it.
DWORD ToSingleByte(std::span<const uint8_t> wide, std::vector<uint8_t>& out);

// Walks the live records of a located log, oldest first.
class RecordReader {
 public:
  RecordReader(ByteSource& source, const LogLayout& layout);

  bool AtEnd() const { return position_ == layout_.endOffset; }
  uint32_t Offset() const { return position_; }
  // Moves to a record start between the oldest record and the cursor.
  // False, staying put, when `offset` is not in that range.
  bool Seek(uint32_t offset);
  // Back to the oldest record.
  void Rewind() { position_ = layout_.startOffset; }

  // The fixed part of the record here, without moving.
  DWORD Peek(EVENTLOGRECORD& fixed);
  // The whole record here, as in the file; moves past it.
  DWORD Next(std::vector<uint8_t>& record);
  // Moves past the record here.
  DWORD Skip();

 private:
  DWORD Find(EVENTLOGRECORD& fixed);

  ByteSource& source_;
  LogLayout layout_;
  uint32_t position_;
};

// Calls `visit` with every live record, oldest first, until it returns
// false. For tools and tests; the service reads through RecordReader.
DWORD ForEachRecord(ByteSource& source, const std::function<bool(const EventRecordData&)>& visit);

// Reads or writes `size` bytes of the circular area starting at `offset`,
// wrapping from the end of the file to kHeaderSize.
bool ReadRing(ByteSource& source, uint32_t fileSize, uint32_t offset, void* out, size_t size);

// --- Writing. Paths are host paths. ---

// A new, empty log replacing whatever `path` held, atomically. MaxSize is
// rounded down to a DWORD; below 0x100 it is ERROR_INVALID_PARAMETER.
DWORD CreateLog(const std::string& path, uint32_t maxSize, uint32_t retention = 0);

// Appends records, oldest first, under one lock; each gets the next record
// number, written back into it. The file grows to MaxSize and then wraps,
// overwriting the oldest records as needed. A record that cannot fit even in
// an empty log is ERROR_LOG_FILE_FULL, and nothing after it is written; so
// is any record once the numbers reach 0xFFFFFFFF.
DWORD AppendRecords(const std::string& path, std::span<EventRecordData> records);
DWORD AppendRecord(const std::string& path, EventRecordData& record);

// Empties the log atomically (temp file, fsync, rename), keeping its MaxSize
// and retention. With a backup path the log is first copied there, which
// must not exist yet (ERROR_ALREADY_EXISTS). A read-only log or folder is
// ERROR_ACCESS_DENIED and nothing changes.
//
// With `unreadFrom` not 0, the log is emptied only when it holds no record
// numbered `unreadFrom` or above (checked under the same lock as the
// clear); otherwise ERROR_EVENTLOG_FILE_CHANGED and nothing changes. A
// reader that has stored every record it read clears through it without
// losing one written meanwhile.
DWORD ClearLog(const std::string& path, const std::string* backupPath = nullptr,
               uint32_t unreadFrom = 0);

// Holds flock on an open file for a scope; see the locking note above.
class FileLock {
 public:
  FileLock(int fd, bool exclusive);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

// Whether `path` still names the file open on `fd`.
bool StillNamedBy(int fd, const std::string& path, struct stat* status = nullptr);

// Windows' code for a failed open or read of a host file.
DWORD ErrorFromErrno(int error);

}  // namespace platform::evt
