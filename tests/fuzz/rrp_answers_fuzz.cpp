// Any bytes as the stub of a remote registry answer: every reader stays
// inside them and takes no more than the largest value we accept.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry/rrp_rpc.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> answer(data, size);
  rpc::ContextHandle key;
  rrp::ParseKeyAnswer(answer, key);
  std::string name;
  rrp::ParseEnumKeyAnswer(answer, name);
  if (name.size() > size) std::abort();
  uint32_t type = 0;
  uint32_t needed = 0;
  std::vector<uint8_t> value;
  rrp::ParseQueryValueAnswer(answer, type, value, needed);
  if (value.size() > size || value.size() > rrp::kMaxValue) std::abort();
  return 0;
}
