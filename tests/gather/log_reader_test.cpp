// The reader's own rules, with the event log and the database replaced at
// their seams: the skip rule by written time, the commit cadence, the
// buffer growth of a read, cancels, and records that cannot be walked.
#include <gtest/gtest.h>

#include <algorithm>

#include "config/settings_store.h"
#include "gather/gather_run.h"
#include "gather/log_reader.h"
#include "platform/base/last_error.h"
#include "platform/eventlog/evt_file.h"
#include "common/computer_list.h"
#include "support/temp_machine.h"

namespace {

std::vector<uint8_t> Records(const std::vector<uint32_t>& writtenTimes) {
  std::vector<uint8_t> bytes;
  for (uint32_t time : writtenTimes) {
    platform::evt::EventRecordData data;
    // Constructed strings: GCC 12 at -O2 warns falsely of an uninitialised
    // buffer when a short literal is assigned here.
    data.source = std::string("Src");
    data.computer = std::string("PC");
    data.timeWritten = data.timeGenerated = time;
    std::vector<uint8_t> one;
    platform::evt::EncodeRecord(data, platform::evt::TextWidth::kUtf8, one);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return bytes;
}

// A database that accepts everything and remembers the order of inserts
// ("E") and commits ("C"); it asks for a cancel at a given insert.
class LogReaderTest : public ::testing::Test, public platform::OdbcWrapper {
 protected:
  LogReaderTest() : OdbcWrapper(platform::OdbcService::Default()) {}
  void SetUp() override {
    corvid::Settings = corvid::AppSettings{};
    reader.sourceTable = std::make_unique<corvid::EventSourceTable>();
  }
  void TearDown() override { corvid::cancelRequested = 0; }
  SQLRETURN SQLBindParameter(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN, SQLSMALLINT,
                             SQLPOINTER, SQLLEN, SQLLEN*) override {
    return SQL_SUCCESS;
  }
  SQLRETURN SQLExecute(SQLHSTMT) override {
    trace += "E";
    if (++inserts == cancelAt) corvid::cancelRequested = 1;
    return SQL_SUCCESS;
  }
  SQLRETURN SQLTransact(SQLHENV, SQLHDBC, SQLUSMALLINT) override {
    trace += "C";
    return SQL_SUCCESS;
  }
  // Walks one bufferful of records written at `times`, record `broken`
  // given a length of 0 if asked.
  bool Walk(const std::vector<uint32_t>& times, int broken = -1) {
    reader.buffer = Records(times);
    uint8_t* record = reader.buffer.data();
    for (int i = 0; i < broken; ++i) record += reinterpret_cast<EVENTLOGRECORD*>(record)->Length;
    if (broken >= 0) reinterpret_cast<EVENTLOGRECORD*>(record)->Length = 0;
    reader.bufferSize = reader.bytesRead = static_cast<DWORD>(reader.buffer.size());
    if (reader.recordCount == 0) reader.recordCount = static_cast<DWORD>(times.size());
    return reader.WalkBatch(session);
  }

  std::string trace;
  int inserts = 0, cancelAt = 0;
  platform::Override<platform::OdbcService> use{*this};
  corvid::LogReader reader{"System", nullptr};
  corvid::OdbcSession session;
};

TEST_F(LogReaderTest, SkipsByWrittenTimeAndCountsTheRowsStoredAtTheHorizon) {
  reader.storedNewest = 1000;
  reader.storedAtNewest = 2;
  ASSERT_TRUE(Walk({999, 1000, 1000, 1000, 1001, 998}));
  EXPECT_EQ(inserts, 2) << "the third record at 1000, and the one at 1001";
  EXPECT_EQ(reader.skippedAtNewest, 2u);
  EXPECT_EQ(reader.recordsProcessed, 6u);
}

// Unsigned period (a negative one from the dialog commits only at the last record).
TEST_F(LogReaderTest, CommitsEveryPeriodPlusOneRowsAndWithTheLastCountedRecord) {
  corvid::Settings.TransactionPeriod = 2;
  ASSERT_TRUE(Walk({1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(trace, "EEECEEECEC");
}

TEST_F(LogReaderTest, ACancelStopsAfterTheRecordInHandAndARecordThatCannotBeOneEndsTheLog) {
  cancelAt = 2;
  EXPECT_FALSE(Walk({1, 2, 3, 4}));
  EXPECT_EQ(reader.status, corvid::kStatusCancelled);
  EXPECT_EQ(inserts, 2);
  EXPECT_EQ(reader.recordsProcessed, 2u);
  // A cancel already set walks nothing at all.
  reader.recordsProcessed = 0;
  EXPECT_FALSE(Walk({1, 2}));
  EXPECT_EQ(reader.recordsProcessed, 0u);

  corvid::cancelRequested = 0;
  EXPECT_FALSE(Walk({1, 2}, 0));
  EXPECT_EQ(reader.status, corvid::kStatusUnableToRead);
  EXPECT_EQ(inserts, 2);
  // Rows are built some records ahead of storing; still nothing past the record in hand is stored.
  std::tie(inserts, cancelAt, reader.recordsProcessed) = std::make_tuple(0, 18, 0);
  EXPECT_FALSE(Walk(std::vector<uint32_t>(20, 5)));
  EXPECT_EQ(std::make_pair(inserts, reader.recordsProcessed), std::make_pair(18, 18u));
  std::tie(inserts, cancelAt, corvid::cancelRequested) = std::make_tuple(0, 0, 0);
  EXPECT_FALSE(Walk(std::vector<uint32_t>(20, 5), 19));
  EXPECT_EQ(std::make_pair(inserts, reader.status), std::make_pair(19, int32_t{corvid::kStatusUnableToRead}));
}

// An event log of three records that answers reads from a script: an
// error (with the size needed, for 122) or records.
class ScriptedLog : public platform::EventLogWrapper {
 public:
  ScriptedLog() : EventLogWrapper(platform::EventLogService::Default()) {}
  struct Answer {
    DWORD error, needed;
    std::vector<uint32_t> records;
  };
  HANDLE OpenEventLog(const char* server, const char*) override {
    opened = server;
    return reinterpret_cast<HANDLE>(this);
  }
  BOOL GetNumberOfEventLogRecords(HANDLE, DWORD* count) override {
    *count = 3;
    return TRUE;
  }
  BOOL ReadEventLog(HANDLE, DWORD, DWORD, void* buffer, DWORD size, DWORD* read, DWORD* needed) override {
    sizes.push_back(size);
    const Answer answer = answers.at(sizes.size() - 1);
    const std::vector<uint8_t> bytes = Records(answer.records);
    std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(buffer));
    *read = static_cast<DWORD>(bytes.size());
    *needed = answer.needed;
    SetLastError(answer.error);
    return answer.error == 0;
  }
  BOOL CloseEventLog(HANDLE) override { return TRUE; }
  std::vector<Answer> answers;
  std::vector<DWORD> sizes;
  std::string opened;
};

TEST(LogReaderReads, GrowTheBufferForABigRecordAtMostTwiceACall) {
  testing_support::TempMachine machine;  // a network without that computer
  ScriptedLog log;
  platform::Override<platform::EventLogService> use(log);
  corvid::LogReader reader("System", nullptr);
  reader.OpenLog(std::string(60, 'N').c_str());  // the registry of that computer cannot be read
  EXPECT_EQ(log.opened, std::string(49, 'N')) << "the name cut to 49 characters";
  EXPECT_EQ(reader.recordCount, 3u);
  EXPECT_EQ(reader.status, corvid::kStatusRegistryUnavailable);
  EXPECT_EQ(reader.errorCode, ERROR_BAD_NETPATH);

  reader.logHandle = reinterpret_cast<HANDLE>(&log);
  reader.NewBuffer(corvid::kFirstBufferSize);
  log.answers = {{122, 12000, {}}, {0, 0, {1}},      // grows, then reads
                 {122, 15000, {}}, {122, 16000, {}},  // grows twice: nothing read
                 {0, 0, {2}}, {38, 0, {}}};
  EXPECT_TRUE(reader.ReadNextBatch());
  EXPECT_EQ(reader.bufferSize, 12000u);
  EXPECT_GT(reader.bytesRead, 0u);
  EXPECT_TRUE(reader.ReadNextBatch());
  EXPECT_EQ(reader.bytesRead, 0u);
  EXPECT_EQ(reader.bufferSize, 16000u);
  EXPECT_TRUE(reader.ReadNextBatch());
  EXPECT_FALSE(reader.ReadNextBatch());
  EXPECT_EQ(reader.status, corvid::kStatusUnableToRead);
  EXPECT_EQ(reader.errorCode, 38);
  EXPECT_EQ(log.sizes, (std::vector<DWORD>{10000, 12000, 12000, 15000, 16000, 16000}));
  reader.logHandle = nullptr;
}

}  // namespace
