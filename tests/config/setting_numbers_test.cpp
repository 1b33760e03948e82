#include <gtest/gtest.h>

#include "config/setting_numbers.h"

namespace {

TEST(SettingNumbers, WhatTheFieldsAcceptAndWhatTheyBecome) {
  const struct {
    const char* text;
    bool integerText, accepted;
    DWORD value;
  } cases[] = {
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
  for (const auto& c : cases) {
    EXPECT_EQ(corvid::IsIntegerText(c.text), c.integerText) << '"' << c.text << '"';
    DWORD value = 12345;
    EXPECT_EQ(corvid::ReadSettingNumber(c.text, value), c.accepted) << '"' << c.text << '"';
    EXPECT_EQ(value, c.accepted ? c.value : 12345u) << c.text;
  }
}

}  // namespace
