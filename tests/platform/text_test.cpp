#include <gtest/gtest.h>

#include "platform/base/fixed_text.h"
#include "platform/base/text.h"

namespace {

using platform::FixedText;
using platform::Utf8Prefix;

TEST(Utf8Prefix, NeverEndsInsideACharacter) {
  struct Case {
    const char* text;
    size_t max;
    size_t expected;
  };
  const Case cases[] = {
      {"abc", 10, 3},
      {"abc", 2, 2},
      {"ab\xC3\xA9", 3, 2},            // é would be split after its lead byte
      {"ab\xC3\xA9", 4, 4},
      {"\xE2\x82\xAC\xE2\x82\xAC", 4, 3},  // € € cut inside the second
      {"\xE2\x82\xAC\xE2\x82\xAC", 5, 3},
      {"\xF0\x9F\x90\xA6x", 3, 0},      // a bird of four bytes does not fit three
      {"\xF0\x9F\x90\xA6x", 4, 4},
      {"a\x80\x80\x80\x80", 3, 3},      // stray continuation bytes count one each
      {"\xC3", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8Prefix(c.text, c.max), c.expected) << c.text << " max " << c.max;
  }
}

TEST(FixedText, KeepsCapacityMinusOneBytesOnACharacterBoundary) {
  FixedText<6> text("ab\xE2\x82\xAC\xE2\x82\xAC");  // 5 bytes of room
  EXPECT_EQ(text.view(), "ab\xE2\x82\xAC");
  text = "0123456789";
  EXPECT_EQ(text.view(), "01234");
  text = "";
  EXPECT_TRUE(text.empty());
}

TEST(Utf16, ConvertsBothWaysAndReplacesWhatIsBroken) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x90\xA6";  // A é € bird
  const std::vector<uint8_t> wide = platform::Utf8ToUtf16le(text);
  const std::vector<uint8_t> expected = {0x41, 0, 0xE9, 0, 0xAC, 0x20, 0x3D, 0xD8, 0x26, 0xDC};
  EXPECT_EQ(wide, expected);
  EXPECT_EQ(platform::Utf16leToUtf8(wide.data(), wide.size()), text);

  const uint8_t lone[] = {0x00, 0xD8, 0x41, 0x00, 0x42};  // high surrogate alone, odd byte
  EXPECT_EQ(platform::Utf16leToUtf8(lone, sizeof lone), "\xEF\xBF\xBD" "A");
  EXPECT_EQ(platform::Utf8ToUtf16le("\xFF"), (std::vector<uint8_t>{0xFD, 0xFF}));
}

TEST(FoldCase, IgnoresAsciiCaseOnly) {
  EXPECT_TRUE(platform::EqualsIgnoreCase("SOFTWARE\\Qentro", "software\\QENTRO"));
  EXPECT_FALSE(platform::EqualsIgnoreCase("\xC3\xA9", "\xC3\x89"));  // é and É stay apart
  EXPECT_FALSE(platform::EqualsIgnoreCase("abc", "abcd"));
}

}  // namespace
