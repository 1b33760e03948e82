// Any bytes as a help file: no crash, no hang, and what comes out is
// consistent with what went in: every topic's title and text are pieces of
// the input, text never starts or ends with a blank line, and the first
// topic of each context is the one Find answers.
#include "fuzz_target.h"
#include "platform/windows/help_file.h"

FUZZ_TARGET(bytes, text) {
  const platform::HelpFile file = platform::ParseHelpFile(text);
  size_t total = 0;
  for (const platform::HelpTopic& topic : file.topics) {
    if (text.find(topic.title) == std::string_view::npos) std::abort();
    if (topic.title.find('\n') != std::string::npos) std::abort();
    if (!topic.body.empty() && (topic.body.front() == '\n' || topic.body.back() == '\n')) std::abort();
    total += topic.title.size() + topic.body.size();
    const platform::HelpTopic* found = file.Find(topic.context);
    if (found == nullptr || found->context != topic.context || found > &topic) std::abort();
  }
  // Titles and texts are cut from the input without their line ends.
  if (total > text.size()) std::abort();
  if (file.topics.size() > text.size() / 2) std::abort();  // "@N" is the shortest topic start
}
