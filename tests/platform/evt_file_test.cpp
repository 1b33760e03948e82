// The .evt format: records as bytes, logs written and read back (wrapped,
// split at every kind of place, with stale headers), damage of every kind,
// and agreement with an independent reader (evtexport) and a real log.
#include "platform/eventlog/evt_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "support/evtexport.h"
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_machine.h"

namespace {

using namespace platform::evt;
using testing_support::TempMachine;

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// Record i of a made-up log: sizes vary with i so that records fall across
// the wrap point at many different places.
EventRecordData Sample(uint32_t i) {
  EventRecordData r;
  r.timeGenerated = 1300000000 + i * 7;
  r.timeWritten = r.timeGenerated + i % 3;
  r.eventId = 0xC0000000u | (i * 2654435761u >> 4);
  r.eventType = static_cast<uint16_t>(1u << (i % 5));
  r.eventCategory = static_cast<uint16_t>(i % 4);
  r.source = i % 4 == 0 ? "Service Control Manager" : "Src" + std::to_string(i % 5);
  r.computer = "PDC01";
  r.strings = {"text " + std::string(i % 11, 'x'), std::to_string(i)};
  if (i % 6 == 0) r.strings.push_back("Grüße €");
  if (i % 2 == 1) r.sid = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  if (i % 3 == 2) r.data.assign(i % 13 + 1, static_cast<uint8_t>(i));
  return r;
}

std::vector<EventRecordData> ReadAll(ByteSource& source, DWORD* status = nullptr) {
  std::vector<EventRecordData> records;
  const DWORD s = ForEachRecord(source, [&](const EventRecordData& r) {
    records.push_back(r);
    return true;
  });
  if (status != nullptr) *status = s;
  return records;
}

std::vector<EventRecordData> ReadAllFromFile(const std::string& path, DWORD* status = nullptr) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  FileSource source(fd);
  auto records = ReadAll(source, status);
  ::close(fd);
  return records;
}

LogLayout LayoutOf(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  FileSource source(fd);
  LogLayout layout;
  EXPECT_EQ(LocateRecords(source, layout), 0u);
  ::close(fd);
  return layout;
}

// Writes `count` sample records into a new log of `maxSize` bytes.
std::vector<EventRecordData> WriteLog(const std::string& path, uint32_t maxSize, uint32_t count) {
  EXPECT_EQ(CreateLog(path, maxSize), 0u);
  std::vector<EventRecordData> records;
  for (uint32_t i = 1; i <= count; ++i) records.push_back(Sample(i));
  EXPECT_EQ(AppendRecords(path, records), 0u);
  return records;
}

// --- Records ---

TEST(EvtRecord, RoundTripsInBothWidths) {
  const std::vector<EventRecordData> cases = [] {
    std::vector<EventRecordData> c;
    c.push_back(EventRecordData{});  // nothing at all
    c.push_back(Sample(1));
    c.push_back(Sample(2));
    c.push_back(Sample(6));
    EventRecordData many = Sample(3);
    many.strings.assign(300, "");
    many.strings[299] = "last";
    c.push_back(many);
    return c;
  }();
  for (const TextWidth width : {TextWidth::kUtf16, TextWidth::kUtf8}) {
    for (EventRecordData record : cases) {
      record.recordNumber = 77;
      std::vector<uint8_t> bytes;
      ASSERT_EQ(EncodeRecord(record, width, bytes), 0u);
      EXPECT_EQ(bytes.size() % 4, 0u);
      EXPECT_EQ(Get32(bytes, 0), bytes.size());
      EXPECT_EQ(Get32(bytes, bytes.size() - 4), bytes.size());
      EXPECT_EQ(Get32(bytes, 4), kSignature);
      EXPECT_EQ(Get32(bytes, 44) % 4, 0u) << "the SID starts on a DWORD";
      EventRecordData back;
      ASSERT_EQ(DecodeRecord(bytes, width, back), 0u);
      EXPECT_EQ(back, record);
    }
  }
}

