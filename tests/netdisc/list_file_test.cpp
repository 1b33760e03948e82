#include <gtest/gtest.h>

#include "netdisc/list_file.h"
#include "common/computer_list.h"
#include "common/start_state.h"
#include "support/temp_machine.h"

namespace {

using corvid::ComputerList;
using testing_support::TempMachine;

class ListFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ComputerList.Clear();
    corvid::SilentMode = 1;
  }
  void TearDown() override {
    ComputerList.Clear();
    corvid::ListFilePath.clear();
    corvid::SilentMode = 0;
  }
  TempMachine machine;
};

TEST_F(ListFileTest, ReplacesTheListWithTheFilesNames) {
  ComputerList.Append(corvid::MakeComputerEntry("OLD"));
  machine.Write("drives/c/Lists/Domain.imp",
                "\\\\PDC01\tWindows NT Primary Domain Controller (4.0)\r\n\r\n"
                "ABCDEFGHIJKLMNOPQRST\nPDC01\n");
  corvid::ListFilePath = "c:\\lists\\domain.IMP";
  ASSERT_TRUE(corvid::LoadComputerListFile());
  ASSERT_EQ(ComputerList.Count(), 3u);
  EXPECT_EQ(ComputerList.At(0).Name, "PDC01");
  EXPECT_EQ(ComputerList.At(1).Name, "ABCDEFGHIJKLMNO");
  EXPECT_EQ(ComputerList.At(2).Name, "PDC01");
  for (const auto& entry : ComputerList) {
    EXPECT_EQ(entry.TypeText, "Unknown");
    EXPECT_EQ(entry.QueryThread, nullptr);  // the silent run starts no query
  }
}

TEST_F(ListFileTest, AnUnopenableFileLeavesTheListAlone) {
  ComputerList.Append(corvid::MakeComputerEntry("OLD"));
  machine.Write("drives/c/Lists/x", "");
  for (const char* path : {"", "C:\\Lists\\missing.imp", "C:\\Lists"}) {
    corvid::ListFilePath = path;
    EXPECT_FALSE(corvid::LoadComputerListFile()) << path;
    ASSERT_EQ(ComputerList.Count(), 1u);
    EXPECT_EQ(ComputerList.At(0).Name, "OLD");
  }
}

}  // namespace
