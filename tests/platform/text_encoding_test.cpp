#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace {

TEST(TextEncoding, ShiftJisAndUtf8RoundTrip) {
  std::string utf8, back;
  // "日本語" with ASCII around it; 0x5C after a lead byte is a trail byte, not a backslash.
  EXPECT_EQ(Cp932ToUtf8("a\x93\xfa\x96\x7b\x8c\xea\x83\x5c!", &utf8), TextConversion::Clean);
  EXPECT_EQ(utf8, "a\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x82\xBD!");  // ...ソ!
  EXPECT_EQ(Utf8ToCp932(utf8, &back), TextConversion::Clean);
  EXPECT_EQ(back, "a\x93\xfa\x96\x7b\x8c\xea\x83\x5c!");
}

TEST(TextEncoding, BadInputIsSubstitutedOrDroppedNeverFatal) {
  std::string out;
  // A lead byte with no trail byte at the end, and one followed by a line feed.
  EXPECT_EQ(Cp932ToUtf8("ab\x82", &out), TextConversion::Substituted);
  EXPECT_EQ(out, "ab?");
  EXPECT_EQ(Cp932ToUtf8("\x82\nz", &out, 0), TextConversion::Substituted);
  EXPECT_EQ(out, "\nz");
  // Malformed UTF-8 and a character with no Shift-JIS form.
  EXPECT_EQ(Utf8ToCp932("x\xC3y\xF0\x9F\x98\x80z", &out), TextConversion::Substituted);
  EXPECT_EQ(out, "x?y?z");
}

TEST(TextEncoding, StrictFormsRefuseBadTextAndSmallBuffers) {
  char buffer[8];
  EXPECT_EQ(PlatformSjisToUtf8("\x82\xa0", buffer, sizeof(buffer)), 3);
  EXPECT_STREQ(buffer, "\xE3\x81\x82");
  EXPECT_EQ(PlatformSjisToUtf8("\x82\xa0", buffer, 3), -1);  // 3 bytes and the zero need 4
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(PlatformUtf8ToSjis("\xC3", buffer, sizeof(buffer)), -1);
  EXPECT_EQ(PlatformUtf8ToSjis("abc", nullptr, 8), -1);
}

}  // namespace
