// Computers given as copies of their Windows disks: hives instead of a
// registry export, gathered into SQLite like any other computer.
#include <gtest/gtest.h>

#include <regex>

#include "support/hives.h"
#include "support/sample_gather.h"

namespace {

namespace fs = std::filesystem;

class InstallationTest : public testing_support::SampleGatherTest {
 protected:
  void SetUp() override {
    if (!testing_support::HaveHivexregedit()) GTEST_SKIP() << "no hivexregedit (libwin-hivex-perl)";
    if (!fs::exists(Real("SYSTEM"))) GTEST_SKIP() << "no " << Real("SYSTEM");
    SampleGatherTest::SetUp();
    corvid::ComputerList.Clear();
  }
  static fs::path Real(const char* name) { return fs::path(CORVID_REAL_DATA) / name; }

  // An installation's folder with its logs and message files, as copied.
  fs::path Windows(const char* computer, const char* folder, const char* log) const {
    const fs::path windows = machine.root() / "network" / computer / "C$" / folder;
    fs::create_directories(windows / "system32/config");
    if (log != nullptr) fs::create_symlink(Real(log), windows / "system32/config" / log);
    fs::copy_file(std::string(CORVID_SAMPLE_DLLS) + "/corvsvc.dll", windows / "system32/netevent.dll");
    return windows;
  }
  void Gather(const std::vector<const char*>& computers) {
    for (const char* name : computers) corvid::ComputerList.Append(corvid::MakeComputerEntry(name));
    ASSERT_TRUE(corvid::RunSilentGather());
  }
};
INSTANTIATE_TEST_SUITE_P(Databases, InstallationTest, ::testing::Values(testing_support::Backend::kSqlite),
                         testing_support::BackendName);

// A real XP SYSTEM hive (no CurrentControlSet) with a setup-time SOFTWARE
// (no SystemRoot) gives what the same computer exported by hand gives.
TEST_P(InstallationTest, AnXpDiskGathersAsItsRegistryExport) {
  const fs::path hives = Windows("XPDISK", "WINDOWS", "SysEvent.Evt") / "system32/config";
  fs::create_symlink(Real("SYSTEM"), hives / "system");
  ASSERT_TRUE(testing_support::MakeHive(hives / "software",
                                        "[\\Microsoft\\Windows NT\\CurrentVersion]\n\"CurrentVersion\"=\"5.1\"\n"));
  // The export as the user had to make it: the control set renamed, SystemRoot added.
  Windows("XPREG", "WINDOWS", "SysEvent.Evt");
  const std::string exported = (machine.root() / "system.reg").string();
  const std::string command = "hivexregedit --export --prefix 'HKEY_LOCAL_MACHINE\\SYSTEM' '" +
                              Real("SYSTEM").string() + "' '\\' > '" + exported + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  machine.Write("network/XPREG/registry.reg",
                std::regex_replace(testing_support::ReadFile(exported), std::regex(R"(\\SYSTEM\\ControlSet001)"),
                                   "\\SYSTEM\\CurrentControlSet") +
                    "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
                    "\"SystemRoot\"=\"C:\\\\WINDOWS\"\n");

  Gather({"XPDISK", "XPREG"});
  EXPECT_EQ(Status("XPDISK", 0), corvid::kStatusCompleted);
  for (size_t log = 0; log < 3; ++log) EXPECT_EQ(Status("XPDISK", log), Status("XPREG", log)) << log;
  const auto disk = Stored("System", "XPDISK");
  EXPECT_EQ(disk.size(), 6063u);
  EXPECT_TRUE(disk == Stored("System", "XPREG"));
  // Categories and accounts too, record by record.
  corvid::EventSourceTable fromHives, fromExport;
  ASSERT_TRUE(corvid::BuildEventSourceTable("XPDISK", "System", fromHives));
  ASSERT_TRUE(corvid::BuildEventSourceTable("XPREG", "System", fromExport));
  std::vector<std::vector<uint8_t>> records;
  ASSERT_TRUE(testing_support::ReadWholeLog("XPDISK", "System", records));
  for (const auto& bytes : records) {
    const auto& record = *reinterpret_cast<const EVENTLOGRECORD*>(bytes.data());
    const corvid::EventRow a = corvid::BuildEventRow("XPDISK", fromHives, record, bytes.size());
    const corvid::EventRow b = corvid::BuildEventRow("XPREG", fromExport, record, bytes.size());
    ASSERT_EQ(std::string(a.Category), std::string(b.Category)) << record.RecordNumber;
    ASSERT_EQ(std::string(a.UserName.c_str()), b.UserName.c_str()) << record.RecordNumber;
    ASSERT_EQ(std::string_view(a.description, a.descriptionLength), std::string_view(b.description, b.descriptionLength));
  }
}

// A Windows 10 SYSTEM hive: its logs are .evtx files, which are not read.
TEST_P(InstallationTest, AWindows10DiskReadsItsRegistryAndReportsItsEvtxLogs) {
  if (!fs::exists(Real("SYSTEM-win10.gz"))) GTEST_SKIP() << "no " << Real("SYSTEM-win10.gz");
  const fs::path windows = Windows("W10", "Windows", nullptr);
  const std::string unpack = "gzip -dc '" + Real("SYSTEM-win10.gz").string() + "' > '" +
                             (windows / "system32/config/SYSTEM").string() + "'";
  ASSERT_EQ(std::system(unpack.c_str()), 0);
  ASSERT_TRUE(testing_support::MakeHive(windows / "system32/config/SOFTWARE",
                                        "[\\Microsoft\\Windows NT\\CurrentVersion]\n\"CurrentVersion\"=\"6.3\"\n"));
  machine.Write(windows / "System32/winevt/Logs/System.evtx", std::string("ElfFile\0", 8) + std::string(4088, '\0'));

  // Its sources are read from the hive.
  corvid::EventSourceTable table;
  EXPECT_TRUE(corvid::BuildEventSourceTable("W10", "System", table));

  Gather({"W10"});
  for (size_t log = 0; log < 3; ++log) EXPECT_EQ(Status("W10", log), corvid::kStatusUnableToOpen) << log;
  const std::string runLog = machine.Read("run.log");
  EXPECT_NE(runLog.find("W10\tSystem     \tUNABLE TO OPEN LOG"), std::string::npos) << runLog;
}

}  // namespace
