// Any bytes as a command line: the tokenizer ends, never reads past the
// line, and joining tokens without blanks or quotes gives them back.
#include "common/command_line.h"
#include "fuzz_target.h"

FUZZ_TARGET(bytes, text) {
  corvid::CommandLineTokenizer tokenizer(text);
  std::vector<std::string> tokens;
  std::string token;
  for (size_t total = 0; tokenizer.Next(token); tokens.push_back(token)) {
    total += token.size();
    if (total > text.size() || tokens.size() > text.size()) std::abort();
  }
  // Arguments that hold no quote come back through the join unchanged.
  std::vector<const char*> plain;
  for (const std::string& t : tokens)
    if (t.find('"') == std::string::npos && t.find('\0') == std::string::npos) plain.push_back(t.c_str());
  const std::string joined = corvid::JoinArguments(static_cast<int>(plain.size()), plain.data());
  corvid::CommandLineTokenizer again(joined);
  size_t i = 0;
  for (; again.Next(token); ++i)
    if (i >= plain.size() || token != plain[i]) std::abort();
  if (i != plain.size()) std::abort();
}
