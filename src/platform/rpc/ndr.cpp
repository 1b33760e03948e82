#include "platform/rpc/ndr.h"

#include <algorithm>
#include <cstring>

#include "platform/base/text.h"

namespace platform::rpc {

void NdrWriter::U16(uint16_t value) {
  Align(2);
  bytes_.push_back(static_cast<uint8_t>(value));
  bytes_.push_back(static_cast<uint8_t>(value >> 8));
}

void NdrWriter::U32(uint32_t value) {
  Align(4);
  for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<uint8_t>(value >> shift));
}

void NdrWriter::Align(size_t boundary) {
  while (bytes_.size() % boundary != 0) bytes_.push_back(0);
}

void NdrWriter::Pointer(bool present) {
  U32(present ? nextReferent_ : 0);
  if (present) nextReferent_ += 4;
}

void NdrWriter::UnicodeString(std::string_view utf8, bool terminated) {
  std::vector<uint8_t> wide = Utf8ToUtf16le(utf8);
  const size_t characters = wide.size() / 2;
  // Lengths are 16-bit byte counts: longer names are cut, never wrapped.
  const size_t kept = std::min<size_t>(characters, 0x7FFE - (terminated ? 1 : 0));
  wide.resize(kept * 2);
  const size_t sent = kept + (terminated ? 1 : 0);
  U16(static_cast<uint16_t>(sent * 2));
  U16(static_cast<uint16_t>(sent * 2));
  Pointer(true);
  U32(static_cast<uint32_t>(sent));
  U32(0);
  U32(static_cast<uint32_t>(sent));
  Raw(wide);
  if (terminated) U16(0);
}

void NdrWriter::TerminatedString(std::string_view utf8) {
  std::vector<uint8_t> wide = Utf8ToUtf16le(utf8);
  wide.resize(std::min<size_t>(wide.size(), 0xFFFE * 2));
  const auto count = static_cast<uint32_t>(wide.size() / 2 + 1);
  U32(count);
  U32(0);
  U32(count);
  Raw(wide);
  U16(0);
}

void NdrWriter::UniqueUnicodeString(std::string_view utf8, bool terminated) {
  Pointer(true);
  UnicodeString(utf8, terminated);
}

uint8_t NdrReader::U8() {
  const auto bytes = Raw(1);
  return bytes.empty() ? 0 : bytes[0];
}

uint16_t NdrReader::U16() {
  Align(2);
  const auto bytes = Raw(2);
  return bytes.empty() ? 0 : static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint32_t NdrReader::U32() {
  Align(4);
  const auto bytes = Raw(4);
  if (bytes.empty()) return 0;
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void NdrReader::Align(size_t boundary) {
  const size_t padding = (boundary - position_ % boundary) % boundary;
  Raw(padding);
}

std::span<const uint8_t> NdrReader::Raw(size_t size) {
  if (!ok_ || size > bytes_.size() - position_) {
    ok_ = false;
    return {};
  }
  const auto out = bytes_.subspan(position_, size);
  position_ += size;
  return out;
}

ContextHandle NdrReader::Handle() {
  ContextHandle handle;
  const auto bytes = Raw(sizeof handle.bytes);
  if (!bytes.empty()) std::memcpy(handle.bytes, bytes.data(), sizeof handle.bytes);
  return handle;
}

std::string NdrReader::UnicodeCharacters(uint16_t lengthBytes) {
  const uint32_t maxCount = U32();
  const uint32_t offset = U32();
  const uint32_t actual = U32();
  if (!ok_ || offset != 0 || actual > maxCount || actual * 2u < lengthBytes) {
    ok_ = false;
    return {};
  }
  const auto wide = Raw(static_cast<size_t>(actual) * 2);
  if (!ok_) return {};
  std::string text = Utf16leToUtf8(wide.data(), std::min<size_t>(wide.size(), lengthBytes));
  if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

std::string NdrReader::TerminatedString() {
  const uint32_t maxCount = U32();
  const uint32_t offset = U32();
  const uint32_t actual = U32();
  if (!ok_ || offset != 0 || actual > maxCount) {
    ok_ = false;
    return {};
  }
  const auto wide = Raw(static_cast<size_t>(actual) * 2);
  if (!ok_) return {};
  std::string text = Utf16leToUtf8(wide.data(), wide.size());
  if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

std::string NdrReader::UnicodeString() {
  const uint16_t length = U16();
  U16();
  if (!Pointer()) return {};
  return UnicodeCharacters(length);
}

}  // namespace platform::rpc
