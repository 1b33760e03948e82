// Any bytes as what a server sends down a pipe: binding and calling never
// crash, hang or read past what arrived, and every answer a call accepts
// is whole (within the largest answer we take).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/rpc/dcerpc.h"
#include "platform/rpc/ndr.h"

using namespace platform::rpc;

namespace {

class Replay final : public Transport {
 public:
  explicit Replay(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  DWORD Write(std::span<const uint8_t>) override { return ERROR_SUCCESS; }
  DWORD Read(void* out, size_t size) override {
    if (size > bytes_.size()) return RPC_S_CALL_FAILED;
    std::memcpy(out, bytes_.data(), size);
    bytes_ = bytes_.subspan(size);
    return ERROR_SUCCESS;
  }

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Small fragments, so that the seeds' answers arrive in several.
  Connection connection(std::make_unique<Replay>(std::span<const uint8_t>(data, size)), 1024);
  if (connection.Bind(MakeSyntax("82273fdc-e32a-18c3-3f78-827929dc23ea", 0, 0)) != ERROR_SUCCESS) return 0;
  std::vector<uint8_t> stub(3000, 0x5A);  // a request in three fragments
  std::vector<uint8_t> answer;
  for (size_t call = 0; call <= size / kHeaderSize; ++call) {
    const DWORD status = connection.Call(static_cast<uint16_t>(call), stub, answer);
    if (answer.size() > kMaxAnswer) std::abort();
    if (status != ERROR_SUCCESS) continue;  // a fault leaves the connection usable, nothing else does
    NdrReader in(answer);
    while (in.ok() && in.remaining() > 0) in.UnicodeString();
  }
  return 0;
}
