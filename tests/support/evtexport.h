// Debian's evtexport (libevt-utils), an independent reader of .evt files,
// and a comparison of what it reads with what ours does.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/eventlog/evt_file.h"

namespace testing_support {

using platform::evt::EventRecordData;

struct Exported {
  uint32_t number = 0;
  std::map<std::string, std::string> fields;
  std::vector<std::string> strings;
};

// Parses evtexport's text: "Name<tabs>: value" lines, a blank line between
// records; a string with line breaks goes on over lines of its own.
inline std::vector<Exported> Evtexport(const std::string& path) {
  std::vector<Exported> out;
  const std::string command = "/usr/bin/evtexport -m items '" + path + "' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::string text;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
  ::pclose(pipe);
  std::istringstream lines(text);
  bool inString = false;
  for (std::string line; std::getline(lines, line);) {
    const size_t tab = line.find('\t');
    const size_t colon = line.find(": ", tab == std::string::npos ? 0 : tab);
    const bool field = tab != std::string::npos && colon != std::string::npos && tab > 0 &&
                       line.find_first_not_of('\t', tab) == colon;
    if (!field) {
      if (inString && !line.empty()) out.back().strings.back() += "\n" + line;
      if (line.empty()) inString = false;
      continue;
    }
    const std::string name = line.substr(0, tab), value = line.substr(colon + 2);
    inString = false;
    if (name == "Event number") {
      out.emplace_back();
      out.back().number = static_cast<uint32_t>(std::stoul(value));
    } else if (!out.empty() && name.rfind("String: ", 0) == 0) {
      out.back().strings.push_back(value);
      inString = true;
    } else if (!out.empty()) {
      out.back().fields[name] = value;
    }
  }
  return out;
}

inline std::string ExportTime(time_t seconds) {
  tm parts;
  char text[64];
  std::strftime(text, sizeof text, "%b %d, %Y %H:%M:%S UTC", gmtime_r(&seconds, &parts));
  return text;
}

inline std::string WithoutCarriageReturns(std::string text) { return std::erase(text, '\r'), text; }

inline void ExpectSame(const Exported& theirs, const EventRecordData& ours) {
  SCOPED_TRACE("record " + std::to_string(ours.recordNumber));
  EXPECT_EQ(theirs.number, ours.recordNumber);
  EXPECT_EQ(theirs.fields.at("Source name"), ours.source);
  EXPECT_EQ(theirs.fields.at("Computer name"), ours.computer);
  char id[64];
  std::snprintf(id, sizeof id, "0x%08x (%u)", ours.eventId, ours.eventId);
  EXPECT_EQ(theirs.fields.at("Event identifier"), id);
  EXPECT_EQ(theirs.fields.at("Event category"), std::to_string(ours.eventCategory));
  EXPECT_EQ(theirs.fields.at("Creation time"), ExportTime(ours.timeGenerated));
  EXPECT_EQ(theirs.fields.at("Written time"), ExportTime(ours.timeWritten));
  EXPECT_EQ(theirs.fields.count("User security identifier"), ours.sid.empty() ? 0u : 1u);
  ASSERT_EQ(theirs.strings.size(), ours.strings.size());
  for (size_t i = 0; i < ours.strings.size(); ++i) {
    EXPECT_EQ(WithoutCarriageReturns(theirs.strings[i]), WithoutCarriageReturns(ours.strings[i]));
  }
}

inline bool HaveEvtexport() { return ::access("/usr/bin/evtexport", X_OK) == 0; }

}  // namespace testing_support
