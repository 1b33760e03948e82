// The network simulator: what it writes is what the services read, the
// same at every build, and what an independent reader (evtexport) reads.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/accounts_time/accounts.h"
#include "platform/base/last_error.h"
#include "platform/browser/browser.h"
#include "platform/eventlog/evt_file.h"
#include "sim_network.h"
#include "support/evtexport.h"
#include "support/sample_network.h"

namespace {

using testing_support::TempMachine;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::filesystem::path> Logs(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> logs;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.path().extension() == ".Evt") logs.push_back(entry.path());
  }
  std::sort(logs.begin(), logs.end());
  return logs;
}

TEST(Ntsim, TheSampleDomainIsTheSameAtEveryBuild) {
  TempMachine first;
  ASSERT_TRUE(testing_support::BuildSampleNetwork(first, false));
  const auto logs = Logs(first.root() / "network");
  ASSERT_EQ(logs.size(), 12u);
  std::vector<std::string> bytes;
  for (const auto& log : logs) bytes.push_back(ReadFile(log));
  TempMachine second;
  ASSERT_TRUE(testing_support::BuildSampleNetwork(second, false));
  const auto again = Logs(second.root() / "network");
  ASSERT_EQ(again.size(), logs.size());
  for (size_t i = 0; i < logs.size(); ++i) EXPECT_EQ(ReadFile(again[i]), bytes[i]) << again[i];
}

TEST(Ntsim, EvtexportReadsEveryLogOfTheSampleDomainAsWeDo) {
  if (!testing_support::HaveEvtexport()) GTEST_SKIP() << "no /usr/bin/evtexport (Debian's libevt-utils)";
  TempMachine machine;
  ASSERT_TRUE(testing_support::BuildSampleNetwork(machine, false));
  bool sawWrapped = false;
  for (const auto& log : Logs(machine.root() / "network")) {
    SCOPED_TRACE(log.string());
    std::vector<platform::evt::EventRecordData> ours;
    const int fd = ::open(log.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    platform::evt::FileSource source(fd);
    platform::evt::LogLayout layout;
    ASSERT_EQ(platform::evt::LocateRecords(source, layout), 0u);
    sawWrapped = sawWrapped || (layout.header.flags & platform::evt::ELF_LOGFILE_HEADER_WRAP) != 0;
    platform::evt::ForEachRecord(source, [&](const platform::evt::EventRecordData& record) {
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
  ntsim::ComputerSpec server;
  server.name = "SRV1";
  server.role = ntsim::Role::kServer;
  server.systemRoot = "D:\\NT";
  ASSERT_TRUE(network.AddComputer(server, error)) << error;
  ntsim::ComputerSpec off;
  off.name = "OFF1";
  off.switchedOn = false;
  ASSERT_TRUE(network.AddComputer(off, error));
  ASSERT_TRUE(network.AddAccount("SRV1", "backup", 1005, error));
  EXPECT_FALSE(network.AddAccount("OFF1", "x", 1000, error)) << "a computer that is off has no registry";

  // The browser announces both; only the one that is on answers.
  std::vector<WCHAR> name = platform::WideText("\\\\SRV1");
  BYTE* info = nullptr;
  ASSERT_EQ(NetServerGetInfo(name.data(), 101, &info), 0u);
  EXPECT_EQ(reinterpret_cast<SERVER_INFO_101*>(info)->sv101_type, 0x9003u);
  NetApiBufferFree(info);
  name = platform::WideText("\\\\OFF1");
  EXPECT_EQ(NetServerGetInfo(name.data(), 101, &info), static_cast<NET_API_STATUS>(ERROR_BAD_NETPATH));

  // Its own account resolves through the SAM layout.
  std::vector<uint8_t> sid;
  ASSERT_TRUE(ntsim::ParseSid(network.MachineSid("SRV1") + "-1005", sid));
  char account[64];
  char domain[64];
  DWORD accountSize = sizeof account;
  DWORD domainSize = sizeof domain;
  SID_NAME_USE use;
  ASSERT_TRUE(LookupAccountSidA("SRV1", sid.data(), account, &accountSize, domain, &domainSize, &use));
  EXPECT_STREQ(account, "backup");

  // A reported event reads back as reported, through the service.
  platform::evt::EventRecordData record;
  record.source = "Disk";
  record.eventId = 0xC0000007;
  record.eventType = 1;
  record.eventCategory = 2;
  record.strings = {"\\Device\\Harddisk0", "7"};
  record.sid = sid;
  record.data = {0, 1, 2};
  ASSERT_TRUE(ntsim::ParseTime("2024-07-01T12:00:00Z", record.timeWritten));
  record.timeGenerated = record.timeWritten - 2;
  ASSERT_TRUE(network.Report("SRV1", "System", record, error)) << error;
  std::vector<std::vector<uint8_t>> read;
  ASSERT_TRUE(testing_support::ReadWholeLog("SRV1", "System", read));
  ASSERT_EQ(read.size(), 1u);
  platform::evt::EventRecordData back;
  ASSERT_EQ(platform::evt::DecodeRecord(read[0], platform::evt::TextWidth::kUtf8, back), 0u);
  record.recordNumber = 1;
  record.computer = "SRV1";
  EXPECT_EQ(back, record);
  EXPECT_EQ(back.timeWritten, 1719835200u);

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
  for (const char* bad : {"S-1-", "S-1-5-x", "X-1-5", "S-1-5-99999999999", ""}) {
    EXPECT_FALSE(ntsim::ParseSid(bad, sid)) << bad;
  }
  uint32_t t = 0;
  EXPECT_TRUE(ntsim::ParseTime("0", t));
  EXPECT_TRUE(ntsim::ParseTime("2026-11-30T12:00:00Z", t));
  EXPECT_EQ(t, 1796040000u);
  for (const char* bad : {"2026-11-30 12:00:00", "2026-11-30T12:00:00", "99999999999", "-1"}) {
    EXPECT_FALSE(ntsim::ParseTime(bad, t)) << bad;
  }
}

}  // namespace
