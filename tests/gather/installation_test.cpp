// Computers given as copies of their Windows disks: hives instead of a
// registry export, gathered into SQLite like any other computer.
#include <gtest/gtest.h>

#include <regex>

#include "support/hives.h"
#include "support/row_text.h"
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
  fs::path Windows(const char* computer) const {
    const fs::path windows = machine.root() / "network" / computer / "C$/WINDOWS";
    fs::create_directories(windows / "system32/config");
    fs::create_symlink(Real("SysEvent.Evt"), windows / "system32/config/SysEvent.Evt");
    fs::copy_file(std::string(CORVID_SAMPLE_DLLS) + "/corvsvc.dll", windows / "system32/netevent.dll");
    return windows;
  }
};
INSTANTIATE_TEST_SUITE_P(Databases, InstallationTest, ::testing::Values(testing_support::Backend::kSqlite),
                         testing_support::BackendName);

// A real XP SYSTEM hive (no CurrentControlSet) with a setup-time SOFTWARE
// (no SystemRoot) gives what the same computer exported by hand gives.
TEST_P(InstallationTest, AnXpDiskGathersAsItsRegistryExport) {
  const fs::path hives = Windows("XPDISK") / "system32/config";
  fs::create_symlink(Real("SYSTEM"), hives / "system");
  ASSERT_TRUE(testing_support::MakeHive(hives / "software",
                                        "[\\Microsoft\\Windows NT\\CurrentVersion]\n\"CurrentVersion\"=\"5.1\"\n"));
  // The export as the user had to make it: the control set renamed, SystemRoot added.
  Windows("XPREG");
  const std::string exported = (machine.root() / "system.reg").string();
  const std::string command = "hivexregedit --export --prefix 'HKEY_LOCAL_MACHINE\\SYSTEM' '" +
                              Real("SYSTEM").string() + "' '\\' > '" + exported + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  machine.Write("network/XPREG/registry.reg",
                std::regex_replace(testing_support::ReadFile(exported), std::regex(R"(\\SYSTEM\\ControlSet001)"),
                                   "\\SYSTEM\\CurrentControlSet") +
                    "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
                    "\"SystemRoot\"=\"C:\\\\WINDOWS\"\n");

  for (const char* name : {"XPDISK", "XPREG"}) corvid::ComputerList.Append(corvid::MakeComputerEntry(name));
  ASSERT_TRUE(corvid::RunSilentGather());
  EXPECT_EQ(Status("XPDISK", 0), corvid::kStatusCompleted);
  for (size_t log = 0; log < 3; ++log) EXPECT_EQ(Status("XPDISK", log), Status("XPREG", log)) << log;
  const auto disk = Stored("System", "XPDISK");
  EXPECT_EQ(disk.size(), 6063u);
  EXPECT_TRUE(disk == Stored("System", "XPREG"));
  // Every column, record by record: categories and accounts too.
  corvid::EventSourceTable fromHives, fromExport;
  ASSERT_TRUE(corvid::BuildEventSourceTable("XPDISK", "System", fromHives));
  ASSERT_TRUE(corvid::BuildEventSourceTable("XPREG", "System", fromExport));
  std::vector<std::vector<uint8_t>> records;
  ASSERT_TRUE(testing_support::ReadWholeLog("XPDISK", "System", records));
  for (const auto& bytes : records) {
    const auto& record = *reinterpret_cast<const EVENTLOGRECORD*>(bytes.data());
    ASSERT_EQ(testing_support::RowText(corvid::BuildEventRow("XPDISK", fromHives, record, bytes.size()), "System"),
              testing_support::RowText(corvid::BuildEventRow("XPREG", fromExport, record, bytes.size()), "System")
                  .replace(0, 5, "XPDISK"));
  }
}

}  // namespace
