// The event log service over .evt files: finding a computer's log through
// its registry, and the read, count and clear rules that the gatherer
// relies on, with another writer at work in the same log.
#include "platform/eventlog/eventlog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/eventlog/evt_file.h"
#include "support/temp_machine.h"

namespace {

using namespace platform::evt;

// A registry whose System log is named through %SystemRoot%.
std::string Hive(const std::string& systemRoot) {
  const std::string logs = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
  return "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n\"SystemRoot\"=\"" + systemRoot + "\"\n\n" +
         logs + "System]\n\"File\"=\"%systemroot%\\\\system32\\\\config\\\\SysEvent.Evt\"\n\n" +
         logs + "Security]\n\"MaxSize\"=dword:00080000\n\n" +
         logs + "Broken]\n\"File\"=\"C:\\\\Logs\\\\Broken.Evt\"\n\n";
}

EventRecordData Sample(uint32_t i, size_t dataSize = 0) {
  return {.timeGenerated = 1000 + i, .timeWritten = 1000 + i, .eventId = 0x40000000u + i,
          .eventType = EVENTLOG_INFORMATION_TYPE, .source = "Src", .computer = "PDC01",
          .strings = {"string " + std::to_string(i), "Grüße"}, .sid = {},
          .data = std::vector(dataSize, static_cast<uint8_t>(i))};
}

class EventLogTest : public ::testing::Test {
 public:
  void SetUp() override {
    machine.Write("registry.reg", Hive("C:\\WINNT"));
    machine.Write("network/PDC01/registry.reg", Hive("D:\\WinNT40"));
    for (const char* folder : {"drives/c/WINNT/system32/config", "drives/c/Logs", "network/PDC01/D$/WinNT40"})
      std::filesystem::create_directories(machine.root() / folder / "system32/config");
  }
  std::string Host(const std::string& path) const { return (machine.root() / path).string(); }
  std::string LocalSystem() const { return Host("drives/c/WINNT/system32/config/SysEvent.Evt"); }
  void Fill(const std::string& path, uint32_t count, uint32_t maxSize) {
    EXPECT_EQ(CreateLog(path, maxSize), 0u);
    if (count) Append(path, 1, count);
  }
  void Append(const std::string& path, uint32_t from, uint32_t count, size_t dataSize = 0) {
    std::vector<EventRecordData> records;
    for (uint32_t i = from; i < from + count; ++i) records.push_back(Sample(i, dataSize));
    EXPECT_EQ(AppendRecords(path, records), 0u);
  }
  static DWORD Count(HANDLE log) { DWORD n = 12345; EXPECT_TRUE(GetNumberOfEventLogRecords(log, &n)); return n; }
  // One read of `size` bytes: its records walked by Length as the gatherer walks them, or none and the error.
  static std::vector<EventRecordData> Read(HANDLE log, DWORD size, DWORD* error = nullptr, DWORD* needed = nullptr) {
    std::vector<uint8_t> buffer(size);
    DWORD read = 99, need = 0;
    const BOOL ok = ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(), size, &read, &need);
    if (error != nullptr) *error = ok ? 0 : GetLastError();
    if (needed != nullptr) *needed = need;
    EXPECT_TRUE(ok || read == 0);
    std::vector<EventRecordData> records;
    for (DWORD at = 0, length; ok && at < read; at += length) {
      std::memcpy(&length, &buffer[at], 4);
      EXPECT_EQ(DecodeRecord(std::span(buffer).subspan(at, length), TextWidth::kUtf8, records.emplace_back()), 0u);
    }
    return records;
  }
  // Reads as the gatherer does: 10000-byte buffers, grown for a record that
  // does not fit. Returns the final error (38 at the end).
  static DWORD ReadToEnd(HANDLE log, std::vector<EventRecordData>& records) {
    for (DWORD size = 10000, error = 0, needed = 0;;) {
      for (auto& r : Read(log, size, &error, &needed)) records.push_back(r);
      if (error == ERROR_INSUFFICIENT_BUFFER && needed > size) size = needed;
      else if (error != 0) return error;
    }
  }

  testing_support::TempMachine machine;
};

