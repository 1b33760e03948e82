#include "common/command_line.h"

#include <optional>

namespace corvid {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Interface thread only. Bound to the line it was first handed; another
// line starts over, which only a test in one process ever does.
std::optional<CommandLineTokenizer> processTokenizer;
const char* processLine = nullptr;

}  // namespace

std::string JoinArguments(int count, const char* const* arguments) {
  std::string line;
  for (int i = 0; i < count; ++i) {
    const std::string_view argument(arguments[i]);
    if (i > 0) line += ' ';
    const bool quote = argument.empty() || argument.find_first_of(" \t") != std::string_view::npos;
    if (quote) line += '"';
    line += argument;
    if (quote) line += '"';
  }
  return line;
}

bool CommandLineTokenizer::Next(std::string& token) {
  while (position_ < line_.size() && IsBlank(line_[position_])) ++position_;
  if (position_ >= line_.size()) return false;
  if (line_[position_] == '"') {
    if (position_ + 1 == line_.size()) {
      position_ = line_.size();
      return false;
    }
    const size_t start = position_ + 1;
    size_t end = line_.find('"', start);
    if (end == std::string_view::npos) end = line_.size();
    token.assign(line_.substr(start, end - start));
    position_ = end < line_.size() ? end + 1 : end;
    return true;
  }
  const size_t start = position_;
  while (position_ < line_.size() && !IsBlank(line_[position_])) ++position_;
  token.assign(line_.substr(start, position_ - start));
  return true;
}

bool NextCommandLineToken(const char* commandLine, std::string& token) {
  if (!processTokenizer || commandLine != processLine) {
    processLine = commandLine;
    processTokenizer.emplace(commandLine != nullptr ? commandLine : "");
  }
  return processTokenizer->Next(token);
}

}  // namespace corvid
