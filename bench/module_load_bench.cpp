// Loading speed of message modules with and without the module cache.
//
// The gatherer loads, formats from and frees every message file of every
// record, so a gather of many records loads the same few files over and
// over. This loads a message DLL, fetches one message as the description
// code does (allocated, inserts ignored) and frees both, N times, first with
// the cache of parsed modules and then without it, and prints loads per
// second and how many times the file was read.
// Usage: module_load_bench [dll [message-id [N]]]
// (default: the real data's wrc_test.dll, message 2, 100000 rounds).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/base/last_error.h"
#include "platform/modules/modules.h"

namespace {

using Clock = std::chrono::steady_clock;

bool Round(const char* path, DWORD id) {
  HMODULE module = LoadLibraryExA(path, nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return false;
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                         FORMAT_MESSAGE_FROM_HMODULE,
                     module, id, 0x0400, reinterpret_cast<char*>(&text), 0, nullptr);
  if (length > 0) LocalFree(text);
  FreeLibrary(module);
  return length > 0;
}

void Run(const char* label, const char* path, DWORD id, long rounds) {
  const auto before = platform::GetModuleLoadCounters();
  const auto start = Clock::now();
  for (long i = 0; i < rounds; ++i) {
    if (!Round(path, id)) {
      std::fprintf(stderr, "%s: load or format failed, error %u\n", path, GetLastError());
      std::exit(1);
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const auto after = platform::GetModuleLoadCounters();
  std::printf("%-10s %8ld loads in %7.3f s: %10.0f loads/s, %8llu file reads\n", label, rounds,
              seconds, static_cast<double>(rounds) / seconds,
              static_cast<unsigned long long>(after.fileReads - before.fileReads));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : std::string(CORVID_REAL_DATA) + "/wrc_test.dll";
  const DWORD id = argc > 2 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 0)) : 2;
  const long rounds = argc > 3 ? std::atol(argv[3]) : 100000;
  platform::SetModuleCacheEnabled(true);
  Run("cache on", path.c_str(), id, rounds);
  platform::SetModuleCacheEnabled(false);
  Run("cache off", path.c_str(), id, rounds);
  return 0;
}
