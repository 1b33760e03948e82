// NDR, the transfer syntax of DCE/RPC, as the calls of our RPC clients need
// it: little-endian integers aligned to their size, unique pointers by
// referent id, conformant and varying arrays, and the counted UTF-16
// strings of the Windows interfaces.
//
// The reader is for answers from other computers: every read is checked
// against the bytes there, and the first one that does not fit leaves the
// reader failed, so a parser tests ok() once at its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::rpc {

// A context handle of an opened object on the server.
struct ContextHandle {
  uint8_t bytes[20] = {};
  bool operator==(const ContextHandle&) const = default;
};

class NdrWriter {
 public:
  void U8(uint8_t value) { bytes_.push_back(value); }
  void U16(uint16_t value);
  void U32(uint32_t value);
  void Align(size_t boundary);
  // Grown and copied rather than inserted: GCC 12 at -O3 warns falsely of
  // an overflow in vector::insert from a span after single bytes.
  void Raw(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    const size_t at = bytes_.size();
    bytes_.resize(at + bytes.size());
    std::memcpy(bytes_.data() + at, bytes.data(), bytes.size());
  }
  void Handle(const ContextHandle& handle) { Raw(handle.bytes); }
  // A unique or full pointer's referent id; 0 for null.
  void Pointer(bool present);
  // RPC_UNICODE_STRING with its characters right behind (the caller puts
  // it where the referent belongs): Length and MaximumLength in bytes, the
  // array's counts in characters. `terminated` sends a NUL and counts it in
  // both lengths, as the registry interface wants its names.
  void UnicodeString(std::string_view utf8, bool terminated = false);
  // A [string] wchar_t array with its terminator.
  void TerminatedString(std::string_view utf8);
  // A unique pointer to an RPC_UNICODE_STRING, the string inline.
  void UniqueUnicodeString(std::string_view utf8, bool terminated = false);

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t nextReferent_ = 0x00020000;
};

class NdrReader {
 public:
  explicit NdrReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  size_t position() const { return position_; }
  size_t remaining() const { return ok_ ? bytes_.size() - position_ : 0; }

  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  void Align(size_t boundary);
  // `size` bytes in place; empty and failed when they are not all there.
  std::span<const uint8_t> Raw(size_t size);
  ContextHandle Handle();
  // A referent id: false for null.
  bool Pointer() { return U32() != 0; }
  // The deferred part of a counted UTF-16 string whose header gave
  // `lengthBytes`: max count, offset, actual count and the characters, as
  // UTF-8 cut at the first NUL. Fails on counts that disagree.
  std::string UnicodeCharacters(uint16_t lengthBytes);
  // A [string] wchar_t array: max count, offset, actual count and the
  // characters, as UTF-8 cut at the first NUL.
  std::string TerminatedString();
  // RPC_UNICODE_STRING inline with its characters (null pointer: empty).
  std::string UnicodeString();
  // Marks the reader failed.
  void Fail() { ok_ = false; }

 private:
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace platform::rpc
