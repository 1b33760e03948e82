// The event log service over .evt files: finding a computer's log through
// its registry, and the read, count and clear rules that the gatherer
// relies on, with another writer at work in the same log.
#include "platform/eventlog/eventlog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
using testing_support::TempMachine;

// A registry whose System log is named through %SystemRoot% in a
// REG_EXPAND_SZ, written as regedit does: hex(2) of UTF-16LE text.
std::string Hive(const std::string& systemRoot) {
  std::string file = "\"File\"=hex(2):";
  char byte[8];
  for (const char c : std::string("%systemroot%\\system32\\config\\SysEvent.Evt") + '\0') {
    std::snprintf(byte, sizeof byte, "%02x,00,", static_cast<unsigned char>(c));
    file += byte;
  }
  file.pop_back();
  const std::string logs = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
  return "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
         "\"SystemRoot\"=\"" + systemRoot + "\"\n\n" +
         logs + "System]\n" + file + "\n\n" +
         logs + "Application]\n\"File\"=\"C:\\\\Logs\\\\AppEvent.Evt\"\n\n" +
         logs + "Security]\n\"MaxSize\"=dword:00080000\n\n" +
         logs + "Broken]\n\"File\"=\"C:\\\\Logs\\\\Broken.Evt\"\n\n";
}

EventRecordData Sample(uint32_t i, size_t dataSize = 0) {
  EventRecordData r;
  r.timeGenerated = 1000 + i;
  r.timeWritten = 1000 + i;
  r.eventId = 0x40000000u + i;
  r.eventType = EVENTLOG_INFORMATION_TYPE;
  r.source = "Src";
  r.computer = "PDC01";
  r.strings = {"string " + std::to_string(i), "Grüße"};
  r.data.assign(dataSize, static_cast<uint8_t>(i));
  return r;
}

// The records of one buffer, walked by Length as the gatherer walks them.
std::vector<EventRecordData> Walk(const std::vector<uint8_t>& buffer, DWORD bytesRead) {
  std::vector<EventRecordData> records;
  for (DWORD at = 0; at < bytesRead;) {
    DWORD length;
    std::memcpy(&length, &buffer[at], 4);
    EventRecordData record;
    EXPECT_EQ(DecodeRecord(std::span(buffer).subspan(at, length), TextWidth::kUtf8, record), 0u);
    records.push_back(record);
    at += length;
  }
  return records;
}

class EventLogTest : public ::testing::Test {
 public:
  void SetUp() override {
    machine.Write("registry.reg", Hive("C:\\WINNT"));
    machine.Write("network/PDC01/registry.reg", Hive("D:\\WinNT40"));
    std::filesystem::create_directories(machine.root() / "drives/c/WINNT/system32/config");
    std::filesystem::create_directories(machine.root() / "drives/c/Logs");
    std::filesystem::create_directories(machine.root() /
                                        "network/PDC01/D$/WinNT40/system32/config");
  }
  std::string Host(const std::string& path) const { return (machine.root() / path).string(); }
  std::string LocalSystem() const { return Host("drives/c/WINNT/system32/config/SysEvent.Evt"); }
  void Fill(const std::string& path, uint32_t count, uint32_t maxSize) {
    EXPECT_EQ(CreateLog(path, maxSize), 0u);
    Append(path, 1, count);
  }
  void Append(const std::string& path, uint32_t from, uint32_t count, size_t dataSize = 0) {
    std::vector<EventRecordData> records;
    for (uint32_t i = from; i < from + count; ++i) records.push_back(Sample(i, dataSize));
    EXPECT_EQ(AppendRecords(path, records), 0u);
  }
  static DWORD Count(HANDLE log) {
    DWORD count = 12345;
    EXPECT_TRUE(GetNumberOfEventLogRecords(log, &count));
    return count;
  }
  // Reads as the gatherer does: 10000-byte buffers, grown for a record that
  // does not fit. Returns the final error (38 at the end).
  static DWORD ReadToEnd(HANDLE log, std::vector<EventRecordData>& records) {
    std::vector<uint8_t> buffer(10000);
    for (;;) {
      DWORD read = 0, needed = 0;
      if (!ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &read, &needed)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return error;
        buffer.resize(needed);
        continue;
      }
      for (auto& r : Walk(buffer, read)) records.push_back(r);
    }
  }

  TempMachine machine;
};

