// The live network against Samba's smbd. The event log service: what
// eventlogadm wrote comes back whole in our layout, counted as rpcclient
// counts it; a clear loses nothing written after the last read; failures
// give the codes the folder network gives. Account names: what the local
// security authority maps, as rpcclient maps it, and the codes of what it
// does not. What the server service says of the computer, and, with no
// master browser, an empty browse list.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/accounts_time/accounts.h"
#include "platform/base/last_error.h"
#include "platform/browser/browser.h"
#include "platform/eventlog/even_rpc.h"
#include "platform/eventlog/eventlog.h"
#include "platform/eventlog/evt_file.h"
#include "platform/rpc/dcerpc.h"
#include "platform/smb/smb_network.h"
#include "support/samba_server.h"
#include "support/sample_network.h"
#include "support/temp_machine.h"

namespace {

namespace evt = platform::evt;
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

  // Event `eventId` of source S, written `ago` seconds ago.
  static SambaRecord Simple(uint32_t ago, uint32_t eventId) {
    return {static_cast<uint32_t>(::time(nullptr)) - ago, eventId, "INFO", 0, "S", kComputer, {}};
  }

  SambaComputer server{kComputer, "127.0.0.2"};
  testing_support::TempMachine machine;
  ScopedEnv network{"CORVID_NETWORK", std::string("smb:")};
  ScopedEnv auth{"CORVID_SMB_AUTH", server.authFile()};
};

TEST_F(LiveEventLog, GivesWhatEventlogadmWroteInOurLayout) {
  std::vector<SambaRecord> written;
  for (uint32_t i = 0; i < 300; ++i) {
    SambaRecord r = Simple(600 - i, 1000 + i);
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

  std::vector<std::vector<uint8_t>> records;
  ASSERT_TRUE(testing_support::ReadWholeLog(kComputer, "Application", records));
  ASSERT_EQ(records.size(), written.size());
  evt::EventRecordData first;
  ASSERT_EQ(evt::DecodeRecord(records[0], evt::TextWidth::kUtf8, first), ERROR_SUCCESS);
  for (uint32_t i = 0; i < records.size(); ++i) {
    const SambaRecord& w = written[i];
    const uint16_t type = i % 3 == 0 ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE;
    evt::EventRecordData read;
    ASSERT_EQ(evt::DecodeRecord(records[i], evt::TextWidth::kUtf8, read), ERROR_SUCCESS) << i;
    EXPECT_TRUE(read == evt::EventRecordData({first.recordNumber + i, w.written, w.written, w.eventId, type, w.category,
                                              w.source, w.computer, w.strings, {}, {}}))
        << i;
  }

  HANDLE log = OpenEventLogA(kComputer, "Application");
  ASSERT_NE(log, nullptr) << GetLastError();
  DWORD count = 0;
  ASSERT_TRUE(GetNumberOfEventLogRecords(log, &count));
  EXPECT_EQ(count, 300u);
  // The size a read asks for is the record's in our layout.
  uint8_t tiny[8];
  DWORD bytes = 0;
  DWORD needed = 0;
  EXPECT_FALSE(ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, tiny, 8, &bytes, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, records[0].size());
  EXPECT_TRUE(CloseEventLog(log));
}

TEST_F(LiveEventLog, ClearsOnlyWhenEveryRecordWasRead) {
  ASSERT_TRUE(server.Write("System", {Simple(10, 1), Simple(9, 2)}));
  HANDLE log = OpenEventLogA(kComputer, "System");
  ASSERT_NE(log, nullptr) << GetLastError();
  const auto clear = [&](bool cleared, const char* why) {
    EXPECT_EQ(ClearEventLogA(log, nullptr), cleared) << why;
    if (!cleared) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_EVENTLOG_FILE_CHANGED)) << why;
    }
  };
  clear(false, "nothing read yet");

  std::vector<uint8_t> buffer(10000);
  DWORD bytes = 0;
  DWORD needed = 0;
  ASSERT_TRUE(ReadEventLogA(log, 5, 0, buffer.data(), 10000, &bytes, &needed));
  ASSERT_TRUE(server.Write("System", {Simple(8, 3)}));
  clear(false, "a record arrived after the read");
  EXPECT_EQ(server.RecordCount("System"), 3);

  ASSERT_TRUE(ReadEventLogA(log, 5, 0, buffer.data(), 10000, &bytes, &needed));
  EXPECT_EQ(reinterpret_cast<const EVENTLOGRECORD*>(buffer.data())->EventID, 3u);
  clear(true, "every record was read");
  EXPECT_EQ(server.RecordCount("System"), 0);
  EXPECT_TRUE(CloseEventLog(log));
}

TEST_F(LiveEventLog, FailuresGiveTheirCodes) {
  const auto fails = [](const char* computer, const char* log, DWORD code) {
    SetLastError(0);
    EXPECT_EQ(OpenEventLogA(computer, log), nullptr) << computer << " " << log;
    EXPECT_EQ(GetLastError(), code) << computer << " " << log;
  };
  fails("LIVEOFF", "System", ERROR_BAD_NETPATH);  // nothing listens there
  fails("NO-SUCH-NAME.invalid", "System", ERROR_BAD_NETPATH);
  fails(kComputer, "NoSuchLog", ERROR_FILE_NOT_FOUND);
  // The right password, in a file that others can read: refused before any logon.
  machine.Write("open", "username = " + server.user() + "\npassword = " + SambaComputer::kPassword + "\n");
  ::chmod((machine.root() / "open").c_str(), 0644);
  ScopedEnv open("CORVID_SMB_AUTH", (machine.root() / "open").string());
  fails(kComputer, "System", ERROR_ACCESS_DENIED);
}

