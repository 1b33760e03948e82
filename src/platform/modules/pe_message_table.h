// The message tables of a Windows PE image (PE32 or PE32+), read without
// loading or running it: the headers locate the resource directory through
// the section table, and the RT_MESSAGETABLE resource named 1 gives one
// MESSAGE_RESOURCE_DATA per language.
//
// Every read is checked against the size of the file: malformed images fail
// with a Windows error code and never read outside what they hold.
//   ERROR_BAD_EXE_FORMAT           the headers are not those of a PE image
//   ERROR_RESOURCE_DATA_NOT_FOUND  no (readable) resource directory
//   ERROR_RESOURCE_TYPE_NOT_FOUND  resources, but no message table
//   ERROR_RESOURCE_NAME_NOT_FOUND  message tables, but none named 1
//   ERROR_RESOURCE_LANG_NOT_FOUND  no table in the language asked for
//   ERROR_MR_MID_NOT_FOUND         the table has no such message
//   ERROR_INVALID_DATA             the table's own blocks or entries are broken
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win32.h"

// Error codes of images and their resources beyond those of win32.h.
enum : LONG {
  ERROR_BAD_NET_NAME = 67,
  ERROR_NO_WORK_DONE = 235,
  ERROR_MR_MID_NOT_FOUND = 317,
  ERROR_RESOURCE_DATA_NOT_FOUND = 1812,
  ERROR_RESOURCE_TYPE_NOT_FOUND = 1813,
  ERROR_RESOURCE_NAME_NOT_FOUND = 1814,
  ERROR_RESOURCE_LANG_NOT_FOUND = 1815,
};

// Language identifiers: primary language in the low 10 bits, sublanguage
// above.
constexpr WORD MakeLangId(WORD primary, WORD sub) { return static_cast<WORD>((sub << 10) | primary); }
constexpr WORD PrimaryLangId(WORD language) { return static_cast<WORD>(language & 0x3FF); }
enum : WORD {
  LANG_NEUTRAL = 0x00,
  LANG_ENGLISH = 0x09,
  SUBLANG_NEUTRAL = 0x00,
  SUBLANG_DEFAULT = 0x01,
  SUBLANG_SYS_DEFAULT = 0x02,
  LANGID_ENGLISH_US = 0x0409,
};

namespace platform {

// The bytes of an image, read at offsets. A read that does not lie wholly
// inside Size() fails.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  virtual bool Read(uint64_t offset, void* out, size_t size) const = 0;
};

class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, void* out, size_t size) const override;

 private:
  std::span<const uint8_t> bytes_;
};

// Windows-1252 text (the single-byte entries of message tables) as UTF-8.
std::string Cp1252ToUtf8(std::string_view text);

class PeMessageTable {
 public:
  // ERROR_SUCCESS, or ERROR_BAD_EXE_FORMAT when the headers are not a PE
  // image's. An image without a usable message table still reads: Find
  // then tells why there is none. Only the message tables are kept.
  static LONG Read(const ByteSource& image, PeMessageTable& out);

  bool Is64Bit() const { return pe32Plus_; }
  // The languages that have a message table, in the image's order.
  std::vector<WORD> Languages() const;
  bool Empty() const { return tables_.empty(); }

  // The table that a request for `language` uses. LANG_NEUTRAL with the
  // neutral, default or system-default sublanguage takes, in this order,
  // the neutral table, the user's language, the user's primary language
  // alone and then with any sublanguage, US English, and then the image's
  // first table; any other language must be there exactly.
  LONG SelectLanguage(WORD language, WORD userLanguage, WORD& chosen) const;

  // The text of message `id` in UTF-8, as the table holds it up to its
  // terminator: line breaks, escapes and inserts untouched.
  LONG Find(DWORD id, WORD language, WORD userLanguage, std::string& text) const;

  // Every message of one language's table in table order; stops at the
  // first broken entry and then returns ERROR_INVALID_DATA.
  LONG ForEachMessage(WORD language,
                      const std::function<void(DWORD id, std::string_view text)>& visit) const;

 private:
  struct Table {
    WORD language = 0;
    bool readable = false;
    std::vector<uint8_t> data;  // MESSAGE_RESOURCE_DATA as stored
  };
  const Table* TableFor(WORD language) const;

  bool pe32Plus_ = false;
  LONG missing_ = ERROR_RESOURCE_DATA_NOT_FOUND;  // why there is no table
  std::vector<Table> tables_;
};

}  // namespace platform
