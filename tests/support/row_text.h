// A row as one text: every column in order, the description on a line of
// its own, line breaks and tabs escaped.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>

#include "gather/row_builder.h"

namespace testing_support {

inline std::string Format(const corvid::Timestamp& t) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u.%u", t.year, t.month, t.day, t.hour, t.minute,
                t.second, t.fraction);
  return text;
}

inline std::string Escaped(std::string_view text) {
  std::string out;
  for (char c : text) out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
  return out;
}

inline std::string RowText(const corvid::EventRow& row, const char* log) {
  std::ostringstream out;
  out << row.Workstation.view() << "/" << log << " #" << row.recordNumber << " | " << Format(row.EventDate) << " | "
      << Format(row.RecordDate) << " | " << row.Source.view() << " | " << row.Computer.view() << " | "
      << row.UserName.view() << " | " << row.Type.view() << " | " << row.EventID << " | " << Escaped(row.Category)
      << " | data " << row.dataLength << "\n    " << Escaped(std::string_view(row.description, row.descriptionLength))
      << "\n";
  return out.str();
}

}  // namespace testing_support
