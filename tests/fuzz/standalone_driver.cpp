// Runs a fuzz target without libFuzzer, so every build checks it: first each
// seed file named on the command line (files or folders of them), then a
// fixed number of inputs mutated from the seeds with a fixed random seed, so
// a failure reproduces. A real fuzzing campaign links libFuzzer instead
// (CORVID_LIBFUZZER with clang).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> LoadSeeds(int argc, char** argv) {
  std::vector<std::string> seeds;
  auto add = [&](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("-", 0) == 0) continue;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) add(entry.path());
      }
    } else {
      add(arg);
    }
  }
  if (seeds.empty()) seeds.emplace_back();
  return seeds;
}

std::string Mutate(std::string input, std::mt19937& random, const std::vector<std::string>& seeds) {
  const int steps = 1 + static_cast<int>(random() % 8);
  for (int s = 0; s < steps; ++s) {
    const size_t pos = input.empty() ? 0 : random() % (input.size() + 1);
    switch (random() % 6) {
      case 0:  // flip a byte
        if (!input.empty()) input[pos % input.size()] = static_cast<char>(random());
        break;
      case 1: {  // insert bytes that parsers treat specially
        static constexpr char kSpecial[] = "\0\n\r\t \"\\[]=,:%@-\xff\xfe\x80\xc3";
        input.insert(pos, std::string(1 + random() % 4, kSpecial[random() % (sizeof kSpecial - 1)]));
        break;
      }
      case 2:  // erase a run
        if (!input.empty()) input.erase(pos % input.size(), 1 + random() % 16);
        break;
      case 3: {  // splice from another seed
        const std::string& other = seeds[random() % seeds.size()];
        if (!other.empty()) {
          const size_t from = random() % other.size();
          input.insert(pos, other.substr(from, 1 + random() % 64));
        }
        break;
      }
      case 4:  // truncate
        input.resize(pos);
        break;
      default:  // duplicate a run
        if (!input.empty()) input.insert(pos, input.substr(pos % input.size(), 1 + random() % 32));
        break;
    }
  }
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  long runs = 2000;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]).rfind("-runs=", 0) == 0) runs = std::atol(argv[i] + 6);
  }
  const std::vector<std::string> seeds = LoadSeeds(argc, argv);
  for (const std::string& seed : seeds) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(seed.data()), seed.size());
  }
  std::mt19937 random(20261205);
  for (long i = 0; i < runs; ++i) {
    const std::string input = Mutate(seeds[random() % seeds.size()], random, seeds);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  }
  std::printf("%zu seeds and %ld mutated inputs passed\n", seeds.size(), runs);
  return 0;
}
