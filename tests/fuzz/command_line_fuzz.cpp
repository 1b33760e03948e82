// Any bytes as a command line: the tokenizer ends, never reads past the
// line, and joining tokens without blanks or quotes gives them back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  corvid::CommandLineTokenizer tokenizer(line);
  std::vector<std::string> tokens;
  std::string token;
  size_t total = 0;
  while (tokenizer.Next(token)) {
    total += token.size();
    if (total > line.size() || tokens.size() > line.size()) std::abort();
    tokens.push_back(token);
  }
  // Arguments that hold no quote come back through the join unchanged.
  std::vector<const char*> plain;
  for (const std::string& t : tokens) {
    if (t.find('"') == std::string::npos && t.find('\0') == std::string::npos) plain.push_back(t.c_str());
  }
  const std::string joined = corvid::JoinArguments(static_cast<int>(plain.size()), plain.data());
  corvid::CommandLineTokenizer again(joined);
  size_t i = 0;
  while (again.Next(token)) {
    if (i >= plain.size() || token != plain[i]) std::abort();
    ++i;
  }
  if (i != plain.size()) std::abort();
  return 0;
}
