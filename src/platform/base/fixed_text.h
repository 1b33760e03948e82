// A fixed-size text field: N bytes, always terminated, never holding half a
// UTF-8 character. Every fixed field of the system (the 33-byte data source
// name, the 52-byte log name, the 260-byte paths) is one of these, so the
// cutting rule lives in one place.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "platform/base/text.h"

namespace platform {

template <size_t N>
class FixedText {
  static_assert(N >= 1, "room for the terminator");

 public:
  static constexpr size_t kCapacity = N;  // terminator included

  FixedText() { buffer_[0] = '\0'; }
  FixedText(std::string_view text) { Assign(text); }  // NOLINT: fields are assigned from text

  // Keeps at most N - 1 bytes, cut on a character boundary.
  FixedText& Assign(std::string_view text) {
    const size_t length = Utf8Prefix(text, N - 1);
    std::memcpy(buffer_, text.data(), length);
    buffer_[length] = '\0';
    return *this;
  }
  FixedText& operator=(std::string_view text) { return Assign(text); }

  const char* c_str() const { return buffer_; }
  std::string_view view() const { return std::string_view(buffer_); }
  std::string str() const { return std::string(buffer_); }
  size_t size() const { return std::strlen(buffer_); }
  bool empty() const { return buffer_[0] == '\0'; }

  // For platform calls that fill the buffer themselves; they must terminate.
  char* data() { return buffer_; }
  static constexpr size_t capacity() { return N; }

  friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }

 private:
  char buffer_[N];
};

}  // namespace platform
