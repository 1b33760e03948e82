// Computer list files: the names they give, and the list they replace.
#include <gtest/gtest.h>

#include "netdisc/list_file.h"
#include "common/computer_list.h"
#include "common/list_file_format.h"
#include "common/start_state.h"
#include "support/temp_machine.h"

namespace {

using corvid::ComputerList;

TEST(MakeComputerEntry, DropsALeadingPairOfBackslashesAndKeepsFifteenBytes) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\\\PDC01", "PDC01"},
      {"PDC\\\\01", "PDC\\\\01"},                   // a pair elsewhere stays
      {"\\PDC01", "\\PDC01"},                       // one backslash is no prefix
      {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNO"},  // 20 cut to 15
      {"\\\\ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO"},   // 17 with the prefix, all kept
      {"ABCDEFGHIJKLMN\xC3\xA9", "ABCDEFGHIJKLMN"}, // no half of é
      {"pdc01", "pdc01"},                           // case kept
  };
  for (const auto& [in, name] : cases) EXPECT_EQ(corvid::MakeComputerEntry(in).Name, name) << in;
}

TEST(ComputerNames, ReadsTheFirstTokenOfEachLine) {
  const std::string pad(256, ' ');
  const std::pair<std::string, std::vector<std::string>> cases[] = {  // bytes, names
      {"PDC01\tWindows NT Primary Domain Controller (4.0)\r\nWS07\n", {"PDC01", "WS07"}},
      {"  \t PDC01 further words\n", {"PDC01"}},
      {"\n\n   \n\t\r\n", {}},
      {"PDC01\nPDC01\n", {"PDC01", "PDC01"}},                  // duplicates stay
      {std::string(20, 'N') + "\n", {std::string(17, 'N')}},  // 17 read
      {"\\\\" + std::string(15, 'A') + "\n", {"\\\\" + std::string(15, 'A')}},
      {std::string(259, ' ') + "SPILL\n", {"SPILL"}},                   // the rest of a long line is a line
      {std::string(250, ' ') + "ABCDEFGHIJKL", {"ABCDEFGHI", "JKL"}},  // split at 259 bytes
      {"LAST", {"LAST"}},                                               // no final line end
      {std::string("NUL\0HIDDEN\nNEXT\n", 16), {"NUL", "NEXT"}},
      {std::string(16, 'x') + "\xE2\x82\xAC", {std::string(16, 'x')}},  // no half of €
      {std::string(257, 'x') + "\xE2\x82\xAC" + "Y\n", {std::string(17, 'x'), "\xE2\x82\xAC" "Y"}},  // nor of a piece
      {"ONE" + pad + "TWO" + pad + "THREE\nFOUR\n", {"ONE", "TWO", "THREE", "FOUR"}},  // three pieces
      {"\xEF\xBB\xBFPDC01\r\nWS07\n", {"PDC01", "WS07"}},  // a UTF-8 byte order mark is dropped
      {"\xEF\xBB\xBF", {}},
      {"PDC01\n\xEF\xBB\xBFWS07\n", {"PDC01", "\xEF\xBB\xBFWS07"}},  // only at the very start
  };
  for (const auto& [bytes, names] : cases) EXPECT_EQ(corvid::ParseComputerNames(bytes), names) << bytes;
}

class ListFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ComputerList.Clear(), ComputerList.Append(corvid::MakeComputerEntry("OLD")), corvid::SilentMode = 1; }
  void TearDown() override { ComputerList.Clear(), corvid::ListFilePath.clear(), corvid::SilentMode = 0; }
  testing_support::TempMachine machine;
};

TEST_F(ListFileTest, ReplacesTheListWithTheFilesNamesUnlessItCannotBeOpened) {
  machine.Write("drives/c/Lists/Domain.imp",
                "\\\\PDC01\tWindows NT Primary Domain Controller (4.0)\r\n\r\nABCDEFGHIJKLMNOPQRST\nPDC01\n");
  for (const char* path : {"", "C:\\Lists\\missing.imp", "C:\\Lists"}) {
    corvid::ListFilePath = path;
    EXPECT_FALSE(corvid::LoadComputerListFile()) << path;
    ASSERT_EQ(ComputerList.Count(), 1u);
    EXPECT_EQ(ComputerList.At(0).Name, "OLD");
  }
  corvid::ListFilePath = "c:\\lists\\domain.IMP";
  ASSERT_TRUE(corvid::LoadComputerListFile());
  std::string names;  // "?" for a type query started, which the silent run starts none of
  for (const auto& entry : ComputerList) names += entry.Name + " " + entry.TypeText + (entry.QueryThread ? "?|" : "|");
  EXPECT_EQ(names, "PDC01 Unknown|ABCDEFGHIJKLMNO Unknown|PDC01 Unknown|");
}

}  // namespace