TEST_F(EventLogTest, FindsTheLogThatEachComputersRegistryNames) {
  Fill(LocalSystem(), 3, 0x10000);
  Fill(Host("network/PDC01/D$/WinNT40/system32/config/SysEvent.Evt"), 5, 0x10000);
  const std::pair<const char*, DWORD> cases[] = {{nullptr, 3}, {"", 3}, {"PDC01", 5}, {"\\\\pdc01", 5}};
  for (const auto& [server, records] : cases) {
    HANDLE log = OpenEventLogA(server, "System");
    ASSERT_NE(log, nullptr) << (server ? server : "null") << " " << GetLastError();
    EXPECT_EQ(Count(log), records);
    EXPECT_TRUE(CloseEventLog(log));
    EXPECT_FALSE(CloseEventLog(log));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  }
}

TEST_F(EventLogTest, OpenFailuresCarryTheReason) {
  Fill(LocalSystem(), 1, 0x10000);
  machine.Write("drives/c/Logs/Broken.Evt", std::string(200, 'x'));
  machine.Write("network/DARK/C$/x", "");  // switched on, no registry service
  const std::tuple<const char*, const char*, DWORD> cases[] = {
      {"NOBODY", "System", ERROR_BAD_NETPATH}, {"DARK", "System", ERROR_BAD_NETPATH},
      {nullptr, "Directory Service", ERROR_FILE_NOT_FOUND},  // no such key
      {nullptr, "Security", ERROR_FILE_NOT_FOUND},           // no File value
      {"PDC01", "System", ERROR_FILE_NOT_FOUND},             // no file there
      {nullptr, "Broken", ERROR_EVENTLOG_FILE_CORRUPT}, {nullptr, nullptr, ERROR_INVALID_PARAMETER},
  };
  for (const auto& [server, log, error] : cases) {
    SetLastError(0);
    EXPECT_EQ(OpenEventLogA(server, log), nullptr) << (log ? log : "null");
    EXPECT_EQ(GetLastError(), error) << (log ? log : "null");
  }
  ::chmod(LocalSystem().c_str(), 0);
  EXPECT_EQ(OpenEventLogA(nullptr, "System"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}

TEST_F(EventLogTest, ReadsWholeSingleByteRecordsOldestFirstAndAsksForTheSizeOfOneThatDoesNotFit) {
  Fill(LocalSystem(), 1, 0x100000);
  Append(LocalSystem(), 2, 1, 12000);
  Append(LocalSystem(), 3, 298);
  HANDLE log = OpenEventLogA(nullptr, "System");
  ASSERT_NE(log, nullptr);
  DWORD error = 0, needed = 0;
  std::vector<EventRecordData> all = Read(log, 10000);
  EXPECT_EQ(all.size(), 1u) << "stops before the big one";
  EXPECT_TRUE(Read(log, 10000, &error, &needed).empty());
  EXPECT_EQ(error, DWORD{ERROR_INSUFFICIENT_BUFFER});
  std::vector<uint8_t> exact;
  EventRecordData big = Sample(2, 12000);
  big.recordNumber = 2;
  ASSERT_EQ(EncodeRecord(big, TextWidth::kUtf8, exact), 0u);
  EXPECT_EQ(needed, exact.size());
  EXPECT_EQ(ReadToEnd(log, all), DWORD{ERROR_HANDLE_EOF});
  ASSERT_EQ(all.size(), 300u);
  EXPECT_EQ(all[1], big);
  EXPECT_EQ(all[299].recordNumber, 300u);
  CloseEventLog(log);
}

TEST_F(EventLogTest, LogChangingUnderAnOpenHandle) {
  // After the first ten, the records read are numbered `from` (0: the oldest still there) to `to`; none if lower.
  const std::tuple<const char*, uint32_t, std::function<void(EventLogTest&)>, uint32_t, uint32_t> cases[] = {
      {"appended", 0x10000, [](EventLogTest& t) { t.Append(t.LocalSystem(), 41, 5); }, 11, 45},
      {"cleared", 0x10000, [](EventLogTest& t) { ClearLog(t.LocalSystem()); }, 1, 0},
      {"cleared and refilled", 0x10000,
       [](EventLogTest& t) { ClearLog(t.LocalSystem()), t.Append(t.LocalSystem(), 1, 50); }, 1, 0},
      // 0x1000 holds about thirty records: 200 more overwrite the unread.
      {"wrapped over the unread", 0x1000, [](EventLogTest& t) { t.Append(t.LocalSystem(), 41, 200); }, 0, 240},
  };
  for (const auto& [name, maxSize, change, from, to] : cases) {
    SCOPED_TRACE(name);
    Fill(LocalSystem(), 40, maxSize);
    HANDLE log = OpenEventLogA(nullptr, "System");
    std::vector<EventRecordData> read;
    for (int i = 0; i < 10; ++i) for (const auto& r : Read(log, 150)) read.push_back(r);
    ASSERT_EQ(read.size(), 10u) << "one per read: a small buffer holds only one";
    change(*this);
    EXPECT_EQ(ReadToEnd(log, read), DWORD{ERROR_HANDLE_EOF});
    std::vector<uint32_t> numbers, expected;
    for (size_t i = 10; i < read.size(); ++i) numbers.push_back(read[i].recordNumber);
    for (uint32_t n = from ? from : Read(OpenEventLogA(nullptr, "System"), 150)[0].recordNumber; n <= to; ++n)
      expected.push_back(n);
    EXPECT_EQ(numbers, expected);
    CloseEventLog(log);
  }
}

TEST_F(EventLogTest, ClearEmptiesTheLogUnlessItIsReadOnlyOrUnread) {
  Fill(LocalSystem(), 20, 0x10000);
  HANDLE log = OpenEventLogA(nullptr, "System");
  ASSERT_NE(log, nullptr);
  for (const auto& [path, mode] : {std::pair{LocalSystem(), 0444}, {Host("drives/c/WINNT/system32/config"), 0555}}) {
    ::chmod(path.c_str(), mode);
    EXPECT_FALSE(ClearEventLogA(log, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << path;
    ::chmod(path.c_str(), mode | 0200);
  }
  // Only what the handle has read may go. (Unread records keep the log: gather's EraseTest.)
  std::vector<EventRecordData> all;
  EXPECT_EQ(ReadToEnd(log, all), DWORD{ERROR_HANDLE_EOF});
  const std::string before = machine.Read(LocalSystem());
  ASSERT_TRUE(ClearEventLogA(log, "C:\\Logs\\saved.evt"));
  EXPECT_EQ(Count(log), 0u);
  EXPECT_EQ(machine.Read("drives/c/Logs/saved.evt"), before) << "the backup holds what was cleared";
  // The handle goes on with the emptied log, numbered from 1 again.
  Append(LocalSystem(), 1, 3);
  std::vector<EventRecordData> read;
  EXPECT_EQ(ReadToEnd(log, read), DWORD{ERROR_HANDLE_EOF});
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].recordNumber, 1u);
  EXPECT_FALSE(ClearEventLogA(log, "C:\\Logs\\saved.evt"));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
  EXPECT_EQ(Count(log), 3u) << "a failed backup clears nothing";
  CloseEventLog(log);
}

// A writer appends while the handle reads: every record arrives whole,
// once, in order.
TEST_F(EventLogTest, ReaderNeverSeesHalfARecordOfAConcurrentWriter) {
  Fill(LocalSystem(), 1, 0x400000);
  constexpr uint32_t kTotal = 3000;
  std::thread writer([&] {
    for (uint32_t i = 2; i <= kTotal; i += 7) {
      std::vector<EventRecordData> batch;
      for (uint32_t j = i; j < i + 7 && j <= kTotal; ++j) batch.push_back(Sample(j, j % 97));
      ASSERT_EQ(AppendRecords(LocalSystem(), batch), 0u);
    }
  });
  HANDLE log = OpenEventLogA(nullptr, "System");
  std::vector<EventRecordData> read;
  while (read.size() < kTotal) ASSERT_EQ(ReadToEnd(log, read), DWORD{ERROR_HANDLE_EOF});
  writer.join();
  ASSERT_EQ(read.size(), kTotal);
  for (uint32_t i = 0; i < kTotal; ++i) {
    EXPECT_EQ(read[i].recordNumber, i + 1);
    EXPECT_EQ(read[i].data.size(), (i + 1) % 97 * (i > 0));
  }
  CloseEventLog(log);
}

}  // namespace
