// FUZZ_TARGET(bytes, text) { ... }: a fuzz target's entry point, with the
// input as bytes and text. A property that does not hold calls std::abort.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_TARGET(bytes, text)                                                                            \
  static void FuzzOne(std::span<const uint8_t> bytes, std::string_view text);                              \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {                                 \
    FuzzOne({data, size}, {reinterpret_cast<const char*>(data), size});                                     \
    return 0;                                                                                               \
  }                                                                                                         \
  static void FuzzOne([[maybe_unused]] std::span<const uint8_t> bytes, [[maybe_unused]] std::string_view text)
