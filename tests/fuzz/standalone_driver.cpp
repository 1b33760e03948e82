// Runs a fuzz target without libFuzzer, so every build checks it: each seed
// (files, or folders of them, on the command line), then -runs= inputs
// mutated from them with a fixed random seed, so a failure reproduces.
// Fuzzing proper links libFuzzer instead (CORVID_LIBFUZZER with clang).
#include <cstdio>
#include <filesystem>
#include <random>

#include "fuzz_target.h"
#include "support/temp_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::string Mutate(std::string input, std::mt19937& random, const std::vector<std::string>& seeds) {
  static constexpr char kSpecial[] = "\0\n\r\t \"\\[]=,:%@-\xff\xfe\x80\xc3";  // bytes parsers treat specially
  for (int steps = 1 + static_cast<int>(random() % 8); steps > 0; --steps) {
    const size_t pos = input.empty() ? 0 : random() % (input.size() + 1);
    const size_t at = input.empty() ? 0 : pos % input.size();
    const std::string& other = seeds[random() % seeds.size()];
    // Flip a byte, insert special bytes, erase a run, splice from another
    // seed, truncate, or duplicate a run.
    switch (random() % 6) {
      case 0: if (!input.empty()) input[at] = static_cast<char>(random()); break;
      case 1: input.insert(pos, std::string(1 + random() % 4, kSpecial[random() % (sizeof kSpecial - 1)])); break;
      case 2: if (!input.empty()) input.erase(at, 1 + random() % 16); break;
      case 3: if (!other.empty()) input.insert(pos, other.substr(random() % other.size(), 1 + random() % 64)); break;
      case 4: input.resize(pos); break;
      default: if (!input.empty()) input.insert(pos, input.substr(at, 1 + random() % 32));
    }
  }
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  long runs = 2000;
  std::vector<std::string> seeds;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("-runs=", 0) == 0) runs = std::atol(arg.c_str() + 6);
    if (arg.rfind("-", 0) == 0) continue;
    std::vector<std::filesystem::path> files{arg};
    if (std::filesystem::is_directory(arg)) files.assign(std::filesystem::directory_iterator(arg), {});
    for (const std::filesystem::path& file : files)
      if (!std::filesystem::is_directory(file)) seeds.push_back(testing_support::ReadFile(file));
  }
  if (seeds.empty()) seeds.emplace_back();
  for (const std::string& seed : seeds)
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(seed.data()), seed.size());
  std::mt19937 random(20261205);
  for (long i = 0; i < runs; ++i) {
    const std::string input = Mutate(seeds[random() % seeds.size()], random, seeds);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  }
  std::printf("%zu seeds and %ld mutated inputs passed\n", seeds.size(), runs);
  return 0;
}
