// Small registry hives for tests, written by hivexregedit (Debian's
// libwin-hivex-perl) into a copy of platform/data/empty.hive: a hive whose
// root key has nothing below it, the one thing that tool cannot make.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace testing_support {

inline bool HaveHivexregedit() {
  return std::system("command -v hivexregedit >/dev/null 2>&1") == 0;
}

// Writes `file` as a hive holding `reg`, regedit text with keys from the hive's root ("[\Select]");
// parents are named first, as the tool wants. False when the tool fails.
inline bool MakeHive(const std::filesystem::path& file, const std::string& reg) {
  std::filesystem::create_directories(file.parent_path());
  std::filesystem::copy_file(std::string(CORVID_TEST_DATA) + "/empty.hive", file,
                             std::filesystem::copy_options::overwrite_existing);
  std::ostringstream text;
  text << "Windows Registry Editor Version 5.00\n\n";
  std::set<std::string> named;
  std::istringstream lines(reg);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      const std::string key = line.substr(1, line.size() - 2);
      for (size_t at = key.find('\\', 1); at != std::string::npos; at = key.find('\\', at + 1)) {
        if (named.insert(key.substr(0, at)).second) text << "[" << key.substr(0, at) << "]\n\n";
      }
      named.insert(key);
    }
    text << line << "\n";
  }
  const std::string regFile = file.string() + ".reg";
  std::ofstream(regFile, std::ios::binary) << text.str() << "\n";
  const std::string command = "hivexregedit --merge '" + file.string() + "' '" + regFile + "' 2>&1";
  const bool ok = std::system(command.c_str()) == 0;
  std::filesystem::remove(regFile);
  return ok;
}

}  // namespace testing_support