TEST(EvtRecord, SingleByteVariantHasUtf8TextsAndItsOwnOffsets) {
  EventRecordData record = Sample(6);
  record.source = "Service Control Manager";
  record.strings = {"text xxxxxx", "Grüße €", ""};
  record.sid = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 32, 2, 0, 0};
  record.recordNumber = 9;
  std::vector<uint8_t> wide, narrow;
  ASSERT_EQ(EncodeRecord(record, TextWidth::kUtf16, wide), 0u);
  Set32(wide, 32, 0xABCD);  // ClosingRecordNumber travels along
  ASSERT_EQ(ToSingleByte(wide, narrow), 0u);
  EXPECT_LT(narrow.size(), wide.size());
  EXPECT_EQ(Get32(narrow, 32), 0xABCDu);
  EventRecordData back;
  ASSERT_EQ(DecodeRecord(narrow, TextWidth::kUtf8, back), 0u);
  EXPECT_EQ(back, record);
  // The texts as the gatherer walks them: source right at 56, computer next.
  EXPECT_STREQ(reinterpret_cast<const char*>(&narrow[56]), "Service Control Manager");
  EXPECT_STREQ(reinterpret_cast<const char*>(&narrow[56 + 24]), "PDC01");
  const uint32_t strings = Get32(narrow, 36);
  EXPECT_STREQ(reinterpret_cast<const char*>(&narrow[strings]), "text xxxxxx");
  const uint32_t sidOffset = Get32(narrow, 44);
  EXPECT_EQ(std::vector<uint8_t>(narrow.begin() + sidOffset, narrow.begin() + sidOffset + 16),
            record.sid);
}

TEST(EvtRecord, PadsLikeWindowsWithOneToFourBytes) {
  // Data lengths 0..3 after the same texts cover every remainder.
  std::vector<size_t> paddings;
  for (int extra = 0; extra < 4; ++extra) {
    EventRecordData record;
    record.source = "S";
    record.computer = "C";
    record.data.assign(static_cast<size_t>(extra) + 4, 1);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(EncodeRecord(record, TextWidth::kUtf8, bytes), 0u);
    const uint32_t dataEnd = Get32(bytes, 52) + Get32(bytes, 48);
    const size_t padding = bytes.size() - 4 - dataEnd;
    paddings.push_back(padding);
  }
  EXPECT_EQ(paddings, (std::vector<size_t>{4, 3, 2, 1}));
}

TEST(EvtRecord, MalformedRecordsFailWithCorruptCode) {
  EventRecordData sample = Sample(5);  // a SID and two strings
  sample.data = {1, 2, 3, 4, 5};
  std::vector<uint8_t> good;
  ASSERT_EQ(EncodeRecord(sample, TextWidth::kUtf16, good), 0u);
  const size_t n = good.size();
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
  };
  const std::vector<Case> cases = {
      {"truncated to the fixed part", [](auto& b) { b.resize(40); }},
      {"truncated record", [](auto& b) { b.erase(b.end() - 8, b.end()); }},
      {"Length 0", [](auto& b) { Set32(b, 0, 0); }},
      {"Length past the end", [](auto& b) { Set32(b, 0, static_cast<uint32_t>(b.size() + 4)); }},
      {"trailing Length differs", [](auto& b) { Set32(b, b.size() - 4, 8); }},
      {"no signature", [](auto& b) { b[4] = 'X'; }},
      {"strings offset past the record", [n](auto& b) { Set32(b, 36, static_cast<uint32_t>(n)); }},
      {"strings offset inside the fixed part", [](auto& b) { Set32(b, 36, 8); }},
      {"more strings than there are", [](auto& b) { b[26] = 40; }},
      {"SID offset huge", [](auto& b) { Set32(b, 44, 0xFFFFFFF0u); }},
      {"SID length past the end", [n](auto& b) { Set32(b, 40, static_cast<uint32_t>(n)); }},
      {"data offset wraps", [](auto& b) { Set32(b, 52, 0xFFFFFFFEu); }},
      {"data length past the end", [](auto& b) { Set32(b, 48, 0x7FFFFFFFu); }},
      {"source never ends",
       [n](auto& b) {
         for (size_t i = 56; i < n - 4; ++i) b[i] = 'A';
       }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    EventRecordData out;
    std::vector<uint8_t> narrow;
    EXPECT_EQ(DecodeRecord(bytes, TextWidth::kUtf16, out), ERROR_EVENTLOG_FILE_CORRUPT) << c.name;
    EXPECT_EQ(ToSingleByte(bytes, narrow), ERROR_EVENTLOG_FILE_CORRUPT) << c.name;
  }
  // Windows leaves junk offsets beside zero lengths; those are not damage.
  std::vector<uint8_t> junk = good;
  Set32(junk, 48, 0);
  Set32(junk, 52, 0xFFFFFFFFu);
  EventRecordData out;
  EXPECT_EQ(DecodeRecord(junk, TextWidth::kUtf16, out), 0u);
  EXPECT_TRUE(out.data.empty());
}

// --- Logs ---

class EvtLogTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return (machine.root() / name).string(); }
  TempMachine machine;
};

