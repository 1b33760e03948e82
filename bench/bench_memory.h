// Memory figures of the benchmark's own process, from /proc/self.
#pragma once

#include <malloc.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace bench {

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS"); -1 when missing.
inline long StatusKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  }
  return -1;
}

// Starts a new peak: the high-water mark falls back to what is resident
// now, which is returned.
inline long ResetPeak() {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
  return StatusKib("VmRSS");
}

}  // namespace bench