TEST_F(EventLogTest, FindsTheLogThatEachComputersRegistryNames) {
  Fill(LocalSystem(), 3, 0x10000);
  Fill(Host("network/PDC01/D$/WinNT40/system32/config/SysEvent.Evt"), 5, 0x10000);
  const std::pair<const char*, DWORD> cases[] = {
      {nullptr, 3}, {"", 3}, {"PDC01", 5}, {"\\\\pdc01", 5}};
  for (const auto& [server, records] : cases) {
    HANDLE log = OpenEventLogA(server, "System");
    ASSERT_NE(log, nullptr) << (server ? server : "null") << " " << GetLastError();
    EXPECT_EQ(Count(log), records);
    EXPECT_TRUE(CloseEventLog(log));
  }
  // An empty log counts nothing and ends at once; records that arrive later
  // are read from the first.
  Fill(Host("drives/c/Logs/AppEvent.Evt"), 0, 0x10000);
  HANDLE app = OpenEventLogA(nullptr, "application");
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(Count(app), 0u);
  std::vector<EventRecordData> read;
  EXPECT_EQ(ReadToEnd(app, read), static_cast<DWORD>(ERROR_HANDLE_EOF));
  EXPECT_TRUE(read.empty());
  Append(Host("drives/c/Logs/AppEvent.Evt"), 1, 2);
  EXPECT_EQ(ReadToEnd(app, read), static_cast<DWORD>(ERROR_HANDLE_EOF));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].recordNumber, 1u);
  EXPECT_TRUE(CloseEventLog(app));
  EXPECT_FALSE(CloseEventLog(app));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(EventLogTest, OpenFailuresCarryTheReason) {
  Fill(LocalSystem(), 1, 0x10000);
  machine.Write("drives/c/Logs/Broken.Evt", std::string(200, 'x'));
  machine.Write("network/DARK/C$/x", "");  // switched on, no registry service
  const struct {
    const char* server;
    const char* log;
    DWORD error;
  } cases[] = {
      {"NOBODY", "System", ERROR_BAD_NETPATH},
      {"DARK", "System", ERROR_BAD_NETPATH},
      {nullptr, "Directory Service", ERROR_FILE_NOT_FOUND},  // no such key
      {nullptr, "Security", ERROR_FILE_NOT_FOUND},           // no File value
      {"PDC01", "System", ERROR_FILE_NOT_FOUND},             // no file there
      {nullptr, "Broken", ERROR_EVENTLOG_FILE_CORRUPT},
      {nullptr, nullptr, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(OpenEventLogA(c.server, c.log), nullptr) << (c.log ? c.log : "null");
    EXPECT_EQ(GetLastError(), c.error) << (c.log ? c.log : "null");
  }
  ::chmod(LocalSystem().c_str(), 0);
  EXPECT_EQ(OpenEventLogA(nullptr, "System"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(EventLogTest, ReadsWholeSingleByteRecordsOldestFirst) {
  Fill(LocalSystem(), 300, 0x100000);
  HANDLE log = OpenEventLogA(nullptr, "System");
  ASSERT_NE(log, nullptr);
  std::vector<uint8_t> buffer(10000);
  DWORD read = 0, needed = 0;
  ASSERT_TRUE(ReadEventLogA(log, 5, 0, buffer.data(), 10000, &read, &needed));
  std::vector<EventRecordData> all = Walk(buffer, read);
  EXPECT_GT(all.size(), 10u);
  EXPECT_LT(all.size(), 300u) << "one buffer holds only some";
  EXPECT_EQ(ReadToEnd(log, all), static_cast<DWORD>(ERROR_HANDLE_EOF));
  ASSERT_EQ(all.size(), 300u);
  for (uint32_t i = 0; i < 300; ++i) {
    EventRecordData expect = Sample(i + 1);
    expect.recordNumber = i + 1;
    EXPECT_EQ(all[i], expect);
  }
  // Only forwards sequential reads.
  for (const DWORD flags : {0u, 1u, 4u, 2u | 4u, 1u | 8u, 5u | 2u}) {
    EXPECT_FALSE(ReadEventLogA(log, flags, 0, buffer.data(), 10000, &read, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << flags;
  }
  CloseEventLog(log);
}

TEST_F(EventLogTest, RecordLargerThanTheBufferAsksForItsSize) {
  EXPECT_EQ(CreateLog(LocalSystem(), 0x100000), 0u);
  Append(LocalSystem(), 1, 1);
  Append(LocalSystem(), 2, 1, 12000);
  Append(LocalSystem(), 3, 1);
  HANDLE log = OpenEventLogA(nullptr, "System");
  ASSERT_NE(log, nullptr);
  std::vector<uint8_t> buffer(10000);
  DWORD read = 0, needed = 0;
  ASSERT_TRUE(ReadEventLogA(log, 5, 0, buffer.data(), 10000, &read, &needed));
  EXPECT_EQ(Walk(buffer, read).size(), 1u) << "stops before the big one";

  EXPECT_FALSE(ReadEventLogA(log, 5, 0, buffer.data(), 10000, &read, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(read, 0u);
  EventRecordData big = Sample(2, 12000);
  big.recordNumber = 2;
  std::vector<uint8_t> exact;
  ASSERT_EQ(EncodeRecord(big, TextWidth::kUtf8, exact), 0u);
  EXPECT_EQ(needed, exact.size());

  buffer.resize(needed);
  ASSERT_TRUE(ReadEventLogA(log, 5, 0, buffer.data(), needed, &read, &needed));
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + read), exact);
  ASSERT_TRUE(ReadEventLogA(log, 5, 0, buffer.data(), read, &read, &needed));
  EXPECT_EQ(Walk(buffer, read)[0].recordNumber, 3u);
  EXPECT_FALSE(ReadEventLogA(log, 5, 0, buffer.data(), 10000, &read, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
  CloseEventLog(log);
}

TEST_F(EventLogTest, LogChangingUnderAnOpenHandle) {
  const struct {
    const char* name;
    uint32_t maxSize;
    std::function<void(EventLogTest&)> change;
    size_t total;  // records read in all, the first ten included; 0: see below
  } cases[] = {
      {"appended", 0x10000, [](EventLogTest& t) { t.Append(t.LocalSystem(), 41, 5); }, 45},
      {"cleared", 0x10000, [](EventLogTest& t) { ClearLog(t.LocalSystem()); }, 10},
      {"cleared and refilled", 0x10000,
       [](EventLogTest& t) {
         ClearLog(t.LocalSystem());
         t.Append(t.LocalSystem(), 1, 50);
       },
       10},
      // 0x1000 holds about thirty records: 200 more overwrite the unread.
      {"wrapped over the unread", 0x1000,
       [](EventLogTest& t) { t.Append(t.LocalSystem(), 41, 200); }, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fill(LocalSystem(), 40, c.maxSize);
    HANDLE log = OpenEventLogA(nullptr, "System");
    ASSERT_NE(log, nullptr);
    // Ten records, one per read: a small buffer holds only one.
    std::vector<EventRecordData> read;
    std::vector<uint8_t> small(150);
    for (int i = 0; i < 10; ++i) {
      DWORD got = 0, needed = 0;
      ASSERT_TRUE(ReadEventLogA(log, 5, 0, small.data(), 150, &got, &needed));
      const auto one = Walk(small, got);
      ASSERT_EQ(one.size(), 1u);
      read.push_back(one[0]);
    }
    const uint32_t nextWanted = read.back().recordNumber + 1;
    c.change(*this);
    EXPECT_EQ(ReadToEnd(log, read), static_cast<DWORD>(ERROR_HANDLE_EOF));
    if (c.total != 0) {
      ASSERT_EQ(read.size(), c.total);
      if (read.size() > 10) {
        EXPECT_EQ(read[10].recordNumber, nextWanted);
      }
    } else {
      // Went on with the oldest record still there, through to the newest.
      ASSERT_GT(read.size(), 10u);
      EXPECT_GT(read[10].recordNumber, nextWanted);
      EXPECT_EQ(read.back().recordNumber, 240u);
      for (size_t i = 11; i < read.size(); ++i) {
        EXPECT_EQ(read[i].recordNumber, read[i - 1].recordNumber + 1);
      }
    }
    CloseEventLog(log);
  }
}

TEST_F(EventLogTest, ClearEmptiesTheLogUnlessItIsReadOnlyOrUnread) {
  Fill(LocalSystem(), 20, 0x10000);
  HANDLE log = OpenEventLogA(nullptr, "System");
  ASSERT_NE(log, nullptr);
  // A read-only file or folder.
  const std::pair<std::string, mode_t> readOnly[] = {
      {LocalSystem(), 0444}, {Host("drives/c/WINNT/system32/config"), 0555}};
  for (const auto& [path, mode] : readOnly) {
    ::chmod(path.c_str(), mode);
    EXPECT_FALSE(ClearEventLogA(log, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << path;
    ::chmod(path.c_str(), mode | 0200);
  }
  // Only what the handle has read may go: unread records keep the log.
  std::vector<EventRecordData> all;
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(ClearEventLogA(log, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CHANGED));
    EXPECT_EQ(Count(log), 20u + round) << "nothing changed";
    EXPECT_EQ(ReadToEnd(log, all), static_cast<DWORD>(ERROR_HANDLE_EOF));
    if (round == 0) Append(LocalSystem(), 21, 1);  // written after the last read
  }
  ASSERT_TRUE(ClearEventLogA(log, "C:\\Logs\\saved.evt"));
  EXPECT_EQ(Count(log), 0u);
  const int fd = ::open(Host("drives/c/Logs/saved.evt").c_str(), O_RDONLY);
  FileSource source(fd);
  LogLayout layout;
  EXPECT_EQ(LocateRecords(source, layout), 0u);
  EXPECT_EQ(layout.RecordCount(), 21u) << "the backup holds what was cleared";
  ::close(fd);

  // The handle goes on with the emptied log.
  Append(LocalSystem(), 1, 3);
  std::vector<EventRecordData> read;
  EXPECT_EQ(ReadToEnd(log, read), static_cast<DWORD>(ERROR_HANDLE_EOF));
  EXPECT_EQ(read.size(), 3u);
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
  ASSERT_NE(log, nullptr);
  std::vector<EventRecordData> read;
  while (read.size() < kTotal) ASSERT_EQ(ReadToEnd(log, read), static_cast<DWORD>(ERROR_HANDLE_EOF));
  writer.join();
  ASSERT_EQ(read.size(), kTotal);
  for (uint32_t i = 0; i < kTotal; ++i) {
    EXPECT_EQ(read[i].recordNumber, i + 1);
    EXPECT_EQ(read[i].data.size(), (i + 1) % 97 * (i > 0));
  }
  CloseEventLog(log);
}

TEST_F(EventLogTest, RealSystemLogThroughTheService) {
  const std::string real = std::string(CORVID_REAL_DATA) + "/SysEvent.Evt";
  if (!std::filesystem::exists(real)) GTEST_SKIP() << "no " << real;
  std::filesystem::create_symlink(real, LocalSystem());
  HANDLE log = OpenEventLogA(nullptr, "System");
  ASSERT_NE(log, nullptr) << GetLastError();
  EXPECT_EQ(Count(log), 6063u);
  std::vector<EventRecordData> read;
  EXPECT_EQ(ReadToEnd(log, read), static_cast<DWORD>(ERROR_HANDLE_EOF));
  ASSERT_EQ(read.size(), 6063u);
  for (size_t i = 0; i < read.size(); ++i) ASSERT_EQ(read[i].recordNumber, 1392 + i);
  EXPECT_EQ(read[1572 - 1392].source, "LSASRV");
  EXPECT_EQ(read[1572 - 1392].strings.size(), 3u);
  CloseEventLog(log);
}

}  // namespace
