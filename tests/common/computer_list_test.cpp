#include <gtest/gtest.h>

#include "common/computer_list.h"
#include "common/list_file_format.h"

namespace {

using corvid::MakeComputerEntry;
using corvid::ParseComputerNames;

TEST(MakeComputerEntry, DropsALeadingPairOfBackslashesAndKeepsFifteenBytes) {
  struct Case {
    const char* in;
    const char* name;
  };
  const Case cases[] = {
      {"\\\\PDC01", "PDC01"},
      {"PDC\\\\01", "PDC\\\\01"},                    // a pair elsewhere stays
      {"\\PDC01", "\\PDC01"},                        // one backslash is no prefix
      {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNO"},    // 20 cut to 15
      {"\\\\ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO"},     // 17 with the prefix, all kept
      {"ABCDEFGHIJKLMN\xC3\xA9", "ABCDEFGHIJKLMN"},   // no half of é
      {"pdc01", "pdc01"},                             // case kept
  };
  for (const Case& c : cases) {
    const corvid::ComputerEntry entry = MakeComputerEntry(c.in);
    EXPECT_EQ(entry.Name, c.name) << c.in;
    EXPECT_EQ(entry.TypeText, "Unknown");
    EXPECT_EQ(entry.Kind, corvid::kKindUnknown);
    EXPECT_EQ(entry.Selected, 0u);
    EXPECT_EQ(entry.QueryThread, nullptr);
  }
}

TEST(ComputerNames, ReadsTheFirstTokenOfEachLine) {
  struct Case {
    std::string bytes;
    std::vector<std::string> names;
  };
  const std::string longName(20, 'N');
  const std::string longLine = std::string(259, ' ') + "SPILL\n";
  const std::string pad(256, ' ');
  const Case cases[] = {
      {"PDC01\tWindows NT Primary Domain Controller (4.0)\r\nWS07\n", {"PDC01", "WS07"}},
      {"  \t PDC01 further words\n", {"PDC01"}},
      {"\n\n   \n\t\r\n", {}},
      {"PDC01\nPDC01\n", {"PDC01", "PDC01"}},               // duplicates stay
      {longName + "\n", {std::string(17, 'N')}},            // 17 read
      {"\\\\" + std::string(15, 'A') + "\n", {"\\\\" + std::string(15, 'A')}},
      {longLine, {"SPILL"}},                                // the rest of a long line is a line
      {std::string(250, ' ') + "ABCDEFGHIJKL", {"ABCDEFGHI", "JKL"}},  // split at 259 bytes
      {"LAST", {"LAST"}},                                   // no final line end
      {std::string("NUL\0HIDDEN\nNEXT\n", 16), {"NUL", "NEXT"}},
      {std::string(16, 'x') + "\xE2\x82\xAC", {std::string(16, 'x')}},  // no half of €
      {"ONE" + pad + "TWO" + pad + "THREE\nFOUR\n", {"ONE", "TWO", "THREE", "FOUR"}},  // three pieces
      {"\xEF\xBB\xBFPDC01\r\nWS07\n", {"PDC01", "WS07"}},  // a UTF-8 byte order mark is dropped
      {"\xEF\xBB\xBF", {}},
      {"PDC01\n\xEF\xBB\xBFWS07\n", {"PDC01", "\xEF\xBB\xBFWS07"}},  // only at the very start
  };
  for (const Case& c : cases) EXPECT_EQ(ParseComputerNames(c.bytes), c.names) << c.bytes;
}

}  // namespace
