// The help file: the installed Corvid.hlp has a topic for every context the
// program asks for; topic starts, comments, line ends, and "@" lines that
// are no topic starts.
#include "platform/windows/help_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

using namespace std::string_literals;
using platform::ParseHelpFile;

std::string Titles(const platform::HelpFile& file) {
  std::string titles;
  for (const auto& topic : file.topics) titles += std::to_string(topic.context) + ":" + topic.title + ";";
  return titles;
}

TEST(HelpFileInstalled, HasEveryTopicTheProgramAsksFor) {
  std::ifstream in(CORVID_HELP_FILE, std::ios::binary);
  const platform::HelpFile file = ParseHelpFile(std::string(std::istreambuf_iterator<char>(in), {}));
  EXPECT_EQ(Titles(file), "1001:The main window;1002:Run log options;1003:Settings;1008:Gather selection;");
  for (const auto& topic : file.topics) {
    EXPECT_FALSE(topic.body.empty()) << topic.context;
    EXPECT_EQ(topic.body.find('@'), std::string::npos) << "a topic start was taken as text";
    EXPECT_EQ(topic.body.find("\n#"), std::string::npos) << "a comment was taken as text";
  }
  EXPECT_NE(file.Find(1001)->body.find("\nFresh list       asks"), std::string::npos) << "blanks kept";
}

// Comments, text before the first topic and carriage returns go; "@" lines
// that are no topic starts are text.
TEST(HelpFileTopics, SplitAtTopicStartsOnly) {
  const std::string text = "@\n@ 2 spaced\n@x12 letters\n@12x glued\n@-3 negative\n@+4 plus\n @5 indented\n"
                           "@4294967296 one beyond 32 bits\n@99999999999999999999999999 far beyond 64 bits";
  const platform::HelpFile file = ParseHelpFile(
      "\xEF\xBB\xBF# comment\ntext before any topic\n@7 First  \r\n\n  indented line\n# inside a topic\n\n"
      "second\xff\0paragraph\r\n\n\n@8\tSecond\n@4294967295 Max\n"s + text +
      "\n@0000000000000000000042 Zeros\n@7 Again\n@0\nonly line");
  EXPECT_EQ(Titles(file), "7:First;8:Second;4294967295:Max;42:Zeros;7:Again;0:;");
  EXPECT_EQ(file.topics[0].body, "  indented line\n\nsecond\xff\0paragraph"s);
  EXPECT_EQ(file.topics[2].body, text);
  EXPECT_EQ(file.topics[5].body, "only line");
  EXPECT_EQ(file.Find(7)->title, "First");
  EXPECT_EQ(file.Find((uint64_t{1} << 32) + 7), nullptr);
}

}  // namespace
