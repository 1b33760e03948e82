// Any bytes as the stub of an account lookup's answer: the readers stay
// inside them.
#include <cstdint>
#include <cstdlib>

#include "platform/accounts_time/lsat_rpc.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> answer(data, size);
  rpc::ContextHandle policy;
  lsat::ParseOpenPolicyAnswer(answer, policy);
  lsat::Translated translated;
  if (lsat::ParseLookupSidAnswer(answer, translated) == ERROR_SUCCESS &&
      translated.name.size() + translated.domain.size() > size) {
    std::abort();
  }
  return 0;
}
