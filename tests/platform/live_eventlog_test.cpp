// The event log service on the live network, against Samba's smbd: what
// eventlogadm wrote comes back whole in our layout, counted as rpcclient
// counts it; a clear loses nothing written after the last read; failures
// give the codes the folder network gives.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/eventlog/even_rpc.h"
#include "platform/eventlog/eventlog.h"
#include "platform/eventlog/evt_file.h"
#include "platform/rpc/dcerpc.h"
#include "platform/smb/smb_network.h"
#include "support/samba_server.h"
#include "support/sample_network.h"
#include "support/temp_machine.h"

namespace {

using platform::evt::EventRecordData;
using testing_support::SambaComputer;
using testing_support::SambaRecord;
using testing_support::ScopedEnv;

constexpr const char* kComputer = "LIVEPDC";

class LiveEventLog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server.ok()) SAMBA_UNAVAILABLE(server);
    machine.Write("lmhosts", std::string(server.address()) + " " + kComputer + "\n127.0.0.9 LIVEOFF\n");
  }

  static uint32_t Now() { return static_cast<uint32_t>(::time(nullptr)); }
  static SambaRecord Simple(uint32_t written, uint32_t eventId) {
    SambaRecord r;
    r.written = written;
    r.eventId = eventId;
    r.source = "S";
    r.computer = kComputer;
    return r;
  }

  SambaComputer server{kComputer, "127.0.0.2"};
  testing_support::TempMachine machine;
  ScopedEnv network{"CORVID_NETWORK", std::string("smb:")};
  ScopedEnv auth{"CORVID_SMB_AUTH", server.authFile()};
};

TEST_F(LiveEventLog, GivesWhatEventlogadmWroteInOurLayout) {
  std::vector<SambaRecord> written;
  const uint32_t now = Now();
  for (uint32_t i = 0; i < 300; ++i) {
    SambaRecord r = Simple(now - 600 + i, 1000 + i);
    r.type = i % 3 == 0 ? "ERROR" : "INFO";
    r.category = static_cast<uint16_t>(i % 5);
    r.source = "CorvidTest";
    r.strings = {"Grüße " + std::to_string(i), "日本語 \xF0\x9F\x90\xA6"};
    // Larger in our layout than the reader's first buffer (eventlogadm
    // takes lines of up to 1 KiB).
    if (i == 150) r.strings.insert(r.strings.end(), 30, std::string(500, 'x'));
    written.push_back(r);
  }
  ASSERT_TRUE(server.Write("Application", written));
  ASSERT_EQ(server.RecordCount("Application"), 300);

  HANDLE log = OpenEventLogA(kComputer, "Application");
  ASSERT_NE(log, nullptr) << GetLastError();
  DWORD count = 0;
  ASSERT_TRUE(GetNumberOfEventLogRecords(log, &count));
  EXPECT_EQ(count, 300u);

  std::vector<uint8_t> buffer(10000);
  std::vector<EventRecordData> read;
  DWORD neededBefore = 0;
  for (;;) {
    DWORD bytes = 0;
    DWORD needed = 0;
    if (!ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &bytes, &needed)) {
      const DWORD code = GetLastError();
      if (code != ERROR_INSUFFICIENT_BUFFER) {
        EXPECT_EQ(code, static_cast<DWORD>(ERROR_HANDLE_EOF));
        break;
      }
      neededBefore = needed;
      buffer.resize(needed);
      continue;
    }
    for (DWORD offset = 0; offset < bytes;) {
      const auto* fixed = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + offset);
      ASSERT_LE(fixed->Length, bytes - offset);
      if (neededBefore != 0) {
        EXPECT_EQ(fixed->Length, neededBefore) << "the size asked for is the record's in our layout";
        neededBefore = 0;
      }
      EventRecordData record;
      ASSERT_EQ(platform::evt::DecodeRecord({buffer.data() + offset, fixed->Length},
                                            platform::evt::TextWidth::kUtf8, record),
                ERROR_SUCCESS);
      read.push_back(record);
      offset += fixed->Length;
    }
  }
  ASSERT_EQ(read.size(), written.size());
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].recordNumber, read[0].recordNumber + i);
    EXPECT_EQ(read[i].timeWritten, written[i].written);
    EXPECT_EQ(read[i].eventId, written[i].eventId);
    EXPECT_EQ(read[i].eventType, i % 3 == 0 ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(read[i].eventCategory, written[i].category);
    EXPECT_EQ(read[i].source, written[i].source);
    EXPECT_EQ(read[i].computer, written[i].computer);
    EXPECT_TRUE(read[i].strings == written[i].strings) << i;
  }
  EXPECT_TRUE(CloseEventLog(log));
}