TEST_F(EvtLogTest, EmptyLogHasHeaderAndCursorOnly) {
  const std::string path = Path("empty.evt");
  ASSERT_EQ(CreateLog(path, 0x10000), 0u);
  const std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), kHeaderSize + kEofSize);
  EXPECT_EQ(Get32(bytes, 0), 0x30u);
  EXPECT_EQ(Get32(bytes, 24), 1u) << "next record number";
  EXPECT_EQ(Get32(bytes, 28), 0u) << "oldest of an empty log";
  EXPECT_EQ(Get32(bytes, 32), 0x10000u);
  EXPECT_EQ(Get32(bytes, 0x30 + 4), 0x11111111u);
  DWORD status = 1;
  EXPECT_TRUE(ReadAllFromFile(path, &status).empty());
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(LayoutOf(path).RecordCount(), 0u);
  EXPECT_EQ(CreateLog(path, 0x80), ERROR_INVALID_PARAMETER);
}

TEST_F(EvtLogTest, RecordsReadBackAsWrittenAndNumbered) {
  const std::string path = Path("log.evt");
  const auto written = WriteLog(path, 0x100000, 200);
  const auto read = ReadAllFromFile(path);
  ASSERT_EQ(read.size(), 200u);
  for (uint32_t i = 0; i < 200; ++i) {
    EXPECT_EQ(read[i].recordNumber, i + 1);
    EXPECT_EQ(read[i], written[i]);
  }
  const LogLayout layout = LayoutOf(path);
  EXPECT_FALSE(layout.recovered);
  EXPECT_EQ(layout.RecordCount(), 200u);
  EXPECT_EQ(layout.header.flags & ELF_LOGFILE_HEADER_WRAP, 0u);
  EXPECT_EQ(layout.fileSize, layout.endOffset + kEofSize) << "grows, not yet at MaxSize";

  // Appending later, one by one, goes on with the numbering.
  EventRecordData more = Sample(500);
  ASSERT_EQ(AppendRecord(path, more), 0u);
  EXPECT_EQ(more.recordNumber, 201u);
  EXPECT_EQ(ReadAllFromFile(path).back(), more);
}

// Every MaxSize here puts the wrap point somewhere else: inside a record's
// fixed part, inside its texts, right after a record, through the cursor.
TEST_F(EvtLogTest, WrappedLogsKeepTheNewestRecordsWhereverTheSplitFalls) {
  int splitRecords = 0, splitCursors = 0;
  for (uint32_t maxSize = 0x400; maxSize < 0x400 + 0x200; maxSize += 4) {
    const std::string path = Path("wrap.evt");
    const auto written = WriteLog(path, maxSize, 60);
    const LogLayout layout = LayoutOf(path);
    ASSERT_EQ(layout.fileSize, maxSize);
    EXPECT_NE(layout.header.flags & ELF_LOGFILE_HEADER_WRAP, 0u);
    EXPECT_EQ(layout.currentRecordNumber, 61u);
    if (layout.endOffset + kEofSize > maxSize) ++splitCursors;

    const int fd = ::open(path.c_str(), O_RDONLY);
    FileSource source(fd);
    RecordReader reader(source, layout);
    std::vector<uint8_t> bytes;
    uint32_t expect = layout.oldestRecordNumber;
    while (!reader.AtEnd()) {
      const uint32_t at = reader.Offset();
      ASSERT_EQ(reader.Next(bytes), 0u) << maxSize;
      if (at + bytes.size() > maxSize) ++splitRecords;
      EventRecordData record;
      ASSERT_EQ(DecodeRecord(bytes, TextWidth::kUtf16, record), 0u);
      EXPECT_EQ(record, written[expect - 1]) << "MaxSize " << maxSize;
      ++expect;
    }
    ::close(fd);
    EXPECT_EQ(expect, 61u) << "ends with the newest record";
    EXPECT_GT(layout.RecordCount(), 5u);
    EXPECT_LT(layout.RecordCount(), 60u);
  }
  EXPECT_GT(splitRecords, 50);
  EXPECT_GE(splitCursors, 3);
}

