// Any bytes as the stub of an answer from the event log, remote registry,
// account lookup or server service: every reader stays inside them and takes
// no more than the largest answer we accept, and event log records that
// split cleanly are whole records of our layout. The seeds are the answers
// of each service.
#include "fuzz_target.h"
#include "platform/accounts_time/lsat_rpc.h"
#include "platform/browser/srvs_rpc.h"
#include "platform/eventlog/even_rpc.h"
#include "platform/eventlog/evt_file.h"
#include "platform/registry/rrp_rpc.h"

using namespace platform;

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
}