TEST_F(LiveEventLog, ClearsOnlyWhenEveryRecordWasRead) {
  const uint32_t now = Now();
  ASSERT_TRUE(server.Write("System", {Simple(now - 10, 1),
                                      Simple(now - 9, 2)}));
  HANDLE log = OpenEventLogA(kComputer, "System");
  ASSERT_NE(log, nullptr) << GetLastError();
  EXPECT_FALSE(ClearEventLogA(log, nullptr)) << "nothing read yet";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CHANGED));

  std::vector<uint8_t> buffer(10000);
  DWORD bytes = 0;
  DWORD needed = 0;
  ASSERT_TRUE(ReadEventLogA(log, 5, 0, buffer.data(), 10000, &bytes, &needed));
  ASSERT_TRUE(server.Write("System", {Simple(now - 8, 3)}));
  EXPECT_FALSE(ClearEventLogA(log, nullptr)) << "a record arrived after the read";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CHANGED));
  EXPECT_EQ(server.RecordCount("System"), 3);

  ASSERT_TRUE(ReadEventLogA(log, 5, 0, buffer.data(), 10000, &bytes, &needed));
  EXPECT_EQ(reinterpret_cast<const EVENTLOGRECORD*>(buffer.data())->EventID, 3u);
  EXPECT_TRUE(ClearEventLogA(log, nullptr)) << GetLastError();
  EXPECT_EQ(server.RecordCount("System"), 0);
  EXPECT_TRUE(CloseEventLog(log));
}

TEST_F(LiveEventLog, FailuresGiveTheirCodes) {
  const std::string wrong = (machine.root() / "wrong").string();
  const std::string open = (machine.root() / "open").string();
  machine.Write("wrong", "username = " + server.user() + "\npassword = not-the-password\n");
  machine.Write("open", "username = " + server.user() + "\npassword = " + SambaComputer::kPassword + "\n");
  ::chmod(wrong.c_str(), 0600);
  ::chmod(open.c_str(), 0644);
  const struct {
    const char* computer;
    const char* log;
    std::string authFile;
    DWORD code;
  } kCases[] = {
      {"LIVEOFF", "System", server.authFile(), ERROR_BAD_NETPATH},       // nothing listens there
      {"NO-SUCH-NAME.invalid", "System", server.authFile(), ERROR_BAD_NETPATH},
      {kComputer, "System", wrong, platform::smb::ERROR_LOGON_FAILURE},
      {kComputer, "System", open, ERROR_ACCESS_DENIED},                 // refused before any logon
      {kComputer, "NoSuchLog", server.authFile(), ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.computer) + " " + c.log + " " + c.authFile);
    ScopedEnv useAuth("CORVID_SMB_AUTH", c.authFile);
    SetLastError(0);
    EXPECT_EQ(OpenEventLogA(c.computer, c.log), nullptr);
    EXPECT_EQ(GetLastError(), c.code);
  }
}

// Requests and answers in many fragments, on the connection's own: a call
// after a long one still finds its answer.
TEST_F(LiveEventLog, FragmentsGoBothWays) {
  ASSERT_TRUE(server.Write("Security", {Simple(Now(), 7)}));
  std::unique_ptr<platform::rpc::Transport> pipe;
  ASSERT_EQ(platform::smb::OpenPipe(kComputer, "eventlog", pipe), ERROR_SUCCESS);
  platform::rpc::Connection connection(std::move(pipe), 1024);
  ASSERT_EQ(connection.Bind(platform::even::Interface()), ERROR_SUCCESS);
  std::vector<uint8_t> answer;
  platform::rpc::ContextHandle handle;
  ASSERT_EQ(connection.Call(platform::even::kOpenLogW, platform::even::OpenRequest(std::string(3000, 'L')), answer),
            ERROR_SUCCESS);
  EXPECT_EQ(platform::even::ParseOpenAnswer(answer, handle), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(connection.Call(platform::even::kOpenLogW, platform::even::OpenRequest("Security"), answer),
            ERROR_SUCCESS);
  ASSERT_EQ(platform::even::ParseOpenAnswer(answer, handle), ERROR_SUCCESS);
  ASSERT_EQ(connection.Call(platform::even::kReadLogW, platform::even::ReadRequest(handle, 5, 8000), answer),
            ERROR_SUCCESS);
  std::span<const uint8_t> records;
  uint32_t needed = 0;
  ASSERT_EQ(platform::even::ParseReadAnswer(answer, records, needed), ERROR_SUCCESS);
  std::vector<std::vector<uint8_t>> narrow;
  ASSERT_EQ(platform::even::SplitRecords(records, narrow), ERROR_SUCCESS);
  ASSERT_EQ(narrow.size(), 1u);
  EXPECT_EQ(reinterpret_cast<const EVENTLOGRECORD*>(narrow[0].data())->EventID, 7u);
}

}  // namespace
