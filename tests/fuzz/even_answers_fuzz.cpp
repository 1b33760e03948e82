// Any bytes as the stub of an event log answer: every reader stays inside
// them, and records that split cleanly are whole records of our layout.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/eventlog/even_rpc.h"
#include "platform/eventlog/evt_file.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> answer(data, size);
  rpc::ContextHandle handle;
  even::ParseOpenAnswer(answer, handle);
  uint32_t number = 0;
  even::ParseNumberAnswer(answer, number);
  even::ParseStatusAnswer(answer, true);
  even::ParseStatusAnswer(answer, false);
  std::span<const uint8_t> records;
  uint32_t needed = 0;
  if (even::ParseReadAnswer(answer, records, needed) != ERROR_SUCCESS) return 0;
  if (records.data() < data || records.data() + records.size() > data + size) std::abort();
  std::vector<std::vector<uint8_t>> narrow;
  even::SplitRecords(records, narrow);
  for (const auto& record : narrow) {
    evt::EventRecordData contents;
    if (evt::DecodeRecord(record, evt::TextWidth::kUtf8, contents) != ERROR_SUCCESS) std::abort();
  }
  return 0;
}
