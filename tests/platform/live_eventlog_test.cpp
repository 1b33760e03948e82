// The live network against Samba's smbd: the event log service gives what
// eventlogadm wrote, whole and in our layout, and clears nothing unread;
// failures give the folder network's codes; account names map as rpcclient
// maps them; the server service describes the computer; no master browser,
// no browse list.
#include <gtest/gtest.h>

#include <sstream>

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

namespace evt = platform::evt;
using testing_support::SambaComputer;
using testing_support::ScopedEnv;

constexpr const char* kComputer = "LIVEPDC";

class LiveEventLog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server.ok()) SAMBA_UNAVAILABLE(server);
    machine.Write("lmhosts", std::string(server.address()) + " " + kComputer + "\n127.0.0.9 LIVEOFF\n");
  }

  // Event `eventId` of source S, written `ago` seconds ago.
  static evt::EventRecordData Simple(uint32_t ago, uint32_t eventId) {
    const uint32_t t = static_cast<uint32_t>(::time(nullptr)) - ago;
    return {0, t, t, eventId, EVENTLOG_INFORMATION_TYPE, 0, "S", kComputer, {}, {}, {}};
  }

  SambaComputer server{kComputer, "127.0.0.2"};
  testing_support::TempMachine machine;
  ScopedEnv network{"CORVID_NETWORK", std::string("smb:")};
  ScopedEnv auth{"CORVID_SMB_AUTH", server.authFile()};
};

