#include "platform/base/environment.h"

#include <unistd.h>

namespace platform {

uint64_t EnvironmentStamp() {
  uint64_t stamp = reinterpret_cast<uintptr_t>(environ);
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    stamp = (stamp ^ reinterpret_cast<uintptr_t>(*entry)) * 0x100000001B3ull;
  }
  return stamp;
}

}  // namespace platform
