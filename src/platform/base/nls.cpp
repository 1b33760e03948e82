#include "platform/base/nls.h"

#include <cstring>
#include <string_view>

#include "platform/base/last_error.h"

namespace {

// Decodes one UTF-8 character; a malformed byte stands for itself.
char32_t Next(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
  if (length <= 1 || pos + length > text.size()) {
    ++pos;
    return lead;
  }
  char32_t cp = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[pos + i]);
    if ((c & 0xC0) != 0x80) {
      ++pos;
      return lead;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  pos += length;
  return cp;
}

// Simple lower-casing of the alphabets that names are written in.
char32_t Lower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c == 0x178) return 0xFF;  // Y with diaeresis has its small letter in Latin-1
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    // Latin Extended-A pairs: upper even up to U+0137, upper odd from U+0139 to U+0148,
    // upper even again from U+014A.
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddUpper ? (c % 2 == 1) : (c % 2 == 0)) return c + 1;
    return c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

}  // namespace

int CompareStringA(LCID, DWORD flags, const char* string1, int count1, const char* string2,
                   int count2) {
  if (string1 == nullptr || string2 == nullptr || (flags & ~static_cast<DWORD>(NORM_IGNORECASE)) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string_view a(string1, count1 < 0 ? std::strlen(string1) : static_cast<size_t>(count1));
  const std::string_view b(string2, count2 < 0 ? std::strlen(string2) : static_cast<size_t>(count2));
  const bool fold = (flags & NORM_IGNORECASE) != 0;
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t x = Next(a, i);
    char32_t y = Next(b, j);
    if (fold) {
      x = Lower(x);
      y = Lower(y);
    }
    if (x != y) return x < y ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  if (i < a.size()) return CSTR_GREATER_THAN;
  if (j < b.size()) return CSTR_LESS_THAN;
  return CSTR_EQUAL;
}
