// Text helpers for the UTF-8 that stands where Windows used the ANSI code
// page: cutting to a byte budget without splitting a character, ASCII case
// folding for the case-insensitive names of paths, keys and values, and the
// UTF-16LE conversions that files from Windows need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 sequence. Bytes that are not valid UTF-8 count as one
// character each, so malformed text is cut, never over-read.
size_t Utf8Prefix(std::string_view text, size_t maxBytes);

inline std::string_view Utf8Cut(std::string_view text, size_t maxBytes) {
  return text.substr(0, Utf8Prefix(text, maxBytes));
}

// Case-insensitive comparison as Windows names use it (ASCII letters only;
// other bytes compare as they are).
char FoldAscii(char c);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string FoldCase(std::string_view text);

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);
// Whether `text` is well-formed UTF-8: shortest forms, no surrogates,
// nothing above U+10FFFF, so the UTF-16 conversions keep it unchanged.
bool IsValidUtf8(std::string_view text);

// UTF-16LE bytes to UTF-8. Unpaired surrogates become U+FFFD; an odd trailing
// byte is dropped.
std::string Utf16leToUtf8(const uint8_t* data, size_t size);
// The same written at `out`, which has room for three bytes a UTF-16 unit;
// the count of bytes written.
size_t Utf16leToUtf8(const uint8_t* data, size_t size, char* out);
// The offset of the first UTF-16 NUL at an even distance from `from`, below
// `end`; `end` when there is none.
size_t FindUtf16Nul(const uint8_t* data, size_t from, size_t end);
// UTF-8 to UTF-16LE bytes. Invalid sequences become U+FFFD.
std::vector<uint8_t> Utf8ToUtf16le(std::string_view text);

}  // namespace platform
