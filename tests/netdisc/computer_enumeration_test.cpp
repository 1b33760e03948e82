// Computer enumeration and type queries, against a fake browser.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "netdisc/computer_enumeration.h"
#include "platform/threads/threads.h"
#include "common/start_state.h"

namespace {

using corvid::ComputerList;
using platform::BrowseEntry;

TEST(ComposeTypeText, RoleBitsInOrderAndTheLowNibbleOfTheVersion) {
  const std::tuple<DWORD, DWORD, const char*, corvid::ComputerKind> cases[] = {  // type bits, major version, text, kind
      {0x0003, 4, "Unknown", corvid::kKindUnknown},  // no NT bit
      {SV_TYPE_NT | SV_TYPE_DOMAIN_CTRL | SV_TYPE_SERVER_NT, 4, "Windows NT Primary Domain Controller (4.0)",
       corvid::kKindPrimaryDomainController},
      {SV_TYPE_NT | SV_TYPE_DOMAIN_BAKCTRL | SV_TYPE_WORKSTATION, 0x14, "Windows NT Backup Domain Controller (4.0)",
       corvid::kKindBackupDomainController},
      {SV_TYPE_NT | SV_TYPE_SERVER_NT | SV_TYPE_WORKSTATION, 3, "Windows NT Server (3.0)", corvid::kKindServer},
      {SV_TYPE_NT | SV_TYPE_WORKSTATION, 4, "Windows NT Workstation (4.0)", corvid::kKindWorkstation},
      {SV_TYPE_NT | SV_TYPE_SERVER, 4, "Unknown", corvid::kKindUnknown},  // no role bit
  };
  std::vector<WCHAR> name = platform::WideText("X");
  for (const auto& [type, major, text, kind] : cases) {
    std::string out;
    corvid::ComputerKind outKind;
    corvid::ComposeTypeText(SERVER_INFO_101{PLATFORM_ID_NT, name.data(), major, 0, type, nullptr}, out, outKind);
    EXPECT_EQ(std::pair(out, outKind), std::pair(std::string(text), kind)) << std::hex << type;
  }
  name = platform::WideText("ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(corvid::MakeEntryFromServerInfo({PLATFORM_ID_NT, name.data(), 4, 0, SV_TYPE_NT | 1, nullptr}).Name,
            "ABCDEFGHIJKLMNO");
}

// A browser of fixed entries that holds back records beyond a size, fails
// on cue, and answers type queries busily; pauses counted instead of taken;
// the loading window's steps recorded.
class EnumerationTest : public ::testing::Test,
                        public platform::NetworkBrowserService,
                        public platform::ThreadsWrapper,
                        public corvid::LoadingDisplay {
 protected:
  void SetUp() override { ComputerList.Clear(), ComputerList.Append(corvid::MakeComputerEntry("OLD")), corvid::loadingDisplay = this; }
  void TearDown() override { ComputerList.Clear(), corvid::loadingDisplay = nullptr; }
  NET_API_STATUS NetServerEnum(LPCWSTR, DWORD, BYTE** buffer, DWORD preferred, DWORD* read, DWORD* total, DWORD mask,
                               LPCWSTR, DWORD*) override {
    preferredSizes.push_back(preferred);
    EXPECT_EQ(mask, 27u);
    std::vector<BrowseEntry> fitting = entries;
    if (preferred < fitsFrom) fitting.resize(fitting.size() / 2);
    *buffer = platform::AllocateServerInfo(fitting);
    *read = static_cast<DWORD>(fitting.size());
    *total = static_cast<DWORD>(entries.size());
    if (enumStatus != NERR_Success) return enumStatus;
    return fitting.size() < entries.size() ? static_cast<NET_API_STATUS>(ERROR_MORE_DATA) : NERR_Success;
  }
  NET_API_STATUS NetServerGetInfo(LPCWSTR server, DWORD level, BYTE** buffer) override {
    EXPECT_EQ(level, 101u);
    if (++infoCalls <= busyAnswers) return RPC_S_SERVER_TOO_BUSY;
    for (const BrowseEntry& entry : entries)
      if (entry.name == platform::NarrowText(server).substr(2)) { *buffer = platform::AllocateServerInfo({entry}); return NERR_Success; }
    return ERROR_BAD_NETPATH;
  }
  NET_API_STATUS NetApiBufferFree(void* buffer) override { return std::free(buffer), NERR_Success; }
  void Sleep(DWORD ms) override { std::lock_guard<std::mutex> lock(mutex); sleeps.push_back(ms); }
  void Open(HWND, DWORD total) override { shown.push_back("open " + std::to_string(total)); }
  void Step() override { shown.push_back("step"); }
  void Close() override { shown.push_back("close"); }
  static BrowseEntry Entry(const std::string& name, DWORD type) { return BrowseEntry{name, type, 4, 0, ""}; }

  std::vector<BrowseEntry> entries;
  NET_API_STATUS enumStatus = NERR_Success;
  size_t fitsFrom = 0;  // preferred size from which every record fits
  std::vector<DWORD> preferredSizes, sleeps;
  std::vector<std::string> shown;  // the loading window's steps
  int busyAnswers = 0;
  std::atomic<int> infoCalls{0};
  std::mutex mutex;
  platform::Override<platform::NetworkBrowserService> useBrowser{*this};
};

// The buffer doubles while the browser has more; ten calls without all of
// it, or a failure, give an empty list.
TEST_F(EnumerationTest, KeepsTheNtComputersInOrderAfterGrowingTheBufferOrGivesUp) {
  entries = {Entry("PDC01", 0x900B), Entry("LANMAN", 0x0003), Entry("WS04", 0x1003), Entry("WS04", 0x1003)};
  fitsFrom = 65000 * 4;
  EXPECT_TRUE(corvid::EnumerateNetworkComputers());
  EXPECT_EQ(preferredSizes, (std::vector<DWORD>{65000, 130000, 260000}));
  ASSERT_EQ(ComputerList.Count(), 3u);
  EXPECT_EQ(ComputerList.At(1).Name + ComputerList.At(2).Name, "WS04WS04");
  EXPECT_EQ(ComputerList.At(0).TypeText, "Windows NT Primary Domain Controller (4.0)");

  fitsFrom = 0xFFFFFFFF;
  preferredSizes.clear();
  EXPECT_TRUE(corvid::EnumerateNetworkComputers());
  ASSERT_EQ(preferredSizes.size(), 10u);
  EXPECT_EQ(preferredSizes.back(), 65000u * 512);
  EXPECT_EQ(ComputerList.Count(), 0u);

  ComputerList.Append(corvid::MakeComputerEntry("OLD"));
  fitsFrom = 0;
  enumStatus = ERROR_ACCESS_DENIED;
  EXPECT_TRUE(corvid::EnumerateNetworkComputers());
  EXPECT_EQ(ComputerList.Count(), 0u);
}

// One loading window for the whole list, a step per computer; none for an
// empty list.
TEST_F(EnumerationTest, ABusyComputerIsAskedTenTimesHalfASecondApart) {
  platform::Override<platform::ThreadsService> useThreads(*this);
  entries = {Entry("OLD", SV_TYPE_NT | SV_TYPE_SERVER_NT)};
  busyAnswers = 100;
  corvid::ResolveComputerTypes(nullptr);
  EXPECT_EQ(infoCalls, 10);
  EXPECT_EQ(sleeps, std::vector<DWORD>(9, 500));  // about five seconds in all
  EXPECT_EQ(ComputerList.At(0).TypeText, "Unknown");
  EXPECT_EQ(ComputerList.At(0).QueryThread, nullptr);

  infoCalls = 0;
  busyAnswers = 2;
  ComputerList.Append(corvid::MakeComputerEntry("\\\\GONE"));
  corvid::ResolveComputerTypes(nullptr);
  EXPECT_EQ(infoCalls, 4);
  EXPECT_EQ(ComputerList.At(0).TypeText, "Windows NT Server (4.0)");
  EXPECT_EQ(ComputerList.At(0).Kind, corvid::kKindServer);
  EXPECT_EQ(ComputerList.At(1).TypeText, "Unknown");
  const std::vector<std::string> both = {"open 1", "step", "close", "open 2", "step", "step", "close"};
  EXPECT_EQ(shown, both);
  ComputerList.Clear();
  corvid::ResolveComputerTypes(nullptr);
  EXPECT_EQ(shown, both);
}

}  // namespace
