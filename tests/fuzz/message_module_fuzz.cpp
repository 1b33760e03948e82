// Any bytes as a message file (a PE image), read in memory and as the
// description code loads one: from a file with LoadLibraryExA as data, then
// FormatMessageA. The two readers agree, every fetch fits its buffer, every
// text found formats with the escapes the description code uses, and a
// second load (answered by the module cache) gives the same texts.
#include <cstring>
#include <filesystem>

#include "fuzz_target.h"
#include "platform/base/last_error.h"
#include "platform/modules/modules.h"
#include "platform/modules/pe_message_table.h"
#include "support/temp_machine.h"

constexpr DWORD kLoadAsData = DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE;
constexpr DWORD kFetch = FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_HMODULE;
constexpr DWORD kNeutralLanguage = 0x0400;

// The text as the category (fixed buffer) and the description (allocated)
// fetches give it, which must agree; "" when there is none.
static std::string Format(DWORD flags, const void* source, DWORD id) {
  char buffer[256];  // the category's
  const DWORD length = FormatMessageA(flags, source, id, kNeutralLanguage, buffer, sizeof buffer, nullptr);
  const DWORD fixedError = length == 0 ? GetLastError() : 0;
  if (length >= sizeof buffer || (length > 0 && std::strlen(buffer) > length)) std::abort();
  char* allocated = nullptr;
  const DWORD again = FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, id, kNeutralLanguage,
                                     reinterpret_cast<char*>(&allocated), 0, nullptr);
  if (length > 0 && again != length) std::abort();
  if (fixedError == ERROR_INSUFFICIENT_BUFFER && again < sizeof buffer) std::abort();
  if ((again == 0) != (allocated == nullptr)) std::abort();
  std::string text = allocated != nullptr ? std::string(allocated, again) : std::string();
  if (allocated != nullptr) LocalFree(allocated);
  return text;
}

FUZZ_TARGET(bytes, input) {
  static const testing_support::TempMachine machine;  // whose C: is its drives/c
  // A new name for every input: the cache trusts a path it has just read.
  static unsigned serial = 0;
  const std::string name = std::to_string(serial++) + ".dll";
  machine.Write("drives/c/" + name, std::string(input));
  const std::filesystem::path file = machine.root() / "drives/c" / name;
  const std::string path = "C:\\" + name;

  platform::PeMessageTable table;
  const LONG status = platform::PeMessageTable::Read(platform::MemoryByteSource(bytes), table);
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, kLoadAsData);
  if ((module != nullptr) != (status == ERROR_SUCCESS)) std::abort();
  if (module == nullptr) {
    if (GetLastError() != static_cast<DWORD>(status)) std::abort();
    return (void)std::filesystem::remove(file);
  }

  std::vector<DWORD> ids = {0, 1, 2, 0x3E8, 0xC0000001};
  size_t visited = 0;
  std::string found;
  for (const WORD language : table.Languages()) {
    table.ForEachMessage(language, [&](DWORD id, std::string_view text) {
      if (++visited > bytes.size()) std::abort();  // no more entries than bytes
      table.Find(id, language, 0x0409, found);
      if (ids.size() < 48) ids.push_back(id);
      // Every text formats with the escapes the description code uses.
      constexpr DWORD kFromString = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS;
      if (visited < 64) Format(kFromString, std::string(text).c_str(), 0);
      if (visited < 64) Format(kFromString | 12, std::string(text).c_str(), 0);
    });
  }
  for (const DWORD id : ids) table.Find(id, 0, 0x040C, found);
  std::vector<std::string> texts;
  for (const DWORD id : ids) texts.push_back(Format(kFetch, module, id));

  HMODULE again = LoadLibraryExA(path.c_str(), nullptr, kLoadAsData);
  if (again == nullptr || again == module) std::abort();
  for (size_t i = 0; i < ids.size(); ++i)
    if (Format(kFetch, again, ids[i]) != texts[i]) std::abort();
  if (!FreeLibrary(module) || !FreeLibrary(again) || FreeLibrary(module)) std::abort();
  // A freed handle stays refused once its slot serves another load.
  HMODULE third = LoadLibraryExA(path.c_str(), nullptr, kLoadAsData);
  if (third == nullptr || FreeLibrary(module) || FreeLibrary(again) || !FreeLibrary(third)) std::abort();
  std::filesystem::remove(file);
}