TEST_F(LiveEventLog, GivesWhatEventlogadmWroteInOurLayout) {
  std::vector<evt::EventRecordData> written;
  for (uint32_t i = 0, t = static_cast<uint32_t>(::time(nullptr)) - 600; i < 300; ++i, ++t) {
    const uint16_t type = i % 3 == 0 ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE;
    written.push_back({0, t, t, 1000 + i, type, static_cast<uint16_t>(i % 5), "CorvidTest", kComputer,
                       {"Grüße " + std::to_string(i), "日本語 \xF0\x9F\x90\xA6"}, {}, {}});
  }
  // Larger than the server's first answer may hold (over 64 KiB in its
  // layout; eventlogadm takes lines of up to 1 KiB): Samba answers "too
  // small" with the records before it, which must not be lost.
  written[150].strings.insert(written[150].strings.end(), 70, std::string(1000, 'x'));
  ASSERT_TRUE(server.Write("Application", written));
  ASSERT_EQ(server.RecordCount("Application"), 300);

  std::vector<std::vector<uint8_t>> records;
  ASSERT_TRUE(testing_support::ReadWholeLog(kComputer, "Application", records));
  ASSERT_EQ(records.size(), written.size());
  evt::EventRecordData read;
  for (uint32_t i = 0; i < records.size(); ++i) {
    ASSERT_EQ(evt::DecodeRecord(records[i], evt::TextWidth::kUtf8, read), ERROR_SUCCESS) << i;
    written[i].recordNumber = i == 0 ? read.recordNumber : written[i - 1].recordNumber + 1;  // numbered in order
    EXPECT_TRUE(read == written[i]) << i;
  }

  HANDLE log = OpenEventLogA(kComputer, "Application");
  ASSERT_NE(log, nullptr) << GetLastError();
  DWORD count = 0, bytes = 0, needed = 0;
  ASSERT_TRUE(GetNumberOfEventLogRecords(log, &count));
  EXPECT_EQ(count, 300u);
  uint8_t tiny[8];  // the size a read asks for is the record's in our layout
  EXPECT_FALSE(ReadEventLogA(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, tiny, 8, &bytes, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, records[0].size());
  EXPECT_TRUE(CloseEventLog(log));
}

TEST_F(LiveEventLog, ClearsOnlyWhenEveryRecordWasRead) {
  ASSERT_TRUE(server.Write("System", {Simple(10, 1), Simple(9, 2)}));
  HANDLE log = OpenEventLogA(kComputer, "System");
  ASSERT_NE(log, nullptr) << GetLastError();
  const auto clear = [&]() -> DWORD { return ClearEventLogA(log, nullptr) ? 0 : GetLastError(); };  // or why not
  const DWORD kChanged = ERROR_EVENTLOG_FILE_CHANGED;
  EXPECT_EQ(clear(), kChanged) << "nothing read yet";
  std::vector<uint8_t> buffer(10000);
  DWORD bytes = 0, needed = 0;
  ASSERT_TRUE(ReadEventLogA(log, 5, 0, buffer.data(), 10000, &bytes, &needed));
  ASSERT_TRUE(server.Write("System", {Simple(8, 3)}));
  EXPECT_EQ(clear(), kChanged) << "a record arrived after the read";
  EXPECT_EQ(server.RecordCount("System"), 3);

  ASSERT_TRUE(ReadEventLogA(log, 5, 0, buffer.data(), 10000, &bytes, &needed));
  EXPECT_EQ(reinterpret_cast<const EVENTLOGRECORD*>(buffer.data())->EventID, 3u);
  EXPECT_EQ(clear(), 0u) << "every record was read";
  EXPECT_EQ(server.RecordCount("System"), 0);
  EXPECT_TRUE(CloseEventLog(log));
}

TEST_F(LiveEventLog, FailuresGiveTheirCodes) {
  // LIVEOFF: nothing listens there; last: the right password, in a file
  // others can read, refused before any logon.
  const std::tuple<const char*, const char*, DWORD> cases[] = {
      {"LIVEOFF", "System", ERROR_BAD_NETPATH}, {"NO-SUCH-NAME.invalid", "System", ERROR_BAD_NETPATH},
      {kComputer, "NoSuchLog", ERROR_FILE_NOT_FOUND}, {kComputer, "System", ERROR_ACCESS_DENIED}};
  for (const auto& [computer, log, code] : cases) {
    if (code == ERROR_ACCESS_DENIED) ::chmod(server.authFile().c_str(), 0644);
    SetLastError(0);
    EXPECT_EQ(OpenEventLogA(computer, log), nullptr) << computer << " " << log;
    EXPECT_EQ(GetLastError(), code) << computer << " " << log;
  }
}

// A request in fragments; a call after a long one still finds its answer.
TEST_F(LiveEventLog, LongRequestsGoInFragments) {
  namespace even = platform::even;
  std::unique_ptr<platform::rpc::Transport> pipe;
  ASSERT_EQ(platform::smb::OpenPipe(kComputer, "eventlog", pipe), ERROR_SUCCESS);
  platform::rpc::Connection connection(std::move(pipe), 1024);
  ASSERT_EQ(connection.Bind(even::Interface()), ERROR_SUCCESS);
  std::vector<uint8_t> answer;
  platform::rpc::ContextHandle handle;
  for (const auto& [log, status] : {std::pair{std::string(3000, 'L'), DWORD{ERROR_FILE_NOT_FOUND}}, {"Security", 0}}) {
    ASSERT_EQ(connection.Call(even::kOpenLogW, even::OpenRequest(log), answer), ERROR_SUCCESS);
    EXPECT_EQ(even::ParseOpenAnswer(answer, handle), status);
  }
}

// "S-1-5-32-544" as bytes (every SID here is of the NT authority, 5).
static std::vector<uint8_t> SidBytes(const std::string& text) {
  std::vector<uint8_t> sid{1, 0, 0, 0, 0, 0, 0, 5};
  std::istringstream parts(text.substr(6));
  for (uint32_t part = 0; parts >> part; parts.ignore(), ++sid[1]) {
    for (int i = 0; i < 4; ++i) sid.push_back(static_cast<uint8_t>(part >> (8 * i)));
  }
  return sid;
}

TEST_F(LiveEventLog, AccountsAndServerInformationComeFromTheComputer) {
  // rpcclient: "root S-1-5-21-... (User: 1)".
  std::istringstream names(server.Rpcclient("lookupnames " + server.user()));
  std::string user, userSid;
  names >> user >> userSid;
  ASSERT_EQ(userSid.rfind("S-1-5-21-", 0), 0u) << names.str();

  // "DOMAIN\name" as the computer maps a SID, or "error N".
  const auto lookup = [](const char* computer, const std::string& text) {
    const std::vector<uint8_t> sid = SidBytes(text);
    char name[64] = {}, domain[64] = {};
    DWORD nameSize = sizeof name, domainSize = sizeof domain;
    SID_NAME_USE use = SidTypeUnknown;
    return LookupAccountSidA(computer, sid.data(), name, &nameSize, domain, &domainSize, &use)
               ? std::string(domain) + "\\" + name
               : "error " + std::to_string(GetLastError());
  };
  EXPECT_EQ(lookup(kComputer, "S-1-5-32-544"), "BUILTIN\\Administrators");
  EXPECT_EQ(lookup(kComputer, userSid), std::string(kComputer) + "\\" + server.user());
  EXPECT_EQ(lookup(kComputer, "S-1-5-21-1-2-3-999"), "error " + std::to_string(ERROR_NONE_MAPPED));
  EXPECT_EQ(lookup("LIVEOFF", "S-1-5-32-544"), "error " + std::to_string(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_EQ(lookup(kComputer, userSid), std::string(kComputer) + "\\" + server.user()) << "kept from the first answer";

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
