// Any bytes as a PE image: no crash, no read outside the input, and every
// message text found formats with the escapes the description code uses.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/modules/modules.h"
#include "platform/modules/pe_message_table.h"

namespace {

void FormatText(const std::string& text, DWORD width) {
  char buffer[256];
  const DWORD flags = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS | width;
  const DWORD length = FormatMessageA(flags, text.c_str(), 0, 0, buffer, sizeof buffer, nullptr);
  if (length >= sizeof buffer) std::abort();
  char* allocated = nullptr;
  const DWORD again = FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, text.c_str(), 0, 0,
                                     reinterpret_cast<char*>(&allocated), 0, nullptr);
  if (length != 0 && again != length) std::abort();
  if (allocated != nullptr) LocalFree(allocated);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::PeMessageTable table;
  if (platform::PeMessageTable::Read(platform::MemoryByteSource(std::span(data, size)), table) !=
      ERROR_SUCCESS) {
    return 0;
  }
  size_t visited = 0;
  for (const WORD language : table.Languages()) {
    table.ForEachMessage(language, [&](DWORD id, std::string_view text) {
      if (++visited > size) std::abort();  // no more entries than bytes
      std::string found;
      table.Find(id, language, 0x0409, found);
      if (visited < 64) {
        FormatText(std::string(text), 0);
        FormatText(std::string(text), 12);
      }
    });
  }
  std::string text;
  for (const DWORD id : {0u, 1u, 2u, 0x3E8u, 0xC0000001u}) {
    table.Find(id, 0, 0x040C, text);
  }
  return 0;
}
