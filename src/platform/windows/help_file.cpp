#include "platform/windows/help_file.h"

#include <optional>

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

struct TopicStart {
  uint32_t context;
  std::string_view title;
};

// "@" digits, then the end of the line or a blank and the title.
std::optional<TopicStart> ParseTopicStart(std::string_view line) {
  if (line.empty() || line.front() != '@') return std::nullopt;
  size_t pos = 1;
  uint64_t value = 0;
  while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
    value = value * 10 + static_cast<uint64_t>(line[pos] - '0');
    if (value > UINT32_MAX) return std::nullopt;  // also stops the value growing past 64 bits
    ++pos;
  }
  if (pos == 1) return std::nullopt;
  if (pos < line.size() && !IsBlank(line[pos])) return std::nullopt;
  return TopicStart{static_cast<uint32_t>(value), Trim(line.substr(pos))};
}

// Joins a topic's lines; blank lines between the title and the text, and
// before the next topic, are layout of the file, not of the topic.
std::string JoinBody(const std::vector<std::string_view>& lines) {
  size_t first = 0;
  size_t last = lines.size();
  while (first < last && Trim(lines[first]).empty()) ++first;
  while (last > first && Trim(lines[last - 1]).empty()) --last;
  std::string body;
  for (size_t i = first; i < last; ++i) {
    if (i > first) body += '\n';
    body.append(lines[i]);
  }
  return body;
}

}  // namespace

const HelpTopic* HelpFile::Find(uint64_t context) const {
  for (const HelpTopic& topic : topics)
    if (topic.context == context) return &topic;
  return nullptr;
}

HelpFile ParseHelpFile(std::string_view text) {
  HelpFile file;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines;  // of the last topic started
  auto finish = [&] {
    if (!file.topics.empty()) file.topics.back().body = JoinBody(lines);
    lines.clear();
  };
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (!line.empty() && line.front() == '#') continue;
    if (const auto start = ParseTopicStart(line)) {
      finish();
      file.topics.push_back(HelpTopic{start->context, std::string(start->title), {}});
    } else if (!file.topics.empty()) {
      lines.push_back(line);
    }
  }
  finish();
  return file;
}

}  // namespace platform
