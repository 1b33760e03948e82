// Any bytes as the stub of a server information answer: the reader stays
// inside them.
#include <cstdint>
#include <cstdlib>

#include "platform/browser/srvs_rpc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::BrowseEntry entry;
  platform::srvs::ParseServerGetInfoAnswer({data, size}, entry);
  if (entry.name.size() + entry.comment.size() > size) std::abort();
  return 0;
}
