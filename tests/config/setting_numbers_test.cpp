#include <gtest/gtest.h>

#include "config/setting_numbers.h"

namespace {

TEST(SettingNumbers, WhatTheFieldsAcceptAndWhatTheyBecome) {
  const std::tuple<const char*, bool, bool, DWORD> cases[] = {  // text, integer text, accepted, value
      {"0", true, true, 0},
      {"180", true, true, 180},
      {"-5", true, true, 4294967291u},  // kept as its 32-bit pattern
      {"-", true, false, 0},             // passes the text check, fails the conversion
      {"", false, false, 0},
      {"12a", false, false, 0},
      {" 12", false, false, 0},
      {"1-2", false, false, 0},
      {"+12", false, false, 0},
      {"00000000000000000001", true, true, 1},   // 20 characters
      {"000000000000000000001", false, false, 0},  // 21
      {"2147483647", true, true, 2147483647u},
      {"2147483648", true, false, 0},   // outside the signed 32-bit range: refused
      {"-2147483648", true, true, 0x80000000u},
      {"99999999999999999999", true, false, 0},
  };
  for (const auto& [text, integerText, accepted, value] : cases) {
    SCOPED_TRACE('"' + std::string(text) + '"');
    EXPECT_EQ(corvid::IsIntegerText(text), integerText);
    DWORD read = 12345;
    EXPECT_EQ(corvid::ReadSettingNumber(text, read), accepted);
    EXPECT_EQ(read, accepted ? value : 12345u);
  }
}

}  // namespace
