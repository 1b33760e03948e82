// The numbers the settings dialog reads from its edit fields (time-out and
// transaction period): any text may be typed, and it is checked at OK.
#pragma once

#include <string_view>

#include "platform/base/win32.h"

namespace corvid {

// Non-empty, at most 20 characters, an optional leading minus and then
// decimal digits only. A lone minus passes here and fails the conversion.
bool IsIntegerText(std::string_view text);

// The text as the setting's number: it must pass IsIntegerText and convert
// as "%li" into exactly one number. Negative numbers are kept as their
// 32-bit pattern (-5 is shown next time as 4294967291). A number outside
// the signed 32-bit range is refused rather than silently changed.
bool ReadSettingNumber(const char* text, DWORD& out);

}  // namespace corvid
