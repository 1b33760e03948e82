// The program's help file: plain UTF-8 text in topics. A line "@NUMBER TITLE"
// starts a topic, NUMBER being the context number the program asks WinHelp
// for (decimal, at most 32 bits); the lines up to the next topic are its
// text. Lines beginning with "#" are comments. Anything else is text, so an
// "@" line that is not a topic start (no digits, a sign, a number beyond 32
// bits) shows as it is. Text before the first topic is dropped.
//
// Any bytes parse: CR LF and LF line ends alike, a missing last line end, a
// UTF-8 byte order mark, NULs and invalid UTF-8 are carried through as bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct HelpTopic {
  uint32_t context = 0;
  std::string title;  // blanks around it removed; may be empty
  std::string body;   // lines joined by "\n", blank lines at both ends removed
};

struct HelpFile {
  std::vector<HelpTopic> topics;  // in file order

  // The first topic with that context number, or nullptr. Takes the caller's
  // full width, so a context beyond 32 bits finds nothing rather than the
  // topic of its low half.
  const HelpTopic* Find(uint64_t context) const;
};

HelpFile ParseHelpFile(std::string_view text);

}  // namespace platform