TEST_F(EvtLogTest, OversizedRecordIsRefusedAndTheLogKept) {
  const std::string path = Path("small.evt");
  WriteLog(path, 0x400, 3);
  const std::vector<uint8_t> before = ReadBytes(path);
  EventRecordData huge = Sample(1);
  huge.data.assign(0x400, 7);
  EXPECT_EQ(AppendRecord(path, huge), ERROR_LOG_FILE_FULL);
  EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(EvtLogTest, StaleDirtyHeaderIsRecoveredFromTheCursor) {
  const std::string path = Path("dirty.evt");
  WriteLog(path, 0x800, 10);
  const std::vector<uint8_t> early = ReadBytes(path);
  const auto written = WriteLog(path, 0x800, 40);  // wraps
  std::vector<uint8_t> bytes = ReadBytes(path);
  // The header as it stood after ten records, marked dirty.
  std::copy(early.begin(), early.begin() + kHeaderSize, bytes.begin());
  Set32(bytes, 36, Get32(bytes, 36) | ELF_LOGFILE_HEADER_DIRTY);
  WriteBytes(path, bytes);

  const LogLayout layout = LayoutOf(path);
  EXPECT_TRUE(layout.recovered);
  EXPECT_EQ(layout.currentRecordNumber, 41u);
  const auto read = ReadAllFromFile(path);
  ASSERT_FALSE(read.empty());
  EXPECT_EQ(read.back(), written.back());
  EXPECT_EQ(read.size(), layout.RecordCount());

  // The next append trusts the cursor too, and leaves a clean header.
  EventRecordData more = Sample(99);
  ASSERT_EQ(AppendRecord(path, more), 0u);
  EXPECT_EQ(more.recordNumber, 41u);
  const LogLayout after = LayoutOf(path);
  EXPECT_FALSE(after.recovered);
  EXPECT_EQ(after.header.flags & ELF_LOGFILE_HEADER_DIRTY, 0u);
}

TEST_F(EvtLogTest, DamagedLogsFailWithCorruptCode) {
  const std::string path = Path("base.evt");
  WriteLog(path, 0x1000, 12);
  const std::vector<uint8_t> good = ReadBytes(path);
  const LogLayout layout = LayoutOf(path);
  const uint32_t first = layout.startOffset;  // 0x30, not wrapped
  const uint32_t eof = layout.endOffset;
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
  };
  const std::vector<Case> cases = {
      {"nothing", [](auto& b) { b.clear(); }},
      {"half a header", [](auto& b) { b.resize(20); }},
      {"header only", [](auto& b) { b.resize(kHeaderSize); }},
      {"header size lies", [](auto& b) { Set32(b, 0, 0x40); }},
      {"end header size lies", [](auto& b) { Set32(b, 44, 0x20); }},
      {"another signature", [](auto& b) { b[4] = 'l'; }},
      {"version 2", [](auto& b) { Set32(b, 8, 2); }},
      {"no cursor anywhere", [eof](auto& b) { Set32(b, eof + 4, 0); }},
      {"cursor's oldest beyond the file", [eof](auto& b) { Set32(b, eof + 20, 0x7FFFFFFF); }},
      {"first record Length 0", [first](auto& b) { Set32(b, first, 0); }},
      {"first record Length past the cursor", [first](auto& b) { Set32(b, first, 0x900); }},
      {"first record Length huge", [first](auto& b) { Set32(b, first, 0xFFFFFFF0u); }},
      {"record's strings offset outside it", [first](auto& b) { Set32(b, first + 36, 0x5000); }},
      {"truncated inside the records", [first](auto& b) { b.resize(first + 100); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    MemorySource source(bytes);
    DWORD status = 0;
    ReadAll(source, &status);
    EXPECT_EQ(status, ERROR_EVENTLOG_FILE_CORRUPT) << c.name;
  }
  // The header may lie about where things are: the cursor is found anyway.
  std::vector<uint8_t> lying = good;
  Set32(lying, 16, 0xFFFFFF00u);
  Set32(lying, 20, 0x7FFFFFF0u);
  Set32(lying, 24, 3);
  MemorySource source(lying);
  DWORD status = 1;
  EXPECT_EQ(ReadAll(source, &status).size(), 12u);
  EXPECT_EQ(status, 0u);
}

TEST_F(EvtLogTest, ClearEmptiesTheLogAndKeepsItsSize) {
  const std::string path = Path("clear.evt");
  WriteLog(path, 0x2000, 30);
  const std::vector<uint8_t> before = ReadBytes(path);
  const std::string backup = Path("backup.evt");
  ASSERT_EQ(ClearLog(path, &backup), 0u);
  EXPECT_EQ(ReadBytes(backup), before);
  EXPECT_TRUE(ReadAllFromFile(path).empty());
  EXPECT_EQ(LayoutOf(path).header.maxSize, 0x2000u);
  EventRecordData first = Sample(1);
  ASSERT_EQ(AppendRecord(path, first), 0u);
  EXPECT_EQ(first.recordNumber, 1u) << "numbering starts again";

  EXPECT_EQ(ClearLog(path, &backup), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ReadAllFromFile(path).size(), 1u) << "a failed backup clears nothing";
  EXPECT_EQ(ClearLog(Path("missing.evt")), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(EvtLogTest, ReadOnlyLogOrFolderIsNotCleared) {
  const std::string path = Path("ro/log.evt");
  std::filesystem::create_directories(machine.root() / "ro");
  WriteLog(path, 0x2000, 5);
  const std::vector<uint8_t> before = ReadBytes(path);
  ::chmod(path.c_str(), 0444);
  EXPECT_EQ(ClearLog(path), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadBytes(path), before);
  ::chmod(path.c_str(), 0644);
  ::chmod((machine.root() / "ro").c_str(), 0555);
  EXPECT_EQ(ClearLog(path), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadBytes(path), before);
  ::chmod((machine.root() / "ro").c_str(), 0755);
  EXPECT_EQ(ClearLog(path), 0u);
}

// --- A real log ---

std::string RealLog() { return std::string(CORVID_REAL_DATA) + "/SysEvent.Evt"; }

TEST(EvtRealLog, DirtyWrappedSystemLogReadsInFull) {
  if (!std::filesystem::exists(RealLog())) GTEST_SKIP() << "no " << RealLog();
  const int fd = ::open(RealLog().c_str(), O_RDONLY);
  FileSource source(fd);
  LogLayout layout;
  ASSERT_EQ(LocateRecords(source, layout), 0u);
  EXPECT_TRUE(layout.recovered) << "the header is stale";
  EXPECT_EQ(layout.endOffset, 0x1b9674u);
  EXPECT_EQ(layout.startOffset, 0x1e0130u);
  EXPECT_EQ(layout.RecordCount(), 6063u);

  RecordReader reader(source, layout);
  std::vector<uint8_t> bytes, narrow;
  uint32_t expect = 1392, withSid = 0;
  while (!reader.AtEnd()) {
    const uint32_t at = reader.Offset();
    ASSERT_EQ(reader.Next(bytes), 0u) << expect;
    EventRecordData record;
    ASSERT_EQ(DecodeRecord(bytes, TextWidth::kUtf16, record), 0u) << expect;
    ASSERT_EQ(ToSingleByte(bytes, narrow), 0u);
    ASSERT_EQ(record.recordNumber, expect);
    EXPECT_EQ(record.computer, "WKS-WINXP32BIT");
    if (!record.sid.empty()) ++withSid;
    if (expect == 1572) {
      EXPECT_EQ(at, 0x1eff10u);
      EXPECT_EQ(bytes.size(), 344u);
      EXPECT_GT(at + bytes.size(), layout.fileSize) << "split across the wrap";
    }
    ++expect;
  }
  ::close(fd);
  EXPECT_EQ(expect, 7455u);
  EXPECT_EQ(withSid, 1723u);
}

// --- Agreement with evtexport ---

using testing_support::Evtexport;
using testing_support::ExpectSame;
using testing_support::HaveEvtexport;

TEST_F(EvtLogTest, EvtexportReadsOurLogsAsWeDo) {
  if (!HaveEvtexport()) GTEST_SKIP() << "no /usr/bin/evtexport (Debian's libevt-utils)";
  struct Case {
    uint32_t maxSize;
    uint32_t records;
  };
  // Plain, wrapped (various split points), and cursor split at the end.
  const std::vector<Case> cases = {{0x10000, 150}, {0x1000, 150}, {0x1204, 97},
                                   {0x1400, 333},  {0x460, 40},   {0x7f0, 61}};
  for (const Case& c : cases) {
    SCOPED_TRACE("MaxSize " + std::to_string(c.maxSize));
    const std::string path = Path("export.evt");
    WriteLog(path, c.maxSize, c.records);
    const auto ours = ReadAllFromFile(path);
    const auto theirs = Evtexport(path);
    ASSERT_EQ(theirs.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) ExpectSame(theirs[i], ours[i]);
  }
}

TEST(EvtRealLog, EvtexportAgreesOnASample) {
  if (!HaveEvtexport()) GTEST_SKIP() << "no /usr/bin/evtexport (Debian's libevt-utils)";
  if (!std::filesystem::exists(RealLog())) GTEST_SKIP() << "no " << RealLog();
  const auto theirs = Evtexport(RealLog());
  ASSERT_EQ(theirs.size(), 6063u);
  const int fd = ::open(RealLog().c_str(), O_RDONLY);
  FileSource source(fd);
  size_t index = 0;
  int compared = 0;
  ForEachRecord(source, [&](const EventRecordData& record) {
    if (index % 13 == 0 || record.recordNumber == 1572) {
      ExpectSame(theirs[index], record);
      ++compared;
    }
    ++index;
    return true;
  });
  ::close(fd);
  EXPECT_EQ(index, 6063u);
  EXPECT_GT(compared, 400);
}

}  // namespace
