#include <gtest/gtest.h>

#include "common/command_line.h"

namespace {

std::vector<std::string> Tokens(const std::string& line) {
  corvid::CommandLineTokenizer tokenizer(line);
  std::vector<std::string> tokens;
  std::string token;
  while (tokenizer.Next(token)) tokens.push_back(token);
  return tokens;
}

TEST(CommandLineTokenizer, SplitsAsTheWindowsLineWasSplit) {
  struct Case {
    const char* line;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"", {}},
      {" \t ", {}},
      {"-S list.imp", {"-S", "list.imp"}},
      {"  /S\t\"C:\\My Lists\\all.imp\"  ", {"/S", "C:\\My Lists\\all.imp"}},
      {"\"C:\\My Lists\\all.imp\" -S", {"C:\\My Lists\\all.imp", "-S"}},
      {"\"\"", {""}},                             // an empty token
      {"a \"", {"a"}},                            // a last lone quote ends the tokens
      {"\"unclosed to the end", {"unclosed to the end"}},
      {"ab\"cd ef", {"ab\"cd", "ef"}},            // a quote inside is ordinary
      {"\"x\"y", {"x", "y"}},                     // the quoted token ends at its quote
  };
  for (const Case& c : cases) EXPECT_EQ(Tokens(c.line), c.tokens) << c.line;
  EXPECT_EQ(Tokens(std::string(300, 'p')), std::vector<std::string>{std::string(300, 'p')});
}

TEST(JoinArguments, QuotesWhatHoldsBlanksSoTheTokensComeBack) {
  const char* argv[] = {"-S", "/tmp/My Lists/all.imp", "", "plain"};
  const std::string line = corvid::JoinArguments(4, argv);
  EXPECT_EQ(line, "-S \"/tmp/My Lists/all.imp\" \"\" plain");
  EXPECT_EQ(Tokens(line), (std::vector<std::string>{"-S", "/tmp/My Lists/all.imp", "", "plain"}));
}

}  // namespace
