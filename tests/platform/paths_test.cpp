#include "platform/files/paths.h"

#include <gtest/gtest.h>

#include "support/temp_machine.h"

namespace {

using platform::MapPath;

TEST(MapPath, DrivesSharesAndHostPaths) {
  testing_support::TempMachine machine;
  machine.Write("drives/c/Program Files/Corvid/Corvid.log", "");
  machine.Write("network/PDC01/ADMIN$/system32/netmsg.dll", "");
  machine.Write("drives/c/Log/a", "");
  machine.Write("drives/c/LOG/b", "");
  const std::string root = machine.root().string();
  const std::pair<const char*, std::string> cases[] = {
      // Existing components are found whatever their case, the exact spelling
      // first; what does not exist is kept as written, for a file about to be made.
      {"C:\\PROGRAM FILES\\corvid\\corvid.LOG", root + "/drives/c/Program Files/Corvid/Corvid.log"},
      {"C:\\LOG\\b", root + "/drives/c/LOG/b"}, {"C:\\log\\a", root + "/drives/c/LOG/a"},
      {"D:\\x\\y.txt", root + "/drives/d/x/y.txt"},
      {"\\\\pdc01\\admin$\\SYSTEM32\\NetMsg.dll", root + "/network/PDC01/ADMIN$/system32/netmsg.dll"},
      {"//PDC01/ADMIN$", root + "/network/PDC01/ADMIN$"},
      // "." goes, ".." stops at the drive or the share.
      {"C:\\..\\..\\Program Files\\.\\Corvid", root + "/drives/c/Program Files/Corvid"},
      {"\\\\PDC01\\ADMIN$\\..\\..\\..\\etc\\passwd", root + "/network/PDC01/ADMIN$/etc/passwd"},
      // Anything else is the host's own path.
      {"/etc/../etc/hostname", "/etc/hostname"}, {"relative\\list.imp", "relative/list.imp"},
      {"../list.imp", "../list.imp"}, {"", ""}};
  for (const auto& [in, out] : cases) EXPECT_EQ(MapPath(in), out) << in;
  EXPECT_EQ(platform::NetworkRoot(), root + "/network");
  testing_support::ScopedEnv network("CORVID_NETWORK", "/srv/net");
  EXPECT_EQ(platform::NetworkRoot(), "/srv/net");
  EXPECT_EQ(platform::OpenMappedFile("C:\\", "r"), nullptr) << "a folder";
}

TEST(WindowsPath, DrivesAndSharesGoBackToTheirWindowsForm) {
  testing_support::TempMachine machine;
  const std::string root = machine.root().string();
  const std::pair<std::string, const char*> cases[] = {
      {root + "/drives/c/Program Files/Corvid/Corvid.log", "C:\\Program Files\\Corvid\\Corvid.log"},
      {root + "/drives/./c/x/../list.imp", "C:\\list.imp"},
      {root + "/network/PDC01/ADMIN$/a.txt", "\\\\PDC01\\ADMIN$\\a.txt"},
      // Elsewhere, and what only looks like the machine folder, stays.
      {root + "/drivesx/c/a", nullptr}, {root + "/drives/cd/a", nullptr}};
  for (const auto& [in, out] : cases) EXPECT_EQ(platform::WindowsPath(in), out ? out : in) << in;
}

}  // namespace