// Requests and answers in many fragments, on the connection's own: a call
// after a long one still finds its answer.
TEST_F(LiveEventLog, FragmentsGoBothWays) {
  namespace even = platform::even;
  ASSERT_TRUE(server.Write("Security", {Simple(0, 7)}));
  std::unique_ptr<platform::rpc::Transport> pipe;
  ASSERT_EQ(platform::smb::OpenPipe(kComputer, "eventlog", pipe), ERROR_SUCCESS);
  platform::rpc::Connection connection(std::move(pipe), 1024);
  ASSERT_EQ(connection.Bind(even::Interface()), ERROR_SUCCESS);
  std::vector<uint8_t> answer;
  platform::rpc::ContextHandle handle;
  ASSERT_EQ(connection.Call(even::kOpenLogW, even::OpenRequest(std::string(3000, 'L')), answer), ERROR_SUCCESS);
  EXPECT_EQ(even::ParseOpenAnswer(answer, handle), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(connection.Call(even::kOpenLogW, even::OpenRequest("Security"), answer), ERROR_SUCCESS);
  ASSERT_EQ(even::ParseOpenAnswer(answer, handle), ERROR_SUCCESS);
  ASSERT_EQ(connection.Call(even::kReadLogW, even::ReadRequest(handle, 5, 8000), answer), ERROR_SUCCESS);
  std::span<const uint8_t> records;
  uint32_t needed = 0;
  ASSERT_EQ(even::ParseReadAnswer(answer, records, needed), ERROR_SUCCESS);
  std::vector<std::vector<uint8_t>> narrow;
  ASSERT_EQ(even::SplitRecords(records, narrow), ERROR_SUCCESS);
  ASSERT_EQ(narrow.size(), 1u);
  EXPECT_EQ(reinterpret_cast<const EVENTLOGRECORD*>(narrow[0].data())->EventID, 7u);
}

class LiveServices : public LiveEventLog {};

// "S-1-5-32-544" as bytes.
std::vector<uint8_t> SidBytes(const std::string& text) {
  std::istringstream parts(text.substr(4));
  uint64_t authority = 0;
  parts >> authority;
  std::vector<uint8_t> sid{1, 0};
  for (int i = 5; i >= 0; --i) sid.push_back(static_cast<uint8_t>(authority >> (8 * i)));
  for (uint32_t part = 0; parts.ignore() >> part; ++sid[1]) {
    for (int i = 0; i < 4; ++i) sid.push_back(static_cast<uint8_t>(part >> (8 * i)));
  }
  return sid;
}

TEST_F(LiveServices, AccountsAndServerInformationComeFromTheComputer) {
  // rpcclient: "root S-1-5-21-... (User: 1)".
  std::istringstream lookup(server.Rpcclient("lookupnames " + server.user()));
  std::string user, userSid;
  lookup >> user >> userSid;
  ASSERT_EQ(userSid.rfind("S-1-5-21-", 0), 0u) << lookup.str();

  const struct {
    const char* computer;
    std::string sid;
    DWORD error;
    const char* domain;
    std::string name;
  } kCases[] = {
      {kComputer, "S-1-5-32-544", 0, "BUILTIN", "Administrators"},
      {kComputer, userSid, 0, kComputer, server.user()},
      {kComputer, "S-1-5-21-1-2-3-999", ERROR_NONE_MAPPED, "", ""},
      {"LIVEOFF", "S-1-5-32-544", RPC_S_SERVER_UNAVAILABLE, "", ""},
      {kComputer, userSid, 0, kComputer, server.user()},  // kept from the first answer
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.computer) + " " + c.sid);
    const std::vector<uint8_t> sid = SidBytes(c.sid);
    char name[64] = {}, domain[64] = {};
    DWORD nameSize = sizeof name, domainSize = sizeof domain;
    SID_NAME_USE use = SidTypeUnknown;
    SetLastError(0);
    EXPECT_EQ(LookupAccountSidA(c.computer, sid.data(), name, &nameSize, domain, &domainSize, &use), c.error == 0);
    EXPECT_EQ(c.error == 0 ? 0 : GetLastError(), c.error);
    EXPECT_STREQ(name, c.name.c_str());
    EXPECT_STREQ(domain, c.domain);
  }

  BYTE* buffer = nullptr;
  ASSERT_EQ(NetServerGetInfo(platform::WideText("\\\\LIVEPDC").data(), 101, &buffer), NERR_Success);
  const auto* info = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  EXPECT_EQ(platform::NarrowText(info->sv101_name), kComputer);
  constexpr DWORD kWindowsServer = SV_TYPE_NT | SV_TYPE_SERVER | SV_TYPE_WORKSTATION;
  EXPECT_EQ(info->sv101_type & kWindowsServer, kWindowsServer);
  NetApiBufferFree(buffer);
  EXPECT_EQ(NetServerGetInfo(platform::WideText("LIVEOFF").data(), 101, &buffer), ERROR_BAD_NETPATH);

  DWORD read = 1, total = 1;
  EXPECT_NE(NetServerEnum(nullptr, 101, &buffer, 65000, &read, &total, 27, nullptr, nullptr), NERR_Success)
      << "no master browser serves the workgroup";
  EXPECT_EQ(read, 0u);
}

}  // namespace
