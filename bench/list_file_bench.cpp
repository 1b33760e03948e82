// Reading speed of computer list files, normal and pathological.
//
// Writes each file to a temporary file and reads it back through
// ReadComputerNames as the list load and the import do, and prints seconds
// and MB/s. The files without line feeds are cut into 259-byte pieces; their
// speed against the normal file's shows whether the reading stays linear.
// Usage: list_file_bench [MB]   (default 32 MB of NULs, 50 MB for the rest)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/list_file_format.h"

namespace {

using Clock = std::chrono::steady_clock;

void Read(const char* label, const std::string& bytes) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::exit(1);
  std::rewind(file);
  const auto start = Clock::now();
  const size_t names = corvid::ReadComputerNames(file).size();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::fclose(file);
  std::printf("%-28s %6.1f MB  %9zu names  %7.3f s  %8.1f MB/s\n", label, bytes.size() / 1e6, names,
              seconds, bytes.size() / seconds / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  const double mb = argc > 1 ? std::atof(argv[1]) : 0;
  const auto size = [&](double fallback) { return static_cast<size_t>((mb > 0 ? mb : fallback) * 1e6); };

  std::string lines;
  while (lines.size() < size(50)) lines += "PDC01\tWindows NT Primary Domain Controller (4.0)\r\n";
  Read("lines with line feeds", lines);
  Read("NUL bytes, no line feed", std::string(size(32), '\0'));
  Read("one line of letters", std::string(size(50), 'A'));
  Read("one line of blanks", std::string(size(50), ' '));
  return 0;
}
