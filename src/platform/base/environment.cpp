#include "platform/base/environment.h"

#include <unistd.h>

namespace platform {

namespace {

thread_local int holds = 0;
thread_local uint64_t held = 0;

uint64_t WalkEnvironment() {
  uint64_t stamp = reinterpret_cast<uintptr_t>(environ);
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    stamp = (stamp ^ reinterpret_cast<uintptr_t>(*entry)) * 0x100000001B3ull;
  }
  return stamp;
}

}  // namespace

uint64_t EnvironmentStamp() { return holds > 0 ? held : WalkEnvironment(); }

EnvironmentHold::EnvironmentHold() {
  if (holds++ == 0) held = WalkEnvironment();
}

EnvironmentHold::~EnvironmentHold() { --holds; }

}  // namespace platform
