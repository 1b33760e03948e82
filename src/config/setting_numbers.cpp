#include "config/setting_numbers.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdint>

namespace corvid {

bool IsIntegerText(std::string_view text) {
  if (text.empty() || text.size() > 20) return false;
  size_t i = text.front() == '-' ? 1 : 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

bool ReadSettingNumber(const char* text, DWORD& out) {
  if (text == nullptr || !IsIntegerText(text)) return false;
  long value = 0;
  char rest = 0;
  errno = 0;
  // Exactly one number: sscanf reads no further than its digits.
  if (std::sscanf(text, "%li%c", &value, &rest) != 1 || errno == ERANGE) return false;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<DWORD>(static_cast<int32_t>(value));
  return true;
}

}  // namespace corvid
