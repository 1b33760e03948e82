// The help file: the installed Corvid.hlp has a topic for every context the
// program asks for; topic starts, comments and line ends; malformed "@"
// lines and numbers beyond 32 bits read as text; lookups by context.
#include "platform/windows/help_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace std::string_literals;
using platform::HelpFile;
using platform::ParseHelpFile;

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::string Titles(const HelpFile& file) {
  std::string titles;
  for (const auto& topic : file.topics) titles += std::to_string(topic.context) + ":" + topic.title + ";";
  return titles;
}

TEST(HelpFileInstalled, HasEveryTopicTheProgramAsksFor) {
  const std::string text = ReadFile(CORVID_HELP_FILE);
  ASSERT_FALSE(text.empty());
  const HelpFile file = ParseHelpFile(text);
  EXPECT_EQ(Titles(file),
            "1001:The main window;1002:Run log options;1003:Settings;1008:Gather selection;");
  for (const auto& topic : file.topics) {
    EXPECT_FALSE(topic.body.empty()) << topic.context;
    EXPECT_EQ(topic.body.find('@'), std::string::npos) << "a topic start was taken as text";
    EXPECT_EQ(topic.body.find("\n#"), std::string::npos) << "a comment was taken as text";
  }
  // Column-aligned lines keep their blanks.
  EXPECT_NE(file.Find(1001)->body.find("\nFresh list       asks"), std::string::npos);
}

TEST(HelpFileTopics, SplitsAtTopicStartsAndDropsCommentsAndPreamble) {
  const HelpFile file = ParseHelpFile(
      "# comment\n"
      "text before any topic\n"
      "@7 First  \n"
      "\n"
      "  indented line\n"
      "# a comment inside a topic\n"
      "\n"
      "second paragraph\n"
      "\n\n"
      "@8\tSecond\n"
      "@9\n"
      "only line");
  EXPECT_EQ(Titles(file), "7:First;8:Second;9:;");
  ASSERT_EQ(file.topics.size(), 3u);
  EXPECT_EQ(file.topics[0].body, "  indented line\n\nsecond paragraph");
  EXPECT_EQ(file.topics[1].body, "");
  EXPECT_EQ(file.topics[2].body, "only line");
  EXPECT_TRUE(ParseHelpFile("").topics.empty());
  EXPECT_TRUE(ParseHelpFile("# only comments\n\nand text\n").topics.empty());
}

TEST(HelpFileTopics, CrLfAndByteOrderMarkReadAsPlainLf) {
  const HelpFile lf = ParseHelpFile("@1 A\nx\n\ny\n@2 B\nz\n");
  const HelpFile crlf = ParseHelpFile("\xEF\xBB\xBF@1 A\r\nx\r\n\r\ny\r\n@2 B\r\nz\r\n");
  ASSERT_EQ(Titles(crlf), "1:A;2:B;");
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(crlf.topics[i].body, lf.topics[i].body);
  EXPECT_EQ(crlf.topics[0].body, "x\n\ny");
}

TEST(HelpFileMalformed, AtLinesThatAreNotTopicStartsAreText) {
  const HelpFile file = ParseHelpFile(
      "@1 Topic\n"
      "@\n"
      "@ 2 spaced\n"
      "@x12 letters\n"
      "@12x glued\n"
      "@-3 negative\n"
      "@+4 plus\n"
      " @5 indented\n"
      "@4294967296 one beyond 32 bits\n"
      "@99999999999999999999999999 far beyond 64 bits\n");
  ASSERT_EQ(file.topics.size(), 1u);
  EXPECT_EQ(file.topics[0].body,
            "@\n@ 2 spaced\n@x12 letters\n@12x glued\n@-3 negative\n@+4 plus\n @5 indented\n"
            "@4294967296 one beyond 32 bits\n@99999999999999999999999999 far beyond 64 bits");
  EXPECT_EQ(Titles(ParseHelpFile("@4294967295 Max\n@0 Zero\n@0000000000000000000042 Zeros\n")),
            "4294967295:Max;0:Zero;42:Zeros;");
}

TEST(HelpFileMalformed, NulsAndInvalidUtf8AreCarriedAsBytes) {
  const HelpFile file = ParseHelpFile("@1 T\xff\n"s + "a\0b\xc3\n"s);
  ASSERT_EQ(file.topics.size(), 1u);
  EXPECT_EQ(file.topics[0].title, "T\xff");
  EXPECT_EQ(file.topics[0].body, "a\0b\xc3"s);
}

TEST(HelpFileLookup, FirstTopicOfAContextAndNoWrapBeyond32Bits) {
  const HelpFile file = ParseHelpFile("@1001 A\n@2 B\n@1001 Again\n");
  ASSERT_NE(file.Find(1001), nullptr);
  EXPECT_EQ(file.Find(1001)->title, "A");
  EXPECT_EQ(file.Find(3), nullptr);
  EXPECT_EQ(file.Find((uint64_t{1} << 32) + 1001), nullptr);
}

}  // namespace
