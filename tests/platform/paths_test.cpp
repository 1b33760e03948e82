#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files/paths.h"
#include "support/temp_machine.h"

namespace {

using platform::MapPath;
using testing_support::ScopedEnv;
using testing_support::TempMachine;

TEST(MachineFolder, ComesFromTheEnvironment) {
  TempMachine machine;
  EXPECT_EQ(platform::MachineFolder(), machine.root().string());
  EXPECT_EQ(platform::NetworkRoot(), machine.root().string() + "/network");
  ScopedEnv network("CORVID_NETWORK", std::string("/srv/net"));
  EXPECT_EQ(platform::NetworkRoot(), "/srv/net");
}

TEST(MapPath, DrivesSharesAndHostPaths) {
  TempMachine machine;
  machine.Write("drives/c/Program Files/Corvid/Corvid.log", "");
  machine.Write("network/PDC01/ADMIN$/system32/netmsg.dll", "");
  const std::string root = machine.root().string();
  struct Case {
    const char* in;
    std::string out;
  };
  const Case cases[] = {
      // Existing components are found whatever their case.
      {"C:\\PROGRAM FILES\\corvid\\corvid.LOG", root + "/drives/c/Program Files/Corvid/Corvid.log"},
      {"c:/Program Files/Corvid", root + "/drives/c/Program Files/Corvid"},
      // What does not exist is kept as written, for a file about to be made.
      {"C:\\Program Files\\Corvid\\New.log", root + "/drives/c/Program Files/Corvid/New.log"},
      {"D:\\x\\y.txt", root + "/drives/d/x/y.txt"},
      {"\\\\pdc01\\admin$\\SYSTEM32\\NetMsg.dll", root + "/network/PDC01/ADMIN$/system32/netmsg.dll"},
      {"//PDC01/ADMIN$", root + "/network/PDC01/ADMIN$"},
      // "." goes, ".." stops at the drive or the share.
      {"C:\\..\\..\\Program Files\\.\\Corvid", root + "/drives/c/Program Files/Corvid"},
      {"\\\\PDC01\\ADMIN$\\..\\..\\..\\etc\\passwd", root + "/network/PDC01/ADMIN$/etc/passwd"},
      // Anything else is the host's own path.
      {"/etc/../etc/hostname", "/etc/hostname"},
      {"relative\\list.imp", "relative/list.imp"},
      {"../list.imp", "../list.imp"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MapPath(c.in), c.out) << c.in;
}

TEST(WindowsPath, DrivesAndSharesGoBackToTheirWindowsForm) {
  TempMachine machine;
  const std::string root = machine.root().string();
  struct Case {
    std::string in;
    const char* out;
  };
  const Case cases[] = {
      {root + "/drives/c/Program Files/Corvid/Corvid.log", "C:\\Program Files\\Corvid\\Corvid.log"},
      {root + "/drives/d/", "D:\\"},
      {root + "/drives/./c/x/../list.imp", "C:\\list.imp"},
      {root + "/network/PDC01/ADMIN$/a.txt", "\\\\PDC01\\ADMIN$\\a.txt"},
      // Elsewhere, and what only looks like the machine folder, stays.
      {root + "/drivesx/c/a", nullptr},
      {root + "/drives/cd/a", nullptr},
      {"/tmp/list.imp", nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::WindowsPath(c.in), c.out != nullptr ? c.out : c.in) << c.in;
  EXPECT_EQ(MapPath(platform::WindowsPath(root + "/drives/c/New.log")), root + "/drives/c/New.log");
}

TEST(MapPath, PrefersTheExactSpellingWhenBothExist) {
  TempMachine machine;
  machine.Write("drives/c/Log/a", "");
  machine.Write("drives/c/LOG/b", "");
  EXPECT_EQ(MapPath("C:\\LOG\\b"), machine.root().string() + "/drives/c/LOG/b");
  EXPECT_EQ(MapPath("C:\\log\\a"), machine.root().string() + "/drives/c/LOG/a");
}

TEST(OpenMappedFile, RefusesFolders) {
  TempMachine machine;
  machine.Write("drives/c/list.imp", "PDC01\n");
  std::FILE* file = platform::OpenMappedFile("C:\\LIST.IMP", "r");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_EQ(platform::OpenMappedFile("C:\\", "r"), nullptr);
  EXPECT_EQ(platform::OpenMappedFile("", "r"), nullptr);
}

}  // namespace
