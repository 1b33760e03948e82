// Any bytes as a server's answer: as a stub (seeds of each service), every
// reader stays inside them, within the largest answer we take, and event log
// records that split cleanly are whole ones of our layout; as what arrives
// down a pipe, binding and calling never hang or read past it.
#include <cstring>
#include <memory>

#include "fuzz_target.h"
#include "platform/accounts_time/lsat_rpc.h"
#include "platform/browser/srvs_rpc.h"
#include "platform/eventlog/even_rpc.h"
#include "platform/eventlog/evt_file.h"
#include "platform/registry/rrp_rpc.h"
#include "platform/rpc/dcerpc.h"
#include "platform/rpc/ndr.h"

using namespace platform;

// What arrives is the input, in the pieces the connection asks for.
struct Replay final : rpc::Transport {
  explicit Replay(std::span<const uint8_t> input) : bytes(input) {}
  DWORD Write(std::span<const uint8_t>) override { return ERROR_SUCCESS; }
  DWORD Read(void* out, size_t size) override {
    if (size > bytes.size()) return rpc::RPC_S_CALL_FAILED;
    std::memcpy(out, bytes.data(), size);
    bytes = bytes.subspan(size);
    return ERROR_SUCCESS;
  }
  std::span<const uint8_t> bytes;
};

FUZZ_TARGET(answer, text) {
  rpc::ContextHandle handle;
  even::ParseOpenAnswer(answer, handle);
  uint32_t number = 0;
  even::ParseNumberAnswer(answer, number);
  even::ParseStatusAnswer(answer, true);
  even::ParseStatusAnswer(answer, false);
  std::span<const uint8_t> records;
  if (even::ParseReadAnswer(answer, records, number) == ERROR_SUCCESS) {
    if (records.data() < answer.data() || records.data() + records.size() > answer.data() + answer.size()) std::abort();
    std::vector<std::vector<uint8_t>> narrow;
    even::SplitRecords(records, narrow);
    for (const auto& record : narrow) {
      evt::EventRecordData contents;
      if (evt::DecodeRecord(record, evt::TextWidth::kUtf8, contents) != ERROR_SUCCESS) std::abort();
    }
  }

  rrp::ParseKeyAnswer(answer, handle);
  std::string name;
  rrp::ParseEnumKeyAnswer(answer, name);
  if (name.size() > answer.size()) std::abort();
  uint32_t type = 0;
  std::vector<uint8_t> value;
  rrp::ParseQueryValueAnswer(answer, type, value, number);
  if (value.size() > answer.size() || value.size() > rrp::kMaxValue) std::abort();

  lsat::ParseOpenPolicyAnswer(answer, handle);
  lsat::Translated translated;
  if (lsat::ParseLookupSidAnswer(answer, translated) == ERROR_SUCCESS &&
      translated.name.size() + translated.domain.size() > answer.size()) {
    std::abort();
  }

  BrowseEntry entry;
  srvs::ParseServerGetInfoAnswer(answer, entry);
  if (entry.name.size() + entry.comment.size() > answer.size()) std::abort();

  // Small fragments, so that the seeds' answers arrive in several.
  rpc::Connection connection(std::make_unique<Replay>(answer), 1024);
  if (connection.Bind(rpc::MakeSyntax("82273fdc-e32a-18c3-3f78-827929dc23ea", 0, 0)) != ERROR_SUCCESS) return;
  std::vector<uint8_t> stub(3000, 0x5A);  // a request in three fragments
  std::vector<uint8_t> reply;
  for (size_t call = 0; call <= answer.size() / rpc::kHeaderSize; ++call) {
    const DWORD status = connection.Call(static_cast<uint16_t>(call), stub, reply);
    if (reply.size() > rpc::kMaxAnswer) std::abort();
    if (status != ERROR_SUCCESS) continue;  // a fault leaves the connection usable, nothing else does
    rpc::NdrReader in(reply);
    while (in.ok() && in.remaining() > 0) in.UnicodeString();
  }
}
