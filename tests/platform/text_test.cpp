#include <gtest/gtest.h>

#include "platform/base/fixed_text.h"
#include "platform/base/text.h"

namespace {

TEST(Utf8Prefix, NeverEndsInsideACharacter) {
  const std::tuple<const char*, size_t, size_t> cases[] = {
      {"abc", 10, 3}, {"abc", 2, 2}, {"ab\xC3\xA9", 3, 2}, {"ab\xC3\xA9", 4, 4},
      {"\xE2\x82\xAC\xE2\x82\xAC", 4, 3}, {"\xE2\x82\xAC\xE2\x82\xAC", 5, 3},
      {"\xF0\x9F\x90\xA6x", 3, 0}, {"\xF0\x9F\x90\xA6x", 4, 4},
      {"a\x80\x80\x80\x80", 3, 3},  // stray continuation bytes count one each
      {"\xC3", 0, 0}};
  for (const auto& [text, max, expected] : cases) EXPECT_EQ(platform::Utf8Prefix(text, max), expected) << text << max;
  EXPECT_EQ(platform::FixedText<6>("ab\xE2\x82\xAC\xE2\x82\xAC").view(), "ab\xE2\x82\xAC");  // 5 bytes of room
}

TEST(Utf16, ConvertsBothWaysAndReplacesWhatIsBroken) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x90\xA6";  // A é € bird
  const std::vector<uint8_t> wide = platform::Utf8ToUtf16le(text);
  EXPECT_EQ(wide, (std::vector<uint8_t>{0x41, 0, 0xE9, 0, 0xAC, 0x20, 0x3D, 0xD8, 0x26, 0xDC}));
  EXPECT_EQ(platform::Utf16leToUtf8(wide.data(), wide.size()), text);
  const uint8_t lone[] = {0x00, 0xD8, 0x41, 0x00, 0x42};  // high surrogate alone, odd byte
  EXPECT_EQ(platform::Utf16leToUtf8(lone, sizeof lone), "\xEF\xBF\xBD" "A");
  EXPECT_EQ(platform::Utf8ToUtf16le("\xFF"), (std::vector<uint8_t>{0xFD, 0xFF}));
  EXPECT_FALSE(platform::EqualsIgnoreCase("\xC3\xA9", "\xC3\x89"));  // é and É stay apart
}

TEST(Utf16, BlocksOfFourUnitsAgreeWithUnitByUnit) {
  // A character that is not ASCII, and a NUL, at every place in and around a block of four units.
  for (const std::string odd : {"\xC3\xA9", "\xF0\x9F\x90\xA6", "\x7F\xC2\x80"}) {
    for (size_t at = 0; at <= 9; ++at) {
      const std::string text = std::string(at, 'a') + odd + std::string(9 - at, 'b');
      const std::vector<uint8_t> wide = platform::Utf8ToUtf16le(text);
      EXPECT_EQ(platform::Utf16leToUtf8(wide.data(), wide.size()), text) << at;
      std::vector<uint8_t> ended = wide;
      ended[2 * at] = ended[2 * at + 1] = 0;
      EXPECT_EQ(platform::FindUtf16Nul(ended.data(), 0, ended.size()), 2 * at);
      EXPECT_EQ(platform::FindUtf16Nul(ended.data(), 2 * at + 2, ended.size()), ended.size());
    }
  }
  // Two zero bytes astride two units (0x0041 0x4100) are no NUL, nor is a NUL cut by the end.
  const uint8_t astride[] = {0x41, 0x00, 0x00, 0x41, 0x41, 0x00, 0x41, 0x00, 0x41, 0x00, 0x00};
  EXPECT_EQ(platform::FindUtf16Nul(astride, 0, sizeof astride), sizeof astride);
  EXPECT_EQ(platform::FindUtf16Nul(astride, 1, sizeof astride), 1u);
}

}  // namespace
