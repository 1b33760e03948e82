// Any bytes as what a server sends down a pipe: binding and calling never
// crash, hang or read past what arrived, and every answer a call accepts
// is whole (within the largest answer we take).
#include <cstring>
#include <memory>

#include "fuzz_target.h"
#include "platform/rpc/dcerpc.h"
#include "platform/rpc/ndr.h"

using namespace platform::rpc;

namespace {

// What arrives is the input, in the pieces the connection asks for.
struct Replay final : Transport {
  explicit Replay(std::span<const uint8_t> input) : bytes(input) {}
  DWORD Write(std::span<const uint8_t>) override { return ERROR_SUCCESS; }
  DWORD Read(void* out, size_t size) override {
    if (size > bytes.size()) return RPC_S_CALL_FAILED;
    std::memcpy(out, bytes.data(), size);
    bytes = bytes.subspan(size);
    return ERROR_SUCCESS;
  }
  std::span<const uint8_t> bytes;
};

}  // namespace

FUZZ_TARGET(bytes, text) {
  // Small fragments, so that the seeds' answers arrive in several.
  Connection connection(std::make_unique<Replay>(bytes), 1024);
  if (connection.Bind(MakeSyntax("82273fdc-e32a-18c3-3f78-827929dc23ea", 0, 0)) != ERROR_SUCCESS) return;
  std::vector<uint8_t> stub(3000, 0x5A);  // a request in three fragments
  std::vector<uint8_t> answer;
  for (size_t call = 0; call <= bytes.size() / kHeaderSize; ++call) {
    const DWORD status = connection.Call(static_cast<uint16_t>(call), stub, answer);
    if (answer.size() > kMaxAnswer) std::abort();
    if (status != ERROR_SUCCESS) continue;  // a fault leaves the connection usable, nothing else does
    NdrReader in(answer);
    while (in.ok() && in.remaining() > 0) in.UnicodeString();
  }
}
