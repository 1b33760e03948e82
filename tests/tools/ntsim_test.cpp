// The network simulator: what it writes is what the services read and what an
// independent reader (evtexport) reads. That it is the same at every build the golden rows show.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/accounts_time/accounts.h"
#include "platform/base/last_error.h"
#include "platform/browser/browser.h"
#include "platform/eventlog/evt_file.h"
#include "sim_network.h"
#include "support/evtexport.h"
#include "support/sample_network.h"

namespace {

using testing_support::TempMachine;
namespace evt = platform::evt;

TEST(Ntsim, EvtexportReadsEveryLogOfTheSampleDomainAsWeDo) {
  if (!testing_support::HaveEvtexport()) GTEST_SKIP() << "no /usr/bin/evtexport (Debian's libevt-utils)";
  TempMachine machine;
  ASSERT_TRUE(testing_support::BuildSampleNetwork(machine, false));
  bool sawWrapped = false;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(machine.root() / "network")) {
    const std::filesystem::path& log = entry.path();
    if (log.extension() != ".Evt") continue;
    SCOPED_TRACE(log.string());
    std::vector<evt::EventRecordData> ours;
    const int fd = ::open(log.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    evt::FileSource source(fd);
    evt::LogLayout layout;
    ASSERT_EQ(evt::LocateRecords(source, layout), 0u);
    sawWrapped |= (layout.header.flags & evt::ELF_LOGFILE_HEADER_WRAP) != 0;
    evt::ForEachRecord(source, [&](const evt::EventRecordData& record) {
      ours.push_back(record);
      return true;
    });
    ::close(fd);
    const auto theirs = testing_support::Evtexport(log.string());
    ASSERT_EQ(theirs.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) testing_support::ExpectSame(theirs[i], ours[i]);
  }
  EXPECT_TRUE(sawWrapped) << "the workstation's System log has wrapped";
}

TEST(Ntsim, CommandsBuildWhatTheServicesRead) {
  TempMachine machine;
  ntsim::Network network((machine.root() / "network").string());
  std::string error;
  ntsim::ComputerSpec server, off;
  server.name = "SRV1";
  server.role = ntsim::Role::kServer;
  server.systemRoot = "D:\\NT";
  off.name = "OFF1";
  off.switchedOn = false;
  ASSERT_TRUE(network.AddComputer(server, error) && network.AddComputer(off, error)) << error;
  ASSERT_TRUE(network.AddAccount("SRV1", "backup", 1005, error));
  EXPECT_FALSE(network.AddAccount("OFF1", "x", 1000, error)) << "a computer that is off has no registry";

  // The browser announces both; only the one that is on answers.
  BYTE* info = nullptr;
  ASSERT_EQ(NetServerGetInfo(platform::WideText("\\\\SRV1").data(), 101, &info), 0u);
  EXPECT_EQ(reinterpret_cast<SERVER_INFO_101*>(info)->sv101_type, 0x9003u);
  NetApiBufferFree(info);
  EXPECT_EQ(NetServerGetInfo(platform::WideText("\\\\OFF1").data(), 101, &info), NET_API_STATUS(ERROR_BAD_NETPATH));

  // Its own account resolves through the SAM layout.
  std::vector<uint8_t> sid;
  ASSERT_TRUE(ntsim::ParseSid(network.MachineSid("SRV1") + "-1005", sid));
  char account[64], domain[64];
  DWORD accountSize = sizeof account, domainSize = sizeof domain;
  SID_NAME_USE use;
  ASSERT_TRUE(LookupAccountSidA("SRV1", sid.data(), account, &accountSize, domain, &domainSize, &use));
  EXPECT_STREQ(account, "backup");

  // A reported event reads back as reported, through the service.
  evt::EventRecordData record{0, 1719835198, 1719835200, 0xC0000007, 1, 2, "Disk", "", {"\\Device\\Harddisk0", "7"}, sid, {0, 1, 2}};
  ASSERT_TRUE(network.Report("SRV1", "System", record, error)) << error;
  std::vector<std::vector<uint8_t>> read;
  ASSERT_TRUE(testing_support::ReadWholeLog("SRV1", "System", read));
  ASSERT_EQ(read.size(), 1u);
  evt::EventRecordData back;
  ASSERT_EQ(evt::DecodeRecord(read[0], evt::TextWidth::kUtf8, back), 0u);
  record.recordNumber = 1;
  record.computer = "SRV1";
  EXPECT_EQ(back, record);

  EXPECT_FALSE(network.SetMaxSize("SRV1", "System", 65536, error)) << "only an empty log";
  ASSERT_TRUE(network.Clear("SRV1", "System", error));
  read.clear();
  ASSERT_TRUE(testing_support::ReadWholeLog("SRV1", "System", read));
  EXPECT_TRUE(read.empty());
  EXPECT_TRUE(network.SetMaxSize("SRV1", "System", 65536, error)) << error;
}

TEST(Ntsim, ParsesSidsAndTimesOrSaysNo) {
  std::vector<uint8_t> sid;
  EXPECT_TRUE(ntsim::ParseSid("S-1-5-32-544", sid));
  EXPECT_EQ(platform::SidText(sid.data()), "S-1-5-32-544");
  for (const char* bad : {"S-1-", "S-1-5-x", "X-1-5", "S-1-5-99999999999", ""}) EXPECT_FALSE(ntsim::ParseSid(bad, sid)) << bad;
  uint32_t t = 0;
  EXPECT_TRUE(ntsim::ParseTime("0", t));
  EXPECT_TRUE(ntsim::ParseTime("2026-11-30T12:00:00Z", t) && t == 1796040000u) << t;
  EXPECT_TRUE(ntsim::ParseTime("2024-07-01T12:00:00Z", t) && t == 1719835200u) << t;
  for (const char* bad : {"2026-11-30 12:00:00", "2026-11-30T12:00:00", "99999999999", "-1"}) EXPECT_FALSE(ntsim::ParseTime(bad, t)) << bad;
}

}  // namespace
