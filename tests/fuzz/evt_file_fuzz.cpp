// Any bytes as an .evt file: reading never crashes, hangs or reads outside
// the bytes; every record it delivers converts to the single-byte variant
// with the same contents; and a log that reads cleanly takes one more record
// and then reads cleanly again, ending with it.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "fuzz_target.h"
#include "platform/eventlog/evt_file.h"

using namespace platform::evt;

// The records of `source`, or false when it does not read cleanly.
static bool ReadAll(ByteSource& source, std::vector<EventRecordData>& records) {
  LogLayout layout;
  if (LocateRecords(source, layout) != ERROR_SUCCESS) return false;
  RecordReader reader(source, layout);
  std::vector<uint8_t> wide, narrow;
  while (!reader.AtEnd()) {
    if (records.size() > source.Size() / kMinRecordSize) std::abort();  // walked in circles
    if (reader.Next(wide) != ERROR_SUCCESS) return false;
    EventRecordData record, single;
    if (DecodeRecord(wide, TextWidth::kUtf16, record) != ERROR_SUCCESS) return false;
    if (ToSingleByte(wide, narrow) != ERROR_SUCCESS) std::abort();
    // Byte for byte what the general writer makes, flags and closing number kept.
    std::vector<uint8_t> encoded;
    if (EncodeRecord(record, TextWidth::kUtf8, encoded) != ERROR_SUCCESS) std::abort();
    std::copy(wide.begin() + 30, wide.begin() + 36, encoded.begin() + 30);
    if (encoded != narrow) std::abort();
    if (DecodeRecord(narrow, TextWidth::kUtf8, single) != ERROR_SUCCESS) std::abort();
    if (!(single == record)) std::abort();
    records.push_back(std::move(record));
  }
  return true;
}

FUZZ_TARGET(bytes, text) {
  MemorySource source(bytes);
  std::vector<EventRecordData> records;
  FileHeader header;
  if (!ReadAll(source, records) || ReadHeader(source, header) != ERROR_SUCCESS || header.maxSize > (1u << 20)) return;

  // Append to a copy in memory, through the file path the writer takes.
  const int fd = ::memfd_create("evt", 0);
  if (fd < 0) return;
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
  EventRecordData more{0, 0, 0, 0, 0, 0, "Fuzz", "HOST", {"one", "two"}, {}, {1, 2, 3}};
  if (AppendRecord("/proc/self/fd/" + std::to_string(fd), more) == ERROR_SUCCESS) {
    // Through a window of any size, reads that jump and reads that go on
    // give what memory gave: the newest records, less any the append overwrote.
    FileSource file(fd, 64 + bytes.size() % 8192);
    std::vector<EventRecordData> after;
    if (!ReadAll(file, after) || after.empty() || !(after.back() == more)) std::abort();
    if (after.size() - 1 > records.size() || !std::equal(after.rbegin() + 1, after.rend(), records.rbegin())) {
      std::abort();
    }
  }
  ::close(fd);
}
