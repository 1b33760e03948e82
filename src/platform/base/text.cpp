#include "platform/base/text.h"

#include <bit>
#include <cstring>

namespace platform {
namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;
constexpr uint64_t kUnitHighBits = 0x8000800080008000;
constexpr uint64_t kUnitOnes = 0x0001000100010001;

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Length of the sequence a lead byte announces, or 0 for a byte that cannot
// start one.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes one code point at text[pos], advancing pos; U+FFFD and one byte on
// anything malformed.
char32_t DecodeUtf8(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  const size_t length = SequenceLength(lead);
  if (length == 1) {
    ++pos;
    return lead;
  }
  if (length == 0 || pos + length > text.size()) {
    ++pos;
    return 0xFFFD;
  }
  char32_t cp = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(c)) {
      ++pos;
      return 0xFFFD;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return 0xFFFD;
  }
  pos += length;
  return cp;
}

void AppendUnit(std::vector<uint8_t>& out, char32_t unit) {
  out.push_back(static_cast<uint8_t>(unit & 0xFF));
  out.push_back(static_cast<uint8_t>(unit >> 8));
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsValidUtf8(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t before = pos;
    // A replacement character decoded from something else marks a fault.
    if (DecodeUtf8(text, pos) == 0xFFFD && text.compare(before, 3, "\xEF\xBF\xBD") != 0) return false;
  }
  return true;
}

size_t Utf8Prefix(std::string_view text, size_t maxBytes) {
  if (maxBytes >= text.size()) return text.size();
  // Find where the character holding byte maxBytes starts; cut there when
  // that character really spans the cut.
  for (size_t back = 0; back < 4 && back <= maxBytes; ++back) {
    const auto c = static_cast<unsigned char>(text[maxBytes - back]);
    if (!IsContinuation(c)) {
      const size_t length = SequenceLength(c);
      return (back > 0 && length > back) ? maxBytes - back : maxBytes;
    }
  }
  return maxBytes;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::string FoldCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldAscii(c);
  return out;
}

std::string Utf16leToUtf8(const uint8_t* data, size_t size) {
  std::string out(size / 2 * 3, '\0');
  out.resize(Utf16leToUtf8(data, size, out.data()));
  return out;
}

size_t Utf16leToUtf8(const uint8_t* data, size_t size, char* out) {
  // Every text of every record read passes here, and nearly all of it is
  // ASCII: four such units are copied at once.
  const size_t units = size / 2;
  char* p = out;
  size_t i = 0;
  while (i < units) {
    if constexpr (kLittleEndian) {
      for (; i + 4 <= units; i += 4) {
        const uint64_t v = Load64(data + 2 * i);
        if ((v & 0xFF80FF80FF80FF80) != 0) break;
        p[0] = static_cast<char>(v);
        p[1] = static_cast<char>(v >> 16);
        p[2] = static_cast<char>(v >> 32);
        p[3] = static_cast<char>(v >> 48);
        p += 4;
      }
      if (i == units) break;
    }
    char32_t unit = static_cast<char32_t>(data[2 * i] | (data[2 * i + 1] << 8));
    ++i;
    if (unit < 0x80) {
      *p++ = static_cast<char>(unit);
      continue;
    }
    if (unit < 0x800) {
      *p++ = static_cast<char>(0xC0 | (unit >> 6));
      *p++ = static_cast<char>(0x80 | (unit & 0x3F));
      continue;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF && i < units) {
      const char32_t low = static_cast<char32_t>(data[2 * i] | (data[2 * i + 1] << 8));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        // Four bytes for two units: within the room of six.
        const char32_t cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        *p++ = static_cast<char>(0xF0 | (cp >> 18));
        *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        ++i;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    *p++ = static_cast<char>(0xE0 | (unit >> 12));
    *p++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (unit & 0x3F));
  }
  return static_cast<size_t>(p - out);
}

size_t FindUtf16Nul(const uint8_t* data, size_t from, size_t end) {
  size_t i = from;
  if constexpr (kLittleEndian) {
    // Four units at a time; a block with a zero unit is looked at unit by unit.
    for (; i <= end && end - i >= 8; i += 8) {
      const uint64_t v = Load64(data + i);
      if (((v - kUnitOnes) & ~v & kUnitHighBits) != 0) break;
    }
  }
  for (; i < end && end - i >= 2; i += 2) {
    if (data[i] == 0 && data[i + 1] == 0) return i;
  }
  return end;
}

std::vector<uint8_t> Utf8ToUtf16le(std::string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() * 2);
  size_t pos = 0;
  while (pos < text.size()) {
    const char32_t cp = DecodeUtf8(text, pos);
    if (cp >= 0x10000) {
      AppendUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
      AppendUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      AppendUnit(out, cp);
    }
  }
  return out;
}

}  // namespace platform
