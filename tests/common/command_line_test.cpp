#include <gtest/gtest.h>

#include "common/command_line.h"

namespace {

// Joining and splitting again round-trip in the fuzz target.
TEST(CommandLineTokenizer, SplitsAsTheWindowsLineWasSplit) {
  const struct {
    std::string line;
    std::vector<std::string> tokens;
  } cases[] = {
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
      {std::string(300, 'p'), {std::string(300, 'p')}},
  };
  for (const auto& c : cases) {
    corvid::CommandLineTokenizer tokenizer(c.line);
    std::vector<std::string> tokens;
    for (std::string token; tokenizer.Next(token);) tokens.push_back(token);
    EXPECT_EQ(tokens, c.tokens) << c.line;
  }
}

}  // namespace
