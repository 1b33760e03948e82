// The .evt format: records as bytes, logs written and read back (wrapped,
// split at every kind of place, with stale headers), damage of every kind,
// and agreement with an independent reader (evtexport) and a real log.
#include "platform/eventlog/evt_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/evtexport.h"
#include "support/temp_machine.h"

namespace {

using namespace platform::evt;
using Bytes = std::vector<uint8_t>;

uint32_t Get32(const Bytes& b, size_t at) { uint32_t v; std::memcpy(&v, b.data() + at, 4); return v; }
void Set32(Bytes& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
Bytes ReadBytes(const std::string& path) {
  const std::string text = testing_support::ReadFile(path);
  return {text.begin(), text.end()};
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

std::vector<EventRecordData> ReadAll(ByteSource&& source, DWORD* status = nullptr) {
  std::vector<EventRecordData> records;
  DWORD ignored;
  (status ? *status : ignored) =
      ForEachRecord(source, [&](const EventRecordData& r) { return records.push_back(r), true; });
  return records;
}
// The records of a log file, read through the product's windowed source.
std::vector<EventRecordData> ReadAll(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  auto records = ReadAll(FileSource(fd));
  ::close(fd);
  return records;
}
LogLayout Layout(const Bytes& bytes) {
  MemorySource source(bytes);
  LogLayout layout;
  EXPECT_EQ(LocateRecords(source, layout), 0u);
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

TEST(EvtRecord, RoundTripsInBothWidths) {
  std::vector<EventRecordData> cases = {EventRecordData{}, Sample(1), Sample(2), Sample(6), Sample(3)};
  cases.back().strings.assign(300, "");
  cases.back().strings[299] = "last";
  for (size_t n = 1; n < 5; ++n) cases.emplace_back(Sample(4)).data.assign(n, 1);  // every remainder, one byte too
  for (EventRecordData record : cases) {
    record.recordNumber = 77;
    Bytes wide, narrow, direct;
    ASSERT_EQ(EncodeRecord(record, TextWidth::kUtf16, wide), 0u);
    ASSERT_EQ(ToSingleByte(wide, narrow), 0u);
    ASSERT_EQ(EncodeRecord(record, TextWidth::kUtf8, direct), 0u);
    EXPECT_EQ(narrow, direct);
    for (const auto& [width, bytes] : {std::pair{TextWidth::kUtf16, wide}, {TextWidth::kUtf8, narrow}}) {
      EXPECT_EQ(Get32(bytes, 0), bytes.size());
      EXPECT_EQ(Get32(bytes, bytes.size() - 4), bytes.size());
      EXPECT_EQ(Get32(bytes, 44) % 4, 0u) << "the SID starts on a DWORD";
      const size_t padding = bytes.size() - 4 - Get32(bytes, 52) - Get32(bytes, 48);
      EXPECT_TRUE(bytes.size() % 4 == 0 && padding >= 1 && padding <= 4) << "padded like Windows: " << padding;
      EventRecordData back;
      ASSERT_EQ(DecodeRecord(bytes, width, back), 0u);
      EXPECT_EQ(back, record);
    }
  }
}

using Damage = std::function<void(Bytes&)>;

TEST(EvtRecord, MalformedRecordsFailWithCorruptCode) {
  EventRecordData sample = Sample(5);  // a SID and two strings
  sample.data = {1, 2, 3, 4, 5};
  Bytes good;
  ASSERT_EQ(EncodeRecord(sample, TextWidth::kUtf16, good), 0u);
  const auto n = static_cast<uint32_t>(good.size());
  const std::pair<const char*, Damage> cases[] = {
      {"truncated to the fixed part", [](auto& b) { b.resize(40); }},
      {"truncated record", [](auto& b) { b.erase(b.end() - 8, b.end()); }},
      {"Length 0", [](auto& b) { Set32(b, 0, 0); }}, {"Length past the end", [n](auto& b) { Set32(b, 0, n + 4); }},
      {"trailing Length differs", [n](auto& b) { Set32(b, n - 4, 8); }},
      {"no signature", [](auto& b) { b[4] = 'X'; }},
      {"strings offset past the record", [n](auto& b) { Set32(b, 36, n); }},
      {"strings offset inside the fixed part", [](auto& b) { Set32(b, 36, 8); }},
      {"more strings than there are", [](auto& b) { b[26] = 40; }},
      {"SID offset huge", [](auto& b) { Set32(b, 44, 0xFFFFFFF0u); }},
      {"SID length past the end", [n](auto& b) { Set32(b, 40, n); }},
      {"data offset wraps", [](auto& b) { Set32(b, 52, 0xFFFFFFFEu); }},
      {"data length past the end", [](auto& b) { Set32(b, 48, 0x7FFFFFFFu); }},
      {"one byte of data past the end", [n](auto& b) { Set32(b, 48, 1), Set32(b, 52, n); }},
      {"source never ends", [n](auto& b) { std::fill(b.begin() + 56, b.begin() + n - 4, 'A'); }},
  };
  EventRecordData out;
  for (const auto& [name, damage] : cases) {
    Bytes bytes = good, narrow;
    damage(bytes);
    EXPECT_EQ(DecodeRecord(bytes, TextWidth::kUtf16, out), ERROR_EVENTLOG_FILE_CORRUPT) << name;
    EXPECT_EQ(ToSingleByte(bytes, narrow), ERROR_EVENTLOG_FILE_CORRUPT) << name;
  }
  // Windows leaves junk offsets beside zero lengths; those are not damage.
  Set32(good, 48, 0);
  Set32(good, 52, 0xFFFFFFFFu);
  EXPECT_EQ(DecodeRecord(good, TextWidth::kUtf16, out), 0u);
  EXPECT_TRUE(out.data.empty());
}

class EvtLogTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return (machine.root() / name).string(); }
  testing_support::TempMachine machine;
};

TEST_F(EvtLogTest, RecordsReadBackAsWrittenAndNumbered) {
  const std::string path = Path("log.evt");
  EXPECT_EQ(CreateLog(path, 0x80), ERROR_INVALID_PARAMETER) << "too small";
  ASSERT_EQ(CreateLog(path, 0x10000), 0u);
  EXPECT_EQ(ReadBytes(path).size(), kHeaderSize + kEofSize) << "header and cursor only";
  EXPECT_TRUE(ReadAll(path).empty());
  const auto written = WriteLog(path, 0x100000, 200);
  EXPECT_EQ(ReadAll(path), written);
  const LogLayout layout = Layout(ReadBytes(path));
  EXPECT_FALSE(layout.recovered);
  EXPECT_EQ(layout.fileSize, layout.endOffset + kEofSize) << "grows, not yet at MaxSize";
  // Appending later, one by one, goes on with the numbering; a record larger
  // than the whole log is refused and the log kept.
  EventRecordData more = Sample(500);
  ASSERT_EQ(AppendRecord(path, more), 0u);
  EXPECT_EQ(more.recordNumber, 201u);
  EXPECT_EQ(ReadAll(path).back(), more);
  const Bytes before = ReadBytes(path);
  more.data.assign(0x100000, 7);
  EXPECT_EQ(AppendRecord(path, more), ERROR_LOG_FILE_FULL);
  EXPECT_EQ(ReadBytes(path), before);
}

// Every MaxSize here puts the wrap point somewhere else: inside a record's
// fixed part, inside its texts, right after a record, through the cursor.
// A file cut short under a reader: the read that fails leaves nothing of the
// window behind to answer the next one with old bytes.
TEST_F(EvtLogTest, AFailedReadLeavesNoWindowBehind) {
  WriteLog(Path("cut.evt"), 0x80000, 400);  // some 60 KB, past the first window
  const int fd = ::open(Path("cut.evt").c_str(), O_RDWR);
  FileSource source(fd);
  uint8_t bytes[16];
  ASSERT_TRUE(source.ReadAt(0, bytes, sizeof bytes));
  ASSERT_EQ(::ftruncate(fd, 0), 0);
  EXPECT_FALSE(source.ReadAt(0x8000, bytes, sizeof bytes));
  EXPECT_FALSE(source.ReadAt(0, bytes, 1));
  ::close(fd);
}

TEST_F(EvtLogTest, WrappedLogsKeepTheNewestRecordsWhereverTheSplitFalls) {
  for (uint32_t maxSize = 0x400; maxSize < 0x400 + 0x200; maxSize += 4) {
    const auto written = WriteLog(Path("wrap.evt"), maxSize, 60);
    const LogLayout layout = Layout(ReadBytes(Path("wrap.evt")));
    const auto read = ReadAll(Path("wrap.evt"));
    ASSERT_EQ(layout.fileSize, maxSize);
    EXPECT_NE(layout.header.flags & ELF_LOGFILE_HEADER_WRAP, 0u);
    ASSERT_TRUE(read.size() > 5 && read.size() == layout.RecordCount()) << read.size();
    EXPECT_TRUE(std::equal(read.begin(), read.end(), written.end() - read.size())) << "the newest: " << maxSize;
  }
}

// Logs that wrapped to different points: the cursor ends up ahead of the
// stale offset in some and behind it in others, where the scan must go
// round the end of the file to find it. (Appending to such a log: the
// evt_file fuzz target, from its dirty seed.)
TEST_F(EvtLogTest, StaleDirtyHeaderIsRecoveredFromTheCursor) {
  const std::string path = Path("dirty.evt");
  WriteLog(path, 0x800, 10);
  const Bytes early = ReadBytes(path);
  for (uint32_t count : {40u, 46u, 52u, 58u}) {
    const auto written = WriteLog(path, 0x800, count);
    Bytes bytes = ReadBytes(path);
    // The header as it stood after ten records, marked dirty.
    std::copy(early.begin(), early.begin() + kHeaderSize, bytes.begin());
    Set32(bytes, 36, Get32(bytes, 36) | ELF_LOGFILE_HEADER_DIRTY);
    const LogLayout layout = Layout(bytes);
    EXPECT_TRUE(layout.recovered) << count;
    EXPECT_EQ(layout.currentRecordNumber, count + 1);
    const auto read = ReadAll(MemorySource(bytes));
    ASSERT_EQ(read.size(), layout.RecordCount()) << count;
    EXPECT_EQ(read.back(), written.back()) << count;
  }
}

TEST_F(EvtLogTest, DamagedLogsFailWithCorruptCode) {
  const std::string path = Path("base.evt");
  WriteLog(path, 0x1000, 12);
  Bytes good = ReadBytes(path);
  const LogLayout layout = Layout(good);
  const uint32_t first = layout.startOffset, eof = layout.endOffset;  // not wrapped
  const std::pair<const char*, Damage> cases[] = {
      {"nothing", [](auto& b) { b.clear(); }}, {"half a header", [](auto& b) { b.resize(20); }},
      {"header only", [](auto& b) { b.resize(kHeaderSize); }},
      {"header size lies", [](auto& b) { Set32(b, 0, 0x40); }},
      {"end header size lies", [](auto& b) { Set32(b, 44, 0x20); }},
      {"another signature", [](auto& b) { b[4] = 'l'; }}, {"version 2", [](auto& b) { Set32(b, 8, 2); }},
      {"no cursor anywhere", [eof](auto& b) { Set32(b, eof + 4, 0); }},
      {"cursor's oldest beyond the file", [eof](auto& b) { Set32(b, eof + 20, 0x7FFFFFFF); }},
      {"first record Length 0", [first](auto& b) { Set32(b, first, 0); }},
      {"first record Length past the cursor", [first](auto& b) { Set32(b, first, 0x900); }},
      {"first record Length huge", [first](auto& b) { Set32(b, first, 0xFFFFFFF0u); }},
      {"record's strings offset outside it", [first](auto& b) { Set32(b, first + 36, 0x5000); }},
      {"truncated inside the records", [first](auto& b) { b.resize(first + 100); }},
  };
  DWORD status = 0;
  for (const auto& [name, damage] : cases) {
    Bytes bytes = good;
    damage(bytes);
    ReadAll(MemorySource(bytes), &status);
    EXPECT_EQ(status, ERROR_EVENTLOG_FILE_CORRUPT) << name;
  }
  // The header may lie about where things are: the cursor is found anyway.
  Set32(good, 16, 0xFFFFFF00u);
  Set32(good, 20, 0x7FFFFFF0u);
  Set32(good, 24, 3);
  EXPECT_EQ(ReadAll(MemorySource(good), &status).size(), 12u);
  EXPECT_EQ(status, 0u);
}

const std::string kRealLog = CORVID_REAL_DATA "/SysEvent.Evt";

TEST(EvtRealLog, DirtyWrappedSystemLogReadsInFullAsEvtexportReadsIt) {
  if (!std::filesystem::exists(kRealLog)) GTEST_SKIP() << "no " << kRealLog;
  const LogLayout layout = Layout(ReadBytes(kRealLog));
  EXPECT_TRUE(layout.recovered) << "the header is stale";
  EXPECT_EQ(layout.endOffset, 0x1b9674u);
  EXPECT_EQ(layout.startOffset, 0x1e0130u);
  const auto ours = ReadAll(kRealLog);
  ASSERT_EQ(ours.size(), 6063u);
  for (uint32_t i = 0; i < ours.size(); ++i) {
    ASSERT_EQ(ours[i].recordNumber, 1392 + i);
    EXPECT_EQ(ours[i].computer, "WKS-WINXP32BIT");
  }
  EXPECT_EQ(std::count_if(ours.begin(), ours.end(), [](auto& r) { return !r.sid.empty(); }), 1723);
  if (!testing_support::HaveEvtexport()) GTEST_SKIP() << "no /usr/bin/evtexport (Debian's libevt-utils)";
  const auto theirs = testing_support::Evtexport(kRealLog);
  ASSERT_EQ(theirs.size(), 6063u);
  // Record 1572 is split across the wrap.
  for (size_t i = 0; i < ours.size(); i += 13) testing_support::ExpectSame(theirs[i], ours[i]);
  testing_support::ExpectSame(theirs[1572 - 1392], ours[1572 - 1392]);
}

TEST_F(EvtLogTest, EvtexportReadsOurLogsAsWeDo) {
  if (!testing_support::HaveEvtexport()) GTEST_SKIP() << "no /usr/bin/evtexport (Debian's libevt-utils)";
  // Plain, wrapped (various split points), and cursor split at the end.
  const std::pair<uint32_t, uint32_t> cases[] = {{0x10000, 150}, {0x1000, 150}, {0x1204, 97},
                                                 {0x1400, 333},  {0x460, 40},   {0x7f0, 61}};
  for (const auto& [maxSize, records] : cases) {
    SCOPED_TRACE("MaxSize " + std::to_string(maxSize));
    WriteLog(Path("export.evt"), maxSize, records);
    const auto ours = ReadAll(Path("export.evt"));
    const auto theirs = testing_support::Evtexport(Path("export.evt"));
    ASSERT_EQ(theirs.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) testing_support::ExpectSame(theirs[i], ours[i]);
  }
}

}  // namespace
