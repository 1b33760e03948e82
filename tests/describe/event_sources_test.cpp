// The event sources of a log, from this computer's registry or another's,
// and the paths their message-file values become.
#include <gtest/gtest.h>

#include "describe/event_sources.h"
#include "describe/message_paths.h"
#include "platform/registry/registry.h"
#include "support/temp_machine.h"

namespace {

using corvid::BuildEventSourceTable;
using corvid::EventSourceTable;
using corvid::FindEventSource;
using corvid::MessageFileList;
using Names = std::vector<std::string>;

const std::string kRegistry =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
    "\"SystemRoot\"=\"C:\\\\WINNT\"\n\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System]\n\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\EventLog]\n"
    "\"EventMessageFile\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,\\\n"
    "  74,00,25,00,5c,00,6e,00,65,00,74,00,2e,00,64,00,6c,00,6c,00,00,00\n\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\Service Control Manager]\n"
    "\"EventMessageFile\"=\"C:\\\\WINNT\\\\a.dll;D:\\\\b.dll\"\n"
    "\"CategoryMessageFile\"=\"c.dll\"\n"
    "\"ParameterMessageFile\"=hex(7):6b,00,65,00,72,00,6e,00,65,00,6c,00,00,00,78,00,00,00,00,00\n\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Security]\n\n";

TEST(EventSourceTable, ReadsEverySourceInRegistryOrder) {
  testing_support::TempMachine machine;
  machine.Write("registry.reg", kRegistry);
  EventSourceTable table;
  ASSERT_TRUE(BuildEventSourceTable(nullptr, "System", table));
  EXPECT_FALSE(table.computerName.has_value());
  EXPECT_EQ(table.systemRoot, "C:\\WINNT");
  EXPECT_EQ(table.sourceCount, 2u);
  EXPECT_EQ(table.sourceNames, (Names{"EventLog", "Service Control Manager"}));
  // Stored unexpanded; of a multi-string, the first.
  EXPECT_EQ(table.eventMessageFiles, (Names{"%SystemRoot%\\net.dll", "C:\\WINNT\\a.dll;D:\\b.dll"}));
  EXPECT_EQ(table.categoryMessageFiles, (Names{"", "c.dll"}));
  EXPECT_EQ(table.parameterMessageFiles, (Names{"", "kernel"}));
  EXPECT_EQ((std::vector{FindEventSource(table, "service CONTROL manager"), FindEventSource(table, "Service Control"),
                         FindEventSource(table, "Nobody")}), (std::vector<int32_t>{1, -1, -1}));

  ASSERT_TRUE(BuildEventSourceTable(nullptr, "Security", table));
  EXPECT_EQ(table.sourceCount, 0u);
  EXPECT_EQ(FindEventSource(table, "EventLog"), -1);
}

TEST(EventSourceTable, FailsWithTheStatusOfWhatCouldNotBeRead) {
  testing_support::TempMachine machine;
  EventSourceTable table;
  EXPECT_FALSE(BuildEventSourceTable("OFF05", "System", table));
  EXPECT_EQ(table.lastStatus, ERROR_BAD_NETPATH);

  machine.Write("network/PDC01/registry.reg", kRegistry);
  EXPECT_FALSE(BuildEventSourceTable("PDC01", "Application", table));
  EXPECT_EQ(table.lastStatus, ERROR_FILE_NOT_FOUND);

  // Every source read, but no system root: the whole build fails.
  std::string noRoot = kRegistry;
  noRoot.replace(noRoot.find("\"SystemRoot\""), 12, "\"OtherValue\"");
  machine.Write("network/PDC01/registry.reg", noRoot);
  EXPECT_FALSE(BuildEventSourceTable("PDC01", "System", table));
  EXPECT_EQ(table.sourceCount, 2u);
  EXPECT_EQ(table.lastStatus, ERROR_FILE_NOT_FOUND);
  noRoot.replace(noRoot.find("NT\\CurrentVersion"), 17, "NT\\Other");  // nor the key
  machine.Write("network/PDC01/registry.reg", noRoot);
  EXPECT_FALSE(BuildEventSourceTable("PDC01", "System", table));
}

EventSourceTable Table(const char* computer, const char* value) {
  EventSourceTable table;
  if (computer != nullptr) table.computerName = computer;
  table.systemRoot = "C:\\WINNT";
  table.sourceCount = 1;
  table.sourceNames = {"Source"};
  table.eventMessageFiles = {value};
  table.categoryMessageFiles = table.parameterMessageFiles = {""};
  return table;
}

TEST(MessageFilePaths, SplitExpandAndMapToShares) {
  const std::tuple<const char*, const char*, MessageFileList> cases[] = {  // computer, value, paths
      {"SRV1", "%SystemRoot%\\System32\\x.dll", {"\\\\SRV1\\C$\\WINNT\\System32\\x.dll"}},
      {nullptr, "%systemroot%\\System32\\x.dll", {"C:\\WINNT\\System32\\x.dll"}},
      {nullptr, "a.dll;b.dll", {"a.dll", "b.dll"}},
      {nullptr, "a.dll;", {"a.dll", ""}},
      {nullptr, ";", {"", ""}},
      {nullptr, " %SystemRoot%\\x.dll", {" %SystemRoot%\\x.dll"}},  // the blank stays, no expansion
      {nullptr, "%SystemRoot%", {"%SystemRoot%"}},                  // nothing behind it
      {nullptr, "%SystemDrive%\\x.dll", {"%SystemDrive%\\x.dll"}},
      {"SRV1", "D:", {"\\\\SRV1\\D$"}},
      {"SRV1", "d:\\x.dll;netmsg.dll;\\\\OTHER\\S\\y.dll", {"\\\\SRV1\\d$\\x.dll", "netmsg.dll", "\\\\OTHER\\S\\y.dll"}},
      {"SRV1", "1:x", {"\\\\SRV1\\1$x"}},  // the first character is not checked
      {nullptr, "D:\\x.dll", {"D:\\x.dll"}},  // local: no share
  };
  for (const auto& [computer, value, paths] : cases) {
    MessageFileList list;
    EXPECT_TRUE(corvid::GetEventMessageFiles(Table(computer, value), 0, list));
    EXPECT_EQ(list, paths) << value;
  }
  MessageFileList list{"stale"};
  EXPECT_FALSE(corvid::GetEventMessageFiles(Table(nullptr, "x.dll"), -1, list));
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(corvid::GetEventMessageFiles(Table(nullptr, "x.dll"), 1, list));
  EXPECT_FALSE(corvid::GetCategoryMessageFiles(Table(nullptr, "x.dll"), 0, list));  // empty value
}

}  // namespace
