// The network simulator's logs as an independent reader (evtexport) reads them.
// What the services read of it, the same at every build, the golden rows show.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/eventlog/evt_file.h"
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
    evt::ForEachRecord(source, [&](const evt::EventRecordData& record) { return ours.push_back(record), true; });
    ::close(fd);
    const auto theirs = testing_support::Evtexport(log.string());
    ASSERT_EQ(theirs.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) testing_support::ExpectSame(theirs[i], ours[i]);
  }
  EXPECT_TRUE(sawWrapped) << "the workstation's System log has wrapped";
}

}  // namespace
