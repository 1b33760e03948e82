// The command line: "-S" or "/S" for the silent road, anything else names
// the computer list file.
//
// Linux hands the program an argument vector; it is joined back into one
// line (arguments holding blanks in double quotes) and read with the same
// tokenizer Windows' single command line was, so quoting behaves the same.
#pragma once

#include <string>
#include <string_view>

namespace corvid {

std::string JoinArguments(int count, const char* const* arguments);

// Reads the tokens of one line, one per call, keeping its position.
//  - Blanks (spaces and tabs) separate tokens.
//  - A token that starts with a double quote runs to the next double quote,
//    or to the end of the line; "" is an empty token; a quote that is the
//    line's last character ends the tokens.
//  - In any other token a double quote is an ordinary character.
// Tokens are delivered whole: the old limit of 259 characters is lifted,
// since host paths may be longer.
class CommandLineTokenizer {
 public:
  explicit CommandLineTokenizer(std::string_view line) : line_(line) {}
  bool Next(std::string& token);

 private:
  std::string_view line_;
  size_t position_ = 0;
};

// The process-wide tokenizer: the first call starts at the beginning of the
// line handed in; later calls with the same line go on from where the last
// one stopped.
bool NextCommandLineToken(const char* commandLine, std::string& token);

}  // namespace corvid
