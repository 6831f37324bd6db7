#include "text/utf.h"

#include <gtest/gtest.h>

namespace stowkit {
namespace {

TEST(Utf, RoundTripsEveryPlane) {
  std::string text = "ascii é 日本 😀";
  std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, u"ascii é 日本 😀");
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xff" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("cut \xe6\x97"), u"cut \uFFFD");
  std::u16string lone_high = {u'x', char16_t(0xD800)};
  std::u16string lone_low = {char16_t(0xDC00), u'y'};
  EXPECT_EQ(Utf16ToUtf8(lone_high), "x\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(lone_low), "\xEF\xBF\xBDy");
}

}  // namespace
}  // namespace stowkit
